// The Extras commands: where the seven traditional boot and configuration
// files live, and opening one of them in the line editor.
#pragma once

#include <string>

#include "framework/wnd.h"

enum class SystemFileHome {
  Boot,     // "BootDir" of the Setup key
  Windows,  // the Windows directory
  System,   // the system directory
};

struct SystemFile {
  const char* name;  // joined as written, in mixed case
  SystemFileHome home;
};

extern const SystemFile AutoexecBatFile;
extern const SystemFile AutoexecNtFile;
extern const SystemFile ConfigSysFile;
extern const SystemFile ConfigNtFile;
extern const SystemFile SystemIniFile;
extern const SystemFile WinIniFile;
extern const SystemFile BootIniFile;

extern const char SetupKey[];        // ...\CurrentVersion\Setup, read first
extern const char SpacedSetupKey[];  // ...\Current Version\Setup, read when the first fails

// The boot directory with a final backslash. False when "BootDir" cannot be
// read, or reads as empty text.
bool ReadBootFolder(std::string& folder);

// The full path of `file`; false when its folder is not known.
bool LocateSystemFile(const SystemFile& file, std::string& path);

// Opens `path` in the line editor, run modally without a parent, if a regular
// file of line text is there and can be read whole (see ReadLineFile);
// otherwise tells the user through `owner` "Not Available!". The path is
// looked at and read with the file-system redirection off.
void EditFileIfPresent(const CWnd& owner, const std::string& path);

// One Extras command: locates `file` and does what EditFileIfPresent does,
// or says "Not Available!" when its folder is not known.
void EditSystemFile(const CWnd& owner, const SystemFile& file);
