// The program an entry starts (its image): from a command line as the shell
// that runs the entries starts it, from a shortcut, or the start-up file
// itself.
#pragma once

#include <string>

class UserEnvironment;

// An image path, and whether it is there. An empty path means no image:
// nothing to start, or a place that cannot be known (a bare name found
// nowhere, a variable that is not set, an unmatched quote).
struct ResolvedImage {
  std::string path;
  bool exists = false;
};

// The file a command line starts, as CreateProcess finds it: a quoted path up
// to its closing quote; an unquoted one with blanks tried piece by piece,
// shortest first; ".exe" added to a piece without an extension; a bare name
// searched in System32, the Windows folder, PATH and then App Paths (the
// user's, then the machine's). Words end at blanks and tabs. For rundll32 the
// DLL it loads, for the script hosts the script. `expand`: the command is
// REG_EXPAND_SZ; an unknown variable drops the image only when it is in the
// image's own path.
ResolvedImage CommandImage(const std::string& command, bool expand, const UserEnvironment& environment);

// A shortcut's (.lnk) target and arguments as stored, read without resolving
// it (the target's variables not expanded); an advertised installer
// shortcut's target is the installed component's path. Empty when it cannot
// be read or points at no file.
struct ShortcutCommand {
  std::string target, arguments;
};
ShortcutCommand ReadShortcut(const std::string& path);

// The image of a start-up file: what a shortcut starts (read as a command in
// its owner's environment), none for an Internet shortcut, any other file
// itself.
ResolvedImage StartupImage(const std::string& path, const UserEnvironment& environment);

// The path to open for a file the 64-bit shell means: a 32-bit program on
// 64-bit Windows reaches System32 through its "Sysnative" alias, so that it
// reads the same files.
std::string NativeFilePath(const std::string& path);

// Whether a regular file is at `path` (its native path). A device name is
// none, and is not looked at.
bool ImageFileExists(const std::string& path);

// A name that opens a device rather than a file: "\\.\" and "\\?\" paths,
// and CON, PRN, AUX, NUL, COM1-9, LPT1-9 (with any extension, in any folder).
bool IsDeviceName(const std::string& path);
