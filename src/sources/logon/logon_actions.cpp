// The write half of "Logon" rows. Windows has no switch for these values,
// so Remove takes them back to what Windows does without them: the machine's
// Shell and Userinit get Windows' own value (deleting them would stop every
// logon), a profile's value goes, and a pending Active Setup component gets
// the profile's stamp as if its stub had run.
#include <windows.h>

#include <commdlg.h>

#include "actions/registration_file.h"
#include "scan/registry_access.h"
#include "sources/entry_source_actions.h"
#include "sources/logon/logon_scan.h"
#include "util/file_utils.h"
#include "util/string_utils.h"
#include "util/text_encoding.h"

namespace {

// A stamp is a few numbers; a record with more is no stamp Remove kept.
constexpr size_t kStampBytesMax = 256;

DWORD ScannedView(HKEY root) {
  return root == HKEY_LOCAL_MACHINE && MachineHas32BitRegistryView() ? 64 : 0;
}

// REG_SZ data as the registry holds it: UTF-16LE with its zero.
std::string StringBytes(const std::string& text) {
  const std::wstring wide = WideFromCodePage(text) + L'\0';
  return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
}

std::string TextOfBytes(const std::string& bytes) {
  std::wstring wide(bytes.size() / 2, L'\0');
  bytes.copy(reinterpret_cast<char*>(&wide[0]), wide.size() * 2);
  std::string text;
  NarrowFromWide(wide.substr(0, wide.find(L'\0')), text);
  return text;
}

bool IsString(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ;
}

// The stamp Active Setup writes once the stub has run: the component's own
// Version, or the lowest one when it names none.
std::string StampOf(const LogonPlace& place) {
  std::string version;
  if (ReadStringValue(HKEY_LOCAL_MACHINE, place.machineKey, "Version", version) != ERROR_SUCCESS ||
      TrimCopy(version).empty())
    version = "0,0,0,0";
  return version;
}

class LogonValueActions : public EntrySourceActions {
 public:
  const char* Type() const override { return LogonEntryType; }

  bool IsAccessible(const std::string& name, const std::string& location, const EntryOwner& owner,
                    bool) const override {
    LogonPlace place;
    return owner.exactName.empty() && ParseLogonPlace(name, location, place);
  }

  bool IsGone(const std::string& name, const std::string& location,
              const EntryOwner&) const override {
    LogonPlace place;
    return ParseLogonPlace(name, location, place) && !LogonPlaceIsActive(place);
  }

  bool Remove(const std::string& name, const std::string& location,
              const EntryOwner&) const override {
    LogonPlace place;
    if (!ParseLogonPlace(name, location, place)) return false;
    // What is back at Windows' default already is left as it is.
    if (!LogonPlaceIsActive(place)) return true;
    const std::wstring value = WideFromCodePage(place.valueName);
    switch (place.kind) {
      case LogonKind::MachineShell:
        WriteValueExact(place.root, place.subKey, value, REG_SZ, StringBytes(DefaultShell));
        break;
      case LogonKind::MachineUserinit:
        WriteValueExact(place.root, place.subKey, value, REG_SZ, StringBytes(DefaultUserinit()));
        break;
      case LogonKind::UserValue:
        DeleteValueByExactName(place.root, place.subKey, value);
        break;
      case LogonKind::ActiveSetup:
        WriteValueExact(place.root, place.subKey, value, REG_SZ, StringBytes(StampOf(place)));
        break;
    }
    return !LogonPlaceIsActive(place);
  }

  // The value itself; for a component, its StubPath, the command it runs.
  void Backup(const std::string& name, const std::string& location, BackupPrompts& prompts,
              const EntryOwner&) const override {
    LogonPlace place;
    if (!ParseLogonPlace(name, location, place)) return;
    const bool stub = place.kind == LogonKind::ActiveSetup;
    const HKEY root = stub ? HKEY_LOCAL_MACHINE : place.root;
    const std::string subKey = stub ? place.machineKey : place.subKey;
    const std::string valueName = stub ? "StubPath" : place.valueName;
    DWORD type = REG_NONE;
    std::string stored;
    const std::string text =
        ReadValueExact(root, subKey, WideFromCodePage(valueName), type, stored) == ERROR_SUCCESS
            ? StoredRegistrationFileBytes(RegistryRootName(root) + '\\' + subKey, valueName, type,
                                          stored)
            : "";
    // Empty when gone, unreadable, or of a type that is not exported.
    SaveRegistrationFile(name, text, prompts);
  }

  // The value Remove changes, as it is; a stamp that is not there is kept
  // as REG_NONE with no bytes, so that undo deletes the one Remove wrote.
  RemovalCapture Capture(RemovalRecord& record) const override {
    LogonPlace place;
    if (!ParseLogonPlace(record.name, record.location, place)) return RemovalCapture::NotKept;
    record.valueName = WideFromCodePage(place.valueName);
    record.view = ScannedView(place.root);
    const LONG result =
        ReadValueExact(place.root, place.subKey, record.valueName, record.valueType, record.bytes);
    if (result == ERROR_FILE_NOT_FOUND && place.kind == LogonKind::ActiveSetup) {
      record.valueType = REG_NONE;
      record.bytes.clear();
      return RemovalCapture::Kept;
    }
    if (result == ERROR_FILE_NOT_FOUND) return RemovalCapture::NotKept;
    // Only what a restore may write back is kept: no removal without its undo.
    if (result != ERROR_SUCCESS || !IsString(record.valueType)) return RemovalCapture::Failed;
    return RemovalCapture::Kept;
  }

  // Exactly the value a row of this kind names, in the view the scan reads,
  // as text; a stamp also as absent.
  bool MayRestore(const RemovalRecord& record) const override {
    LogonPlace place;
    std::string valueName;
    if (!ParseLogonPlace(record.name, record.location, place) ||
        record.view != ScannedView(place.root) || !NarrowFromWide(record.valueName, valueName) ||
        !SameNameIgnoringCase(valueName, place.valueName) ||
        record.valueName.find(L'\0') != std::wstring::npos)
      return false;
    if (place.kind != LogonKind::ActiveSetup) return IsString(record.valueType);
    if (record.bytes.size() > kStampBytesMax) return false;
    return IsString(record.valueType) || (record.valueType == REG_NONE && record.bytes.empty());
  }

  bool SwitchName(const RemovalRecord&, std::string&) const override { return false; }

  // Whether undo would replace an entry that is there now.
  bool TargetExists(const RemovalRecord& record) const override {
    LogonPlace place;
    return ParseLogonPlace(record.name, record.location, place) &&
           place.kind != LogonKind::ActiveSetup && LogonPlaceIsActive(place);
  }

  std::string CommandText(const RemovalRecord& record) const override {
    LogonPlace place;
    if (!ParseLogonPlace(record.name, record.location, place)) return std::string();
    if (place.kind != LogonKind::ActiveSetup) return TextOfBytes(record.bytes);
    std::string stub;
    ReadStringValue(HKEY_LOCAL_MACHINE, place.machineKey, "StubPath", stub);
    return stub;
  }

  RestoreResult WriteBack(const RemovalRecord& record) const override {
    LogonPlace place;
    if (!ParseLogonPlace(record.name, record.location, place))
      return RestoreResult::RegistryNotWritten;
    LONG result;
    if (record.valueType == REG_NONE) {
      result = DeleteValueByExactName(place.root, place.subKey, record.valueName);
      if (result == ERROR_FILE_NOT_FOUND) result = ERROR_SUCCESS;
    } else {
      result = WriteValueExact(place.root, place.subKey, record.valueName, record.valueType,
                               record.bytes);
    }
    return result == ERROR_SUCCESS ? RestoreResult::Restored : RestoreResult::RegistryNotWritten;
  }
};

}  // namespace

const EntrySourceActions& LogonActions() {
  static const LogonValueActions actions;
  return actions;
}
