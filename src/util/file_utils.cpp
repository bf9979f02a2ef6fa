#include "util/file_utils.h"

#include <windows.h>

#include <io.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "util/string_utils.h"

namespace {

constexpr size_t kCopyChunk = 64 * 1024;

// The 64-bit status query: the 32-bit one fails on files of 2 GiB and more,
// which would then pass for missing.
bool QueryStatus(const char* path, struct _stat64& status) {
  return _stat64(path, &status) == 0;
}

bool IsRegularFile(const struct _stat64& status) {
  return (status.st_mode & _S_IFREG) != 0;
}

// The wipe passes, through the handle that will delete the file. The zeros go
// over the file's own clusters (no truncation, which would let the file system
// hand out fresh ones and leave the old content on disk) and are forced out of
// the cache before the file is deleted.
void OverwriteWithZeros(HANDLE file, uint16_t passes) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size)) return;
  static const char zeros[kCopyChunk] = {};
  for (uint16_t pass = 0; pass < passes; ++pass) {
    const LARGE_INTEGER start = {};
    if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return;
    for (long long left = size.QuadPart; left > 0;) {
      const DWORD chunk = left < static_cast<long long>(kCopyChunk)
                              ? static_cast<DWORD>(left)
                              : static_cast<DWORD>(kCopyChunk);
      DWORD written = 0;
      if (!WriteFile(file, zeros, chunk, &written, nullptr) || written != chunk) return;
      left -= chunk;
    }
    FlushFileBuffers(file);
  }
}

bool QueryIdentity(const char* path, BY_HANDLE_FILE_INFORMATION& info) {
  // No access rights asked for: the query works even on a file that another
  // program holds open without sharing.
  HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool known = GetFileInformationByHandle(file, &info) != 0;
  CloseHandle(file);
  return known;
}

}  // namespace

// Same volume and file index. Size and write time must agree as well: a volume
// without a serial number (0) must not make two files on two such volumes one.
bool IsSameFile(const char* first, const char* second) {
  BY_HANDLE_FILE_INFORMATION a, b;
  if (!QueryIdentity(first, a) || !QueryIdentity(second, b)) return false;
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow && a.nFileSizeHigh == b.nFileSizeHigh &&
         a.nFileSizeLow == b.nFileSizeLow &&
         CompareFileTime(&a.ftLastWriteTime, &b.ftLastWriteTime) == 0;
}

namespace {

// Deletes the one name of a file that has others, or of a link. Read-only
// belongs to the file, not to the name: it is lifted for the deletion and put
// back, through a handle that outlives the name, for the names that remain.
bool DeleteNameOnly(const char* path, HANDLE file, DWORD attributes) {
  FILE_BASIC_INFO basic = {};
  basic.FileAttributes = attributes & ~FILE_ATTRIBUTE_READONLY;
  if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (readOnly) SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic);
  const bool deleted = std::remove(path) == 0;
  if (readOnly) {
    basic.FileAttributes = attributes;
    SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic);
  }
  return deleted;
}

// The path a link leads to at last, in the usual drive-letter form.
bool FinalPathOf(const std::string& path, std::string& final) {
  HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char buffer[MAX_PATH + 8] = {};
  const DWORD length = GetFinalPathNameByHandleA(file, buffer, sizeof buffer, VOLUME_NAME_DOS);
  CloseHandle(file);
  if (length == 0 || length >= sizeof buffer) return false;
  final = buffer;
  if (final.compare(0, 8, "\\\\?\\UNC\\") == 0)
    final = "\\" + final.substr(7);
  else if (final.compare(0, 4, "\\\\?\\") == 0)
    final.erase(0, 4);
  return true;
}

// What a replacement keeps of the file it replaces.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

}  // namespace

bool NormalizeFolderPath(std::string& folder) {
  // An empty text names nothing; a lone backslash would name the current drive.
  if (folder.empty()) return false;
  if (!EndsWithSeparator(folder)) folder += '\\';
  for (char& c : folder) {
    if (c == '/') c = '\\';
  }
  return _access(folder.c_str(), 0) == 0;
}

std::string ProgramFolderOf(const char* argv0, const char* programPath) {
  // A program started with an empty first word would look for its manual at
  // the root of the drive.
  const char* word = argv0 && *argv0 ? argv0 : programPath;
  std::string folder = word ? word : "";
  const size_t separator = FindLastCharOf(folder, "\\/");
  if (separator != std::string::npos) folder.erase(separator);
  return folder;
}

std::string ProgramFolder() {
  return ProgramFolderOf(__argc > 0 && __argv ? __argv[0] : nullptr, _pgmptr);
}

std::string WindowsFolder() {
  char buffer[MAX_PATH] = {};
  GetWindowsDirectoryA(buffer, MAX_PATH);
  return std::string(buffer) + '\\';
}

std::string SystemFolder() {
  char buffer[MAX_PATH] = {};
  GetSystemDirectoryA(buffer, MAX_PATH);
  return std::string(buffer) + '\\';
}

std::string SystemDrive() {
  return WindowsFolder().substr(0, 3);
}

bool IsRegularFile(const std::string& path) {
  struct _stat64 status;
  return QueryStatus(path.c_str(), status) && IsRegularFile(status);
}

bool WipeAndDeleteFile(const char* path, uint16_t passes) {
  if (!path) return true;
  struct _stat64 status;
  if (!QueryStatus(path, status)) return true;
  if (!IsRegularFile(status)) return true;
  // The name itself, not what a link leads to.
  HANDLE file =
      CreateFileA(path, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  BY_HANDLE_FILE_INFORMATION info;
  const bool known = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &info);
  const bool ownContent =
      known && info.nNumberOfLinks == 1 && !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
  if (known && !ownContent) {
    const bool deleted = DeleteNameOnly(path, file, info.dwFileAttributes);
    CloseHandle(file);
    return deleted;
  }
  // This handle shares everything: the one that wipes must be the only writer.
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  const DWORD attributes = known ? info.dwFileAttributes : GetFileAttributesA(path);
  SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  // Nothing is written before the file is known to be deletable: one handle
  // may both write and delete, and no one else may write or delete meanwhile.
  // Readers are let be (a virus scanner, an Explorer preview): they only see
  // the zeros.
  file = CreateFileA(path, GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(path, attributes);
    SetLastError(error);
    return false;
  }
  // Marked for deletion first, so that zeros are only ever written into a
  // file that is sure to go when the handle closes. Only what is known to be
  // this name's own content is wiped.
  FILE_DISPOSITION_INFO disposition = {TRUE};
  const bool deleted =
      SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
  if (deleted && ownContent) OverwriteWithZeros(file, passes);
  CloseHandle(file);
  if (!deleted && attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(path, attributes);
  return deleted;
}

TargetFileState ProbeTargetFile(const char* path) {
  if (!path) return TargetInvalid;
  struct _stat64 status;
  if (QueryStatus(path, status) && IsRegularFile(status)) return TargetExists;
  // Create only a new file: should the status query have missed an existing one,
  // it must not be truncated.
  HANDLE file =
      CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return TargetInvalid;
  CloseHandle(file);
  WipeAndDeleteFile(path, 1);
  return TargetCreatable;
}

bool CopyFileChecked(const char* source, const char* target, bool overwrite) {
  if (!source || !target) return false;
  struct _stat64 status;
  if (!QueryStatus(source, status) || !IsRegularFile(status)) return false;
  // Opening the target for writing would truncate the source if both are one file.
  if (SameNameIgnoringCase(TrimCopy(source), TrimCopy(target))) return true;
  if (IsSameFile(source, target)) return true;
  if (!overwrite && QueryStatus(target, status) && IsRegularFile(status)) return false;

  FILE* in = std::fopen(source, "rb");
  if (!in) return false;
  FileReplacement out(target);
  std::vector<char> buffer(kCopyChunk);
  bool copied = out.IsOpen();
  while (copied) {
    const size_t got = std::fread(buffer.data(), 1, buffer.size(), in);
    if (got == 0) break;
    copied = out.Write(buffer.data(), got);
  }
  // A short backup is no backup.
  if (std::ferror(in)) copied = false;
  std::fclose(in);
  return copied && out.Commit();
}

bool ReadWholeFile(const std::string& path, std::string& bytes, uint64_t maxBytes) {
  bytes.clear();
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // Refused before a byte is read; the count read is checked too, for a file
  // that grows meanwhile.
  LARGE_INTEGER size = {};
  bool tooLarge = GetFileSizeEx(file, &size) && static_cast<uint64_t>(size.QuadPart) > maxBytes;
  std::vector<char> buffer(kCopyChunk);
  DWORD got = 0;
  bool read = !tooLarge;
  while (!tooLarge &&
         (read = ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) &&
         got > 0) {
    tooLarge = bytes.size() + got > maxBytes;
    if (!tooLarge) bytes.append(buffer.data(), got);
  }
  CloseHandle(file);
  if (tooLarge) read = false;
  if (!read) bytes.clear();
  if (tooLarge) SetLastError(ERROR_FILE_TOO_LARGE);
  return read;
}

FileReplacement::FileReplacement(const std::string& target)
    : target_(target), file_(INVALID_HANDLE_VALUE) {
  if (target.empty()) {
    SetLastError(ERROR_INVALID_NAME);
    return;
  }
  // A link is written through: the file it leads to takes the bytes. (Wine
  // shows no reparse point on its links, so every existing file is asked.)
  if (GetFileAttributesA(target.c_str()) != INVALID_FILE_ATTRIBUTES) FinalPathOf(target, target_);
  const DWORD attributes = GetFileAttributesA(target_.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return;
    }
    // From here on the path is fine; what fails is this attempt to write it.
    usable_ = true;
    // Whatever keeps it from being opened for writing (another program holding
    // it without sharing, say) would keep it from being replaced as well.
    HANDLE existing = CreateFileA(target_.c_str(), GENERIC_WRITE | DELETE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (existing == INVALID_HANDLE_VALUE) return;
    CloseHandle(existing);
    replacing_ = true;
    keptAttributes_ = attributes & kKeptAttributes;
  }
  std::string folder = FolderOf(target_);
  if (folder.empty()) folder = ".";
  char temporary[MAX_PATH] = {};
  if (!GetTempFileNameA(folder.c_str(), "lv", 0, temporary)) return;
  usable_ = true;  // a file can be made there
  temporary_ = temporary;
  file_ = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file_ == INVALID_HANDLE_VALUE) Discard();
}

FileReplacement::~FileReplacement() {
  Discard();
}

bool FileReplacement::IsUsable() const {
  return usable_;
}

bool FileReplacement::IsOpen() const {
  return file_ != INVALID_HANDLE_VALUE;
}

bool FileReplacement::Write(const void* data, size_t size) {
  if (!IsOpen()) return false;
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const DWORD chunk = size < kCopyChunk ? static_cast<DWORD>(size) : kCopyChunk;
    DWORD written = 0;
    if (!WriteFile(file_, bytes, chunk, &written, nullptr) || written != chunk) {
      Discard();
      return false;
    }
    bytes += chunk;
    size -= chunk;
  }
  return true;
}

bool FileReplacement::Commit() {
  if (!IsOpen()) return false;
  const bool flushed = FlushFileBuffers(file_) != 0;
  const bool closed = CloseHandle(file_) != 0;
  file_ = INVALID_HANDLE_VALUE;
  // A written file is always marked for the next backup.
  if (!flushed || !closed ||
      !SetFileAttributesA(temporary_.c_str(), keptAttributes_ | FILE_ATTRIBUTE_ARCHIVE) ||
      !TakeTargetsPlace()) {
    Discard();
    return false;
  }
  temporary_.clear();
  return true;
}

bool FileReplacement::TakeTargetsPlace() {
  // Replacing keeps the file's own security descriptor and owner; a plain
  // rename would give it those the folder hands down.
  if (replacing_ && ReplaceFileA(target_.c_str(), temporary_.c_str(), nullptr,
                                 REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
    return true;
  // The file is still there, in use: a rename would fail as well.
  if (replacing_ && GetLastError() == ERROR_UNABLE_TO_REMOVE_REPLACED) return false;
  // A new file, or a file system that cannot replace (or a replacement that
  // took the old file away but could not rename the new one): the rename.
  return MoveFileExA(temporary_.c_str(), target_.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void FileReplacement::Discard() {
  // The caller may want to say why: the cleanup must not change that.
  const DWORD error = GetLastError();
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  file_ = INVALID_HANDLE_VALUE;
  if (!temporary_.empty()) {
    SetFileAttributesA(temporary_.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(temporary_.c_str());
    temporary_.clear();
  }
  SetLastError(error);
}

bool WriteFileWhole(const char* path, const std::string& bytes, bool* usable) {
  FileReplacement file(path ? path : "");
  if (usable) *usable = file.IsUsable();
  return file.IsOpen() && file.Write(bytes.data(), bytes.size()) && file.Commit();
}
