#include "actions/entry_actions.h"

#include <commdlg.h>

#include "actions/entry_switch.h"
#include "actions/registration_file.h"
#include "scan/registry_access.h"
#include "util/file_utils.h"

namespace {

// Asks for a target, then makes sure a file may be written there: false when
// the user cancels, the path is unusable or an existing file is to be kept.
bool ChooseWritableTarget(const SaveFileRequest& request, BackupPrompts& prompts,
                          std::string& path) {
  if (!prompts.ChooseTarget(request, path)) return false;
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

// Where no file could be opened the path is no good; a write that failed
// after that is an error, and whatever was at the path is as it was.
void TellWriteFailure(bool opened, BackupPrompts& prompts) {
  if (opened)
    prompts.Fail(UnableToSave);
  else
    prompts.Warn(InvalidPath, MB_OK | MB_ICONEXCLAMATION);
}

void BackupRegistryValue(const std::string& name, const std::string& location,
                         BackupPrompts& prompts) {
  RegistryLocation value;
  if (!ParseRegistryPath(location, value)) return;
  value.valueName = name;
  if (ReadStringValue(value.root, value.subKey, value.valueName, value.value) != ERROR_SUCCESS) {
    prompts.Warn(EntryNotAccessible, MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  // A value of another type reads as success with no text: only its type tells.
  DWORD type = REG_NONE;
  const bool typeKnown =
      QueryValueInfo(value.root, value.subKey, value.valueName, &type, nullptr) == ERROR_SUCCESS;
  const std::string text =
      typeKnown ? RegistrationFileText(value.keyPath, value.valueName, type, value.value) : "";
  if (text.empty()) {  // no type, or one that is not exported
    prompts.Warn(EntryNotAccessible, MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  std::string path;
  if (!ChooseWritableTarget(
          {"reg", ProposedRegFileName(name), OFN_HIDEREADONLY, RegistryFilesFilter}, prompts, path))
    return;
  bool opened = false;
  if (!WriteRegistrationFile(path.c_str(), text, &opened)) TellWriteFailure(opened, prompts);
}

void BackupStartupFile(const std::string& name, const std::string& location,
                       BackupPrompts& prompts) {
  std::string path;
  if (!ChooseWritableTarget({nullptr, name, OFN_HIDEREADONLY, AllFilesFilter}, prompts, path))
    return;
  // The entry may have gone while the dialog was open.
  if (!IsRegularFile(location)) {
    prompts.Warn(EntryNotAccessible, MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  if (!CopyFileChecked(location.c_str(), path.c_str(), true)) prompts.Fail(UnableToSave);
}

}  // namespace

bool RemoveEntry(const std::string& type, const std::string& name, const std::string& location) {
  bool gone = false;
  if (type == RegistryEntryType) {
    RegistryLocation key;
    if (!ParseRegistryPath(location, key)) return false;
    DeleteValue(key.root, key.subKey, name);
    gone = QueryValueInfo(key.root, key.subKey, name, nullptr, nullptr) == ERROR_FILE_NOT_FOUND;
  } else if (type == StartupFileType) {
    WipeAndDeleteFile(location.c_str(), 1);
    gone = GetFileAttributesA(location.c_str()) == INVALID_FILE_ATTRIBUTES &&
           (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND);
  }
  // A switch left behind would silently disable a later entry of the same
  // name; an entry that is still there keeps its own.
  if (gone) ForgetEntrySwitch(type, name, location);
  return gone;
}

void BackupEntry(const std::string& type, const std::string& name, const std::string& location,
                 BackupPrompts& prompts) {
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
  bool opened = false;
  if (!WriteFileWhole(path.c_str(), InventoryText(rows, InventoryFormat::Csv), &opened))
    TellWriteFailure(opened, prompts);
}
