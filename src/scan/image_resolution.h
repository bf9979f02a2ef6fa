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
// searched in System32, the Windows folder, PATH and then App Paths. For
// rundll32 the DLL it loads. `expand`: the command is REG_EXPAND_SZ.
ResolvedImage CommandImage(const std::string& command, bool expand, const UserEnvironment& environment);

// The target path of a shortcut (.lnk), read without resolving it; empty when
// it cannot be read or points at no file.
std::string ShortcutTarget(const std::string& path);

// The image of a start-up file: a shortcut's target, none for an Internet
// shortcut, any other file itself.
ResolvedImage StartupImage(const std::string& path);

// The path to open for a file the 64-bit shell means: a 32-bit program on
// 64-bit Windows reaches System32 through its "Sysnative" alias, so that it
// reads the same files.
std::string NativeFilePath(const std::string& path);

// Whether a regular file is at `path` (its native path).
bool ImageFileExists(const std::string& path);
