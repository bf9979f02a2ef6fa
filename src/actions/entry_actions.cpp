#include "actions/entry_actions.h"

#include <commdlg.h>

#include "actions/entry_switch.h"
#include "actions/registration_file.h"
#include "scan/registry_access.h"
#include "util/file_utils.h"
#include "util/string_utils.h"
#include "util/text_encoding.h"

namespace {

// Asks for a target, then makes sure a file may be written there: false when
// the user cancels, the path is unusable or an existing file is to be kept.
// The file being saved (`source`) is no target: overwriting it with itself
// would save nothing, and a later Remove would wipe the only copy.
bool ChooseWritableTarget(const SaveFileRequest& request, BackupPrompts& prompts, std::string& path,
                          const char* source = nullptr) {
  if (!prompts.ChooseTarget(request, path)) return false;
  if (source && IsSameFile(source, path.c_str())) {
    prompts.Warn(InvalidPath, MB_OK | MB_ICONEXCLAMATION);
    return false;
  }
  switch (ProbeTargetFile(path.c_str())) {
    case TargetInvalid:
      prompts.Warn(InvalidPath, MB_OK | MB_ICONEXCLAMATION);
      return false;
    case TargetExists:
      // Only an explicit Yes replaces a file.
      return prompts.Warn(OverwriteQuestion, MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) ==
             IDYES;
    case TargetCreatable:
      break;
  }
  return true;
}

// Where the path itself cannot take a file it is no good; a write that failed
// after that (the file held open by a spreadsheet, a full disk) is an error,
// and whatever was at the path is as it was.
void TellWriteFailure(bool usable, BackupPrompts& prompts) {
  if (usable)
    prompts.Fail(UnableToSave);
  else
    prompts.Warn(InvalidPath, MB_OK | MB_ICONEXCLAMATION);
}

void BackupRegistryValue(const std::string& name, const std::string& location,
                         BackupPrompts& prompts) {
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
  if (text.empty()) {  // gone, unreadable, or of a type that is not exported
    prompts.Warn(EntryNotAccessible, MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  std::string path;
  if (!ChooseWritableTarget(
          {"reg", ProposedRegFileName(name), OFN_HIDEREADONLY, RegistryFilesFilter}, prompts, path))
    return;
  bool usable = false;
  if (!WriteFileWhole(path.c_str(), text, &usable)) TellWriteFailure(usable, prompts);
}

void BackupStartupFile(const std::string& name, const std::string& location,
                       BackupPrompts& prompts) {
  std::string path;
  if (!ChooseWritableTarget({nullptr, name, OFN_HIDEREADONLY, AllFilesFilter}, prompts, path,
                            location.c_str()))
    return;
  // The entry may have gone while the dialog was open.
  if (!IsRegularFile(location)) {
    prompts.Warn(EntryNotAccessible, MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  if (!CopyFileChecked(location.c_str(), path.c_str(), true)) prompts.Fail(UnableToSave);
}

}  // namespace

std::wstring ExactValueName(const std::string& name, const EntryOwner& owner) {
  return owner.exactName.empty() ? WideFromCodePage(name) : owner.exactName;
}

namespace {

// The folder's final path as the scan found it and the file's name below
// it; without them (texts alone), the file's own folder as it resolves now.
bool ListedFilePaths(const std::string& location, const EntryOwner& owner, std::wstring& path,
                     std::wstring& finalPath) {
  path = WideFromCodePage(location);
  if (owner.folderTextLength == 0) {
    const size_t separator = path.find_last_of(L'\\');
    if (separator == std::wstring::npos ||
        !FolderFinalPath(location.substr(0, FindLastCharOf(location, "\\") + 1), finalPath))
      return false;
    finalPath += path.substr(separator);
    return true;
  }
  if (owner.folderFinalPath.empty() || owner.folderTextLength > location.size()) return false;
  finalPath = owner.folderFinalPath + L'\\' + WideFromCodePage(location.substr(owner.folderTextLength));
  return true;
}

}  // namespace

namespace {

bool IsAccessible(const std::string& type, const std::string& name, const std::string& location,
                  const EntryOwner& owner, bool oneName) {
  if (type == RegistryEntryType) {
    if (!owner.exactName.empty()) return true;
    RegistryLocation key;
    return !ParseRegistryPath(location, key) || IsValueNameExact(key.root, key.subKey, name);
  }
  if (type != StartupFileType) return true;
  // A file name the code page cannot carry was listed with '?', which no
  // real path holds.
  if (FindFirstCharOf(location, "?*") != std::string::npos) return false;
  std::wstring path, finalPath;
  return ListedFilePaths(location, owner, path, finalPath) &&
         IsListedFile(path, finalPath, oneName);
}

}  // namespace

bool IsEntryAccessible(const std::string& type, const std::string& name,
                       const std::string& location, const EntryOwner& owner) {
  return IsAccessible(type, name, location, owner, false);
}

bool IsEntryRemovable(const std::string& type, const std::string& name,
                      const std::string& location, const EntryOwner& owner) {
  return IsAccessible(type, name, location, owner, true);
}

bool RemoveEntry(const std::string& type, const std::string& name, const std::string& location,
                 const EntryOwner& owner) {
  if (!IsEntryAccessible(type, name, location, owner)) return false;
  bool gone = false;
  if (type == RegistryEntryType) {
    RegistryLocation key;
    if (!ParseRegistryPath(location, key)) return false;
    DeleteValueByExactName(key.root, key.subKey, ExactValueName(name, owner));
    gone = EntryIsGone(type, name, location, owner);
  } else if (type == StartupFileType) {
    std::wstring path, finalPath;
    gone = ListedFilePaths(location, owner, path, finalPath) &&
           RemoveListedFile(path, finalPath, 1);
  } else {
    return false;
  }
  // A switch left behind would silently disable a later entry of the same
  // name; an entry that is still there keeps its own.
  if (gone) ForgetEntrySwitch(type, name, location, owner);
  return gone;
}

void BackupEntry(const std::string& type, const std::string& name, const std::string& location,
                 BackupPrompts& prompts, const EntryOwner& owner) {
  // The registration file names a value by the row's text.
  if (!IsEntryAccessible(type, name, location, owner) ||
      (type == RegistryEntryType && !owner.exactName.empty())) {
    prompts.Warn(EntryNotAccessible, MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  if (type == RegistryEntryType)
    BackupRegistryValue(name, location, prompts);
  else if (type == StartupFileType)
    BackupStartupFile(name, location, prompts);
}

void SaveEntryList(const std::vector<InventoryRow>& rows, BackupPrompts& prompts) {
  std::string path;
  if (!ChooseWritableTarget({"csv", SavedListName, OFN_HIDEREADONLY, CsvFilesFilter}, prompts,
                            path))
    return;
  bool usable = false;
  if (!WriteFileWhole(path.c_str(),
                      InventoryText(rows, InventoryFormat::Csv, CP_ACP, InventoryTarget::File),
                      &usable))
    TellWriteFailure(usable, prompts);
}
