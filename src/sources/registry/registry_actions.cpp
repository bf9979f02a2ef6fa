// The write half of "Registry" rows: a value of a Run-type key, named by its
// exact name, at the key path of the row's Location.
#include <windows.h>

#include <commdlg.h>

#include "actions/registration_file.h"
#include "scan/registry_access.h"
#include "sources/entry_source_actions.h"
#include "sources/registry/registry_scan.h"
#include "util/file_utils.h"
#include "util/string_utils.h"
#include "util/text_encoding.h"

namespace {

// The view the scan reads a key in: the 64-bit one of the machine's keys on a
// machine that has two.
DWORD ScannedView(HKEY root) {
  return root == HKEY_LOCAL_MACHINE && MachineHas32BitRegistryView() ? 64 : 0;
}

class RegistryValueActions : public EntrySourceActions {
 public:
  const char* Type() const override { return RegistryEntryType; }

  bool IsAccessible(const std::string& name, const std::string& location,
                    const EntryOwner& owner, bool) const override {
    if (!owner.exactName.empty()) return true;
    RegistryLocation key;
    return !ParseRegistryPath(location, key) || IsValueNameExact(key.root, key.subKey, name);
  }

  bool IsGone(const std::string& name, const std::string& location,
              const EntryOwner& owner) const override {
    RegistryLocation key;
    DWORD valueType = REG_NONE;
    std::string bytes;
    return ParseRegistryPath(location, key) &&
           ReadValueByExactName(key.root, key.subKey, ExactValueName(name, owner), valueType,
                                bytes) == ERROR_FILE_NOT_FOUND;
  }

  bool Remove(const std::string& name, const std::string& location,
              const EntryOwner& owner) const override {
    RegistryLocation key;
    if (!ParseRegistryPath(location, key)) return false;
    DeleteValueByExactName(key.root, key.subKey, ExactValueName(name, owner));
    return IsGone(name, location, owner);
  }

  void Backup(const std::string& name, const std::string& location, BackupPrompts& prompts,
              const EntryOwner& owner) const override {
    // The registration file names a value by the row's text.
    if (!owner.exactName.empty()) {
      prompts.Warn(EntryNotAccessible, MB_OK | MB_ICONEXCLAMATION);
      return;
    }
    RegistryLocation value;
    if (!ParseRegistryPath(location, value)) return;
    value.valueName = name;
    // Every byte as the registry holds it: the narrow text would stop at a zero.
    DWORD type = REG_NONE;
    std::string stored;
    const std::string text =
        ReadValueExact(value.root, value.subKey, WideFromCodePage(name), type, stored) ==
                ERROR_SUCCESS
            ? StoredRegistrationFileBytes(value.keyPath, value.valueName, type, stored)
            : "";
    // Empty when gone, unreadable, or of a type that is not exported.
    SaveRegistrationFile(name, text, prompts);
  }

  RemovalCapture Capture(RemovalRecord& record) const override {
    RegistryLocation key;
    if (!ParseRegistryPath(record.location, key)) return RemovalCapture::NotKept;
    if (record.valueName.empty()) record.valueName = WideFromCodePage(record.name);
    const LONG result =
        ReadValueExact(key.root, key.subKey, record.valueName, record.valueType, record.bytes);
    if (result == ERROR_FILE_NOT_FOUND) return RemovalCapture::NotKept;  // nothing left to remove
    if (result != ERROR_SUCCESS) return RemovalCapture::Failed;
    record.view = ScannedView(key.root);
    return RemovalCapture::Kept;
  }

  // A string value of a key the registry scan reads, in the view the scan
  // reads it in.
  bool MayRestore(const RemovalRecord& record) const override {
    RegistryLocation key;
    if ((record.valueType != REG_SZ && record.valueType != REG_EXPAND_SZ) ||
        !ParseRegistryPath(record.location, key))
      return false;
    if (record.view != ScannedView(key.root)) return false;
    for (const RegistryLocation& run : RunKeyLocations())
      if (run.root == key.root && SameNameIgnoringCase(run.subKey, key.subKey)) return true;
    return false;
  }

  bool SwitchName(const RemovalRecord& record, std::string& name) const override {
    return NarrowFromWide(record.valueName, name) && name.find('\0') == std::string::npos;
  }

  bool TargetExists(const RemovalRecord& record) const override {
    RegistryLocation key;
    DWORD type = REG_NONE;
    std::string bytes;
    return ParseRegistryPath(record.location, key) &&
           ReadValueExact(key.root, key.subKey, record.valueName, type, bytes) == ERROR_SUCCESS;
  }

  std::string CommandText(const RemovalRecord& record) const override {
    std::wstring text(record.bytes.size() / 2, L'\0');
    record.bytes.copy(reinterpret_cast<char*>(&text[0]), text.size() * 2);
    std::string narrow;
    NarrowFromWide(text.substr(0, text.find(L'\0')), narrow);
    return narrow;
  }

  RestoreResult WriteBack(const RemovalRecord& record) const override {
    RegistryLocation key;
    if (!ParseRegistryPath(record.location, key) ||
        WriteValueExact(key.root, key.subKey, record.valueName, record.valueType, record.bytes) !=
            ERROR_SUCCESS)
      return RestoreResult::RegistryNotWritten;
    return RestoreResult::Restored;
  }
};

}  // namespace

const EntrySourceActions& RegistryActions() {
  static const RegistryValueActions actions;
  return actions;
}
