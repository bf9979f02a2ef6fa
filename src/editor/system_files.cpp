#include "editor/system_files.h"

#include <utility>
#include <vector>

#include "editor/line_file.h"
#include "editor/quillpane_dlg.h"
#include "scan/registry_access.h"
#include "util/file_utils.h"

const SystemFile AutoexecBatFile = {"Autoexec.bat", SystemFileHome::Boot};
const SystemFile AutoexecNtFile = {"Autoexec.nt", SystemFileHome::System};
const SystemFile ConfigSysFile = {"Config.sys", SystemFileHome::Boot};
const SystemFile ConfigNtFile = {"Config.nt", SystemFileHome::System};
const SystemFile SystemIniFile = {"System.ini", SystemFileHome::Windows};
const SystemFile WinIniFile = {"Win.ini", SystemFileHome::Windows};
const SystemFile BootIniFile = {"Boot.ini", SystemFileHome::Boot};

const char SetupKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Setup";
const char SpacedSetupKey[] = "Software\\Microsoft\\Windows\\Current Version\\Setup";

bool ReadBootFolder(std::string& folder) {
  std::string value;
  if (ReadStringValue(HKEY_LOCAL_MACHINE, SetupKey, "BootDir", value) != ERROR_SUCCESS &&
      ReadStringValue(HKEY_LOCAL_MACHINE, SpacedSetupKey, "BootDir", value) != ERROR_SUCCESS)
    return false;
  // Empty (or not text at all): a lone backslash would name the current drive.
  if (value.empty()) return false;
  if (value.back() != '\\') value += '\\';
  folder = value;
  return true;
}

bool LocateSystemFile(const SystemFile& file, std::string& path) {
  std::string folder;
  switch (file.home) {
    case SystemFileHome::Boot:
      if (!ReadBootFolder(folder)) return false;
      break;
    case SystemFileHome::Windows:
      folder = WindowsFolder();
      break;
    case SystemFileHome::System:
      folder = SystemFolder();
      break;
  }
  path = folder + file.name;
  return true;
}

namespace {

void SayNotAvailable(const CWnd& owner) {
  owner.MessageBox("Not Available!", "Warning", MB_ICONEXCLAMATION);
}

}  // namespace

void EditFileIfPresent(const CWnd& owner, const std::string& path) {
  // A file shown short or empty would be cut to what was shown at the next Save.
  std::vector<std::string> lines;
  bool readable = false;
  {
    // The 32-bit program's System32 is otherwise SysWOW64, not where Windows
    // keeps Autoexec.nt and Config.nt.
    FileSystemRedirectionOff realSystemFolder;
    readable = IsRegularFile(path) && ReadLineFile(path, lines);
  }
  if (!readable) {
    SayNotAvailable(owner);
    return;
  }
  // No parent: the dialog framework makes the main window its owner.
  CQuillpane editor(path, std::move(lines));
  editor.DoModal();
}

void EditSystemFile(const CWnd& owner, const SystemFile& file) {
  std::string path;
  if (!LocateSystemFile(file, path)) {
    SayNotAvailable(owner);
    return;
  }
  EditFileIfPresent(owner, path);
}
