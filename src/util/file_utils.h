// File-system helpers: folder paths, the program's and the system's folders,
// wiping a file, probing a target path and a checked copy. They report through
// their result only; the callers decide what the user sees.
#pragma once

#include <cstdint>
#include <string>

enum TargetFileState {
  TargetExists = 0,     // a regular file is already there
  TargetCreatable = 1,  // nothing regular there, and a file can be created
  TargetInvalid = 2,    // no file can be created there
};

// Appends a backslash unless the path ends in a separator and turns slashes into
// backslashes; true if something exists at the result. An empty path stays empty
// and gives false.
bool NormalizeFolderPath(std::string& folder);

// Folder of the first word of `commandLine` (split the way the runtime splits
// argv[0]), without a final separator; the whole word when it holds none.
std::string ProgramFolderOf(const char* commandLine);
std::string ProgramFolder();

// With a final backslash; a single backslash if the system call fails.
std::string WindowsFolder();
std::string SystemFolder();
// First three characters of WindowsFolder(), e.g. "C:\".
std::string SystemDrive();

// Overwrites a regular file `passes` times with zero bytes of its own length,
// then deletes it. True unless that final deletion failed; a missing path or
// anything but a regular file is left alone and gives true.
bool WipeAndDeleteFile(const char* path, uint16_t passes);

// Whether a file may be written at `path`. Creates and deletes an empty file
// when nothing is there yet.
TargetFileState ProbeTargetFile(const char* path);

// Byte-exact copy of a regular file. True if the copy was made, or if target is
// the source itself (same text, or another path of the same file), in which case
// nothing is written.
bool CopyFileChecked(const char* source, const char* target, bool overwrite);

// Replaces the file at `path` with exactly `bytes`, or leaves whatever was
// there as it was: the bytes go to a new file in the same folder, which takes
// the name only once it is complete. False when that failed, with the
// system's error code left for GetLastError.
bool WriteFileWhole(const char* path, const std::string& bytes);
