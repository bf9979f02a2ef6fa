#include "util/file_utils.h"

#include <windows.h>

#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
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

// One wipe pass. The zeros go over the file's own clusters (no truncation, which
// would let the file system hand out fresh ones and leave the old content on
// disk) and are forced out of the cache before the file is deleted.
bool OverwriteWithZeros(const char* path, long long size) {
  FILE* file = std::fopen(path, "r+b");
  if (!file) file = std::fopen(path, "wb");  // writable but not readable
  if (!file) return false;
  static const char zeros[kCopyChunk] = {};
  for (long long left = size; left > 0;) {
    const size_t chunk =
        left < static_cast<long long>(kCopyChunk) ? static_cast<size_t>(left) : kCopyChunk;
    if (std::fwrite(zeros, 1, chunk, file) != chunk) break;
    left -= static_cast<long long>(chunk);
  }
  std::fflush(file);
  _commit(_fileno(file));
  std::fclose(file);
  return true;
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

// argv[0] as the runtime splits it: quotes group and are dropped, a blank or tab
// outside quotes ends the word; backslashes are plain characters here.
std::string FirstCommandWord(const char* commandLine) {
  std::string word;
  if (!commandLine) return word;
  bool quoted = false;
  for (const char* p = commandLine; *p; ++p) {
    if (*p == '"') {
      quoted = !quoted;
      continue;
    }
    if (!quoted && (*p == ' ' || *p == '\t')) break;
    word += *p;
  }
  return word;
}

}  // namespace

bool NormalizeFolderPath(std::string& folder) {
  // An empty text names nothing; a lone backslash would name the current drive.
  if (folder.empty()) return false;
  const char last = folder.back();
  if (last != '\\' && last != '/') folder += '\\';
  for (char& c : folder) {
    if (c == '/') c = '\\';
  }
  return _access(folder.c_str(), 0) == 0;
}

std::string ProgramFolderOf(const char* commandLine) {
  std::string word = FirstCommandWord(commandLine);
  const size_t separator = word.find_last_of("\\/");
  if (separator != std::string::npos) word.erase(separator);
  return word;
}

std::string ProgramFolder() {
  return ProgramFolderOf(GetCommandLineA());
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

bool WipeAndDeleteFile(const char* path, uint16_t passes) {
  if (!path) return true;
  struct _stat64 status;
  if (!QueryStatus(path, status)) return true;
  if (!IsRegularFile(status)) return true;
  SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  if (passes != 0 && QueryStatus(path, status) && status.st_size > 0) {
    for (uint16_t pass = 0; pass < passes; ++pass) {
      if (!OverwriteWithZeros(path, status.st_size)) break;
    }
  }
  return std::remove(path) == 0;
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
  if (LowerCopy(TrimCopy(source)) == LowerCopy(TrimCopy(target))) return true;
  if (IsSameFile(source, target)) return true;
  if (!overwrite && QueryStatus(target, status) && IsRegularFile(status)) return false;

  FILE* in = std::fopen(source, "rb");
  if (!in) return false;
  FILE* out = std::fopen(target, "wb");
  if (!out) {
    std::fclose(in);
    return false;
  }
  std::vector<char> buffer(kCopyChunk);
  bool copied = true;
  for (;;) {
    const size_t got = std::fread(buffer.data(), 1, buffer.size(), in);
    if (got == 0) break;
    if (std::fwrite(buffer.data(), 1, got, out) != got) {
      copied = false;
      break;
    }
  }
  // A short backup is no backup.
  if (std::ferror(in)) copied = false;
  if (std::fclose(out) != 0) copied = false;
  std::fclose(in);
  return copied;
}

bool WriteFileWhole(const char* path, const std::string& bytes) {
  // Windows refuses to replace a read-only file by renaming, Wine does not:
  // refused here, it is refused everywhere.
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  std::string folder = FolderOf(path);
  if (folder.empty()) folder = ".";
  char temporary[MAX_PATH] = "";
  if (!GetTempFileNameA(folder.c_str(), "lmv", 0, temporary)) return false;
  HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  bool written = file != INVALID_HANDLE_VALUE;
  for (size_t done = 0; written && done < bytes.size();) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
    DWORD put = 0;
    written = WriteFile(file, bytes.data() + done, chunk, &put, nullptr) && put == chunk;
    done += put;
  }
  if (file != INVALID_HANDLE_VALUE) {
    written = FlushFileBuffers(file) && written;
    written = CloseHandle(file) && written;
  }
  if (written && MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  // The caller may want to say why: the cleanup must not change that.
  const DWORD error = GetLastError();
  DeleteFileA(temporary);
  SetLastError(error);
  return false;
}
