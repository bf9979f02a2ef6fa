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

// Folder of the program's first command-line word as the runtime split it
// (`argv0`), without a final separator; the whole word when it holds none. An
// empty or missing word gives way to the program's full path (`programPath`).
std::string ProgramFolderOf(const char* argv0, const char* programPath);
// Of the runtime's own __argv[0] and _pgmptr.
std::string ProgramFolder();

// With a final backslash; a single backslash if the system call fails.
std::string WindowsFolder();
std::string SystemFolder();
// First three characters of WindowsFolder(), e.g. "C:\".
std::string SystemDrive();

// Whether `path` names a regular file (not a folder or a device).
bool IsRegularFile(const std::string& path);

// Overwrites a regular file `passes` times with zero bytes of its own length,
// then deletes it. Nothing is written unless the file can be deleted: one
// that cannot (held open by another program, say) keeps its bytes and
// attributes, and gives false. A missing path or anything but a regular file
// is left alone and gives true. A file with other
// names (hard links), or a link to another file, only loses this name: zeros
// written through it would land in what the other names show.
bool WipeAndDeleteFile(const char* path, uint16_t passes);

// Whether a file may be written at `path`. Creates and deletes an empty file
// when nothing is there yet.
TargetFileState ProbeTargetFile(const char* path);

// The whole content of a file; false (and no bytes) when it cannot be opened,
// a read fails part-way or it holds more than `maxBytes` (ERROR_FILE_TOO_LARGE).
bool ReadWholeFile(const std::string& path, std::string& bytes, uint64_t maxBytes = UINT64_MAX);

// Whether two paths name one file (volume and file index), whatever their
// spelling or which of its hard links they use. False when either is missing.
bool IsSameFile(const char* first, const char* second);

// Writes a file whole or not at all. A link at the target is written
// through: the file it leads to is replaced. The bytes go to a new file in
// that folder, are forced to disk, and then take the target's place in one
// step with the hidden and system attributes and the security descriptor of
// the file they replace, and always ARCHIVE. Other hard links of a replaced
// file keep its old content. Until Commit succeeds the target is as it was; a new file that is
// not committed is deleted. A read-only target is refused, as opening it for
// writing would be (Windows refuses to rename onto it, Wine does not). After a
// failure GetLastError tells why.
class FileReplacement {
 public:
  explicit FileReplacement(const std::string& target);
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // Whether the path itself can take a file (not a folder, not read-only,
  // not in a missing folder); a failure after that is one of this attempt.
  bool IsUsable() const;
  bool IsOpen() const;
  bool Write(const void* data, size_t size);
  bool Commit();

 private:
  void Discard();
  bool TakeTargetsPlace();

  std::string target_;
  std::string temporary_;
  void* file_;  // the new file's handle
  unsigned long keptAttributes_ = 0;
  bool replacing_ = false;  // a file is there and may be replaced
  bool usable_ = false;
};

// Replaces the file at `path` with exactly `bytes`, or leaves whatever was
// there as it was (see FileReplacement). False when that failed, with the
// system's error code left for GetLastError; `usable`, when given, tells
// whether the path itself could take a file (FileReplacement::IsUsable).
bool WriteFileWhole(const char* path, const std::string& bytes, bool* usable = nullptr);

// Byte-exact copy of a regular file, written as WriteFileWhole writes. True if
// the copy was made, or if target is the source itself (same text, or another
// path of the same file), in which case nothing is written.
bool CopyFileChecked(const char* source, const char* target, bool overwrite);

// The final path of an open file or folder (GetFinalPathNameByHandleW,
// whatever its length), in the drive-letter or "\\server\share" form.
bool FinalPathOfHandle(void* handle, std::wstring& final);

// The final path of `folder` (links followed), without a final separator.
bool FolderFinalPath(const std::string& folder, std::wstring& final);

// A drive-letter path of MAX_PATH units or more with the "\\?\" prefix that
// lets the wide functions take it; any other path as it is.
std::wstring LongPathForm(const std::wstring& path);

// Whether the file at `path`, opened without following a reparse point at
// its last part, is the one `finalPath` names (letter case aside) and not a
// folder; with `oneName`, also whether it has no other name (hard link).
bool IsListedFile(const std::wstring& path, const std::wstring& finalPath, bool oneName = false);

// Deletes that file, once IsListedFile holds with `oneName` through the very
// handle that deletes it, after `passes` of zeros over its content: true when it is
// marked for deletion (gone, or going once another program that holds it
// open with delete sharing lets go). False, with nothing changed, otherwise.
bool RemoveListedFile(const std::wstring& path, const std::wstring& finalPath, uint16_t passes);
