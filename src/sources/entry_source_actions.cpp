#include "sources/entry_source_actions.h"

#include <windows.h>

#include <commdlg.h>

#include "actions/registration_file.h"
#include "scan/registry_access.h"
#include "util/file_utils.h"

// Each source's write half, defined beside its read half.
const EntrySourceActions& RegistryActions();
const EntrySourceActions& StartupFolderActions();
const EntrySourceActions& AppTaskActions();
const EntrySourceActions& LogonActions();
const EntrySourceActions& ScheduledTaskActions();

const EntrySourceActions* FindEntrySourceActions(const std::string& type) {
  static const EntrySourceActions* const actions[] = {
      &RegistryActions(),
      &StartupFolderActions(),
      &AppTaskActions(),
      &LogonActions(),
      &ScheduledTaskActions(),
  };
  for (const EntrySourceActions* kind : actions)
    if (type == kind->Type()) return kind;
  return nullptr;
}

bool ChooseWritableTarget(const SaveFileRequest& request, BackupPrompts& prompts, std::string& path,
                          const char* source) {
  if (!prompts.ChooseTarget(request, path)) return false;
  // Overwriting the file with itself would save nothing, and a later Remove
  // would wipe the only copy.
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

void SaveRegistrationFile(const std::string& name, const std::string& text,
                          BackupPrompts& prompts) {
  if (text.empty()) {
    prompts.Warn(EntryNotAccessible, MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  std::string path;
  if (!ChooseWritableTarget(
          {"reg", ProposedRegFileName(name), OFN_HIDEREADONLY, RegistryFilesFilter}, prompts,
          path))
    return;
  bool usable = false;
  if (!WriteFileWhole(path.c_str(), text, &usable)) TellWriteFailure(usable, prompts);
}

LONG ReadWholeValue(HKEY root, const std::string& subKey, const std::string& name, DWORD& type,
                    std::string& bytes) {
  DWORD size = 0;
  const LONG result = QueryValueInfo(root, subKey, name, nullptr, &size);
  return result != ERROR_SUCCESS ? result : ReadValueBytes(root, subKey, name, size, type, bytes);
}
