#include "util/file_utils.h"

#include <windows.h>

#include <io.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "util/string_utils.h"
#include "util/text_encoding.h"

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
  std::wstring wide;
  const bool known = FinalPathOfHandle(file, wide);
  CloseHandle(file);
  if (!known) return false;
  return NarrowFromWide(wide, final);
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
  // The wide call: MAX_PATH units may take more than MAX_PATH bytes of text.
  wchar_t temporary[MAX_PATH] = {};
  if (!GetTempFileNameW(WideFromCodePage(folder).c_str(), L"lv", 0, temporary)) return;
  usable_ = true;  // a file can be made there
  if (!NarrowFromWide(temporary, temporary_)) {
    DeleteFileW(temporary);
    temporary_.clear();
    return;
  }
  file_ = CreateFileA(temporary_.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
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

namespace {

// The object's own name, "\??\C:\..." where the system keeps it in that
// form (Wine does): the final path where GetFinalPathNameByHandleW fails on
// one of MAX_PATH characters or more, as Wine's does.
bool FinalPathFromObjectName(HANDLE handle, std::wstring& final) {
  using QueryObject = LONG(NTAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  static const auto query = reinterpret_cast<QueryObject>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryObject")));
  if (!query) return false;
  struct CountedName {
    USHORT length, maximumLength;
    const wchar_t* buffer;
  };
  std::vector<BYTE> buffer(4096);
  ULONG needed = 0;
  LONG status = query(handle, 1 /* ObjectNameInformation */, buffer.data(),
                      static_cast<ULONG>(buffer.size()), &needed);
  if (status < 0 && needed > buffer.size()) {
    buffer.resize(needed);
    status = query(handle, 1, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
  }
  if (status < 0) return false;
  const auto* name = reinterpret_cast<const CountedName*>(buffer.data());
  const std::wstring text(name->buffer, name->length / sizeof(wchar_t));
  if (text.compare(0, 4, L"\\??\\") != 0) return false;
  final = text.substr(4);
  return true;
}

}  // namespace

bool FinalPathOfHandle(void* handle, std::wstring& final) {
  std::vector<wchar_t> buffer(MAX_PATH + 8);
  for (;;) {
    const DWORD length = GetFinalPathNameByHandleW(handle, buffer.data(),
                                                   static_cast<DWORD>(buffer.size()), VOLUME_NAME_DOS);
    if (length == 0) return FinalPathFromObjectName(handle, final);
    if (length < buffer.size()) {
      final.assign(buffer.data(), length);
      break;
    }
    buffer.resize(length + 1);
  }
  if (final.compare(0, 8, L"\\\\?\\UNC\\") == 0)
    final = L"\\" + final.substr(7);
  else if (final.compare(0, 4, L"\\\\?\\") == 0)
    final.erase(0, 4);
  return true;
}

bool FolderFinalPath(const std::string& folder, std::wstring& final) {
  HANDLE handle = CreateFileW(LongPathForm(WideFromCodePage(folder)).c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool known = FinalPathOfHandle(handle, final);
  CloseHandle(handle);
  while (known && !final.empty() && final.back() == L'\\') final.pop_back();
  return known;
}

std::wstring LongPathForm(const std::wstring& path) {
  const bool drivePath = path.size() >= 3 && path[1] == L':' && path[2] == L'\\';
  return drivePath && path.size() >= MAX_PATH ? L"\\\\?\\" + path : path;
}

namespace {

// Opens the file at `path` once, with `access`, never following a reparse
// point at its last part, and lets no one else delete or rename it while the
// handle is open. Null unless it is the file `finalPath` names (letter case
// aside) and not a folder, and, with `oneName`, has no other name: a folder
// or a link swapped in since the list was made leads elsewhere, and the file
// another name shows too would lose only this name.
HANDLE OpenListedFile(const std::wstring& path, const std::wstring& finalPath, DWORD access,
                      bool oneName, BY_HANDLE_FILE_INFORMATION& info) {
  HANDLE file = CreateFileW(LongPathForm(path).c_str(), access | FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  std::wstring opened;
  const bool listed =
      GetFileInformationByHandle(file, &info) && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
      (!oneName || info.nNumberOfLinks == 1) && FinalPathOfHandle(file, opened) &&
      CompareStringOrdinal(opened.c_str(), static_cast<int>(opened.size()), finalPath.c_str(),
                           static_cast<int>(finalPath.size()), TRUE) == CSTR_EQUAL;
  if (listed) return file;
  CloseHandle(file);
  return nullptr;
}

bool SetAttributesOf(HANDLE file, DWORD attributes) {
  FILE_BASIC_INFO basic = {};  // times of zero stay as they are
  basic.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
  return SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic) != 0;
}

}  // namespace

bool IsListedFile(const std::wstring& path, const std::wstring& finalPath, bool oneName) {
  BY_HANDLE_FILE_INFORMATION info;
  HANDLE file = OpenListedFile(path, finalPath, 0, oneName, info);
  if (file) CloseHandle(file);
  return file != nullptr;
}

bool RemoveListedFile(const std::wstring& path, const std::wstring& finalPath, uint16_t passes) {
  BY_HANDLE_FILE_INFORMATION info;
  HANDLE file = OpenListedFile(path, finalPath, DELETE | FILE_WRITE_ATTRIBUTES, true, info);
  if (!file) return false;
  // Read-only forbids both the deletion and the zeros: lifted through this
  // handle, and put back if the file stays.
  const DWORD attributes = info.dwFileAttributes;
  const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (readOnly) SetAttributesOf(file, attributes & ~FILE_ATTRIBUTE_READONLY);
  // The zeros go through a second handle, taken while this one keeps the
  // name in place and then checked to be the same file; no other writer
  // may hold it. A file others hold open for writing is deleted unwiped.
  HANDLE writer = CreateFileW(LongPathForm(path).c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  BY_HANDLE_FILE_INFORMATION written;
  const bool sameFile = writer != INVALID_HANDLE_VALUE &&
                        GetFileInformationByHandle(writer, &written) &&
                        written.dwVolumeSerialNumber == info.dwVolumeSerialNumber &&
                        written.nFileIndexHigh == info.nFileIndexHigh &&
                        written.nFileIndexLow == info.nFileIndexLow;
  // Marked for deletion first, so that zeros only go into a file sure to go.
  FILE_DISPOSITION_INFO disposition = {TRUE};
  const bool deleted =
      SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
  if (deleted && sameFile && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    OverwriteWithZeros(writer, passes);
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
  if (!deleted && readOnly) SetAttributesOf(file, attributes);
  CloseHandle(file);
  return deleted;
}
