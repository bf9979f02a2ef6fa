// The write half of "Start-Up" rows: a file at any depth below a start-up
// folder, its full path the row's Location.
#include <windows.h>

#include <commdlg.h>
#include <objidl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "sources/entry_source_actions.h"
#include "sources/startup_folder/startup_folder_scan.h"
#include "util/file_utils.h"
#include "util/string_utils.h"
#include "util/text_encoding.h"

namespace {

// Shortcuts are kept; programs, scripts and documents are wiped so that they
// cannot come back.
bool IsKeptFile(const std::string& path) {
  const std::string extension = LowerCopy(ExtensionOf(path));
  return extension == "lnk" || extension == "url" || extension == "pif";
}

uint64_t Ticks(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME FileTime(uint64_t ticks) {
  return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

RemovalCapture CaptureShortcut(RemovalRecord& record) {
  WIN32_FILE_ATTRIBUTE_DATA info;
  if (!IsKeptFile(record.location) ||
      !GetFileAttributesExA(record.location.c_str(), GetFileExInfoStandard, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return RemovalCapture::NotKept;  // RemoveEntry leaves these alone too
  // Too big to be kept is too big to be removed: nothing goes without its undo.
  if (info.nFileSizeHigh || info.nFileSizeLow > ShortcutSizeMax ||
      !ReadWholeFile(record.location, record.bytes) || record.bytes.size() > ShortcutSizeMax)
    return RemovalCapture::Failed;
  record.attributes = info.dwFileAttributes;
  record.created = Ticks(info.ftCreationTime);
  record.accessed = Ticks(info.ftLastAccessTime);
  record.written = Ticks(info.ftLastWriteTime);
  return RemovalCapture::Kept;
}

// Only what a shortcut file may carry; a record asks for no other.
constexpr DWORD kShortcutAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool WriteShortcut(const RemovalRecord& record) {
  const char* path = record.location.c_str();
  // The user agreed to replace what is there, read-only or not.
  const DWORD present = GetFileAttributesA(path);
  if (present != INVALID_FILE_ATTRIBUTES && (present & FILE_ATTRIBUTE_READONLY))
    SetFileAttributesA(path, present & ~FILE_ATTRIBUTE_READONLY);
  if (!WriteFileWhole(path, record.bytes)) {
    if (present != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(path, present);
    return false;
  }
  const FILETIME created = FileTime(record.created), accessed = FileTime(record.accessed),
                 written = FileTime(record.written);
  HANDLE file = CreateFileA(path, FILE_WRITE_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  const bool timed =
      file != INVALID_HANDLE_VALUE && SetFileTime(file, &created, &accessed, &written);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  const DWORD attributes = record.attributes & kShortcutAttributes;
  return timed && SetFileAttributesA(path, attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
}

// One part of a path below a start-up folder: a plain name, nothing the
// system would read as a device, a stream, a wildcard or a step up.
bool IsPlainName(const std::string& part) {
  if (part.empty() || part == "." || part == ".." || part.back() == '.' || part.back() == ' ')
    return false;
  for (unsigned char c : part)
    if (c < 0x20 || std::string("<>:\"/|?*").find(static_cast<char>(c)) != std::string::npos)
      return false;
  return true;
}

// A shortcut Remove would keep, at any depth below a folder the folder scan
// searches.
bool MayRestoreShortcut(const RemovalRecord& record) {
  if (!IsKeptFile(record.location) || record.bytes.size() > ShortcutSizeMax) return false;
  for (const RegistryLocation& candidate : StartupFolderCandidates()) {
    std::string folder = TrimCopy(candidate.value);
    if (folder.empty()) continue;
    if (folder.back() != '\\') folder += '\\';
    if (record.location.size() <= folder.size() ||
        !SameNameIgnoringCase(record.location.substr(0, folder.size()), folder))
      continue;
    bool plain = true;
    const std::string below = record.location.substr(folder.size());
    for (size_t start = 0, end; plain && start <= below.size(); start = end + 1) {
      end = below.find('\\', start);
      if (end == std::string::npos) end = below.size();
      plain = IsPlainName(below.substr(start, end - start));
    }
    if (plain) return true;
  }
  return false;
}

// The text of a shortcut's target, read from its bytes.
std::string ShortcutTargetText(const RemovalRecord& record) {
  const std::string extension = LowerCopy(ExtensionOf(record.location));
  if (extension == "url") {
    const size_t at = record.bytes.find("URL=");
    return at == std::string::npos ? std::string()
                                    : record.bytes.substr(at + 4, record.bytes.find_first_of(
                                                                      "\r\n", at) - at - 4);
  }
  if (extension == "pif") {  // the program's path: 63 bytes from offset 0x24
    const std::string program = record.bytes.size() >= 0x24 ? record.bytes.substr(0x24, 63) : "";
    return program.substr(0, program.find('\0'));
  }
  std::string target;
  const HRESULT initialized = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IStream* stream = SHCreateMemStream(reinterpret_cast<const BYTE*>(record.bytes.data()),
                                      static_cast<UINT>(record.bytes.size()));
  IShellLinkW* link = nullptr;
  if (stream && SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_IShellLinkW, reinterpret_cast<void**>(&link)))) {
    IPersistStream* persist = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&persist)))) {
      std::wstring path(32768, L'\0');
      // Never Resolve: it may search the disk.
      if (SUCCEEDED(persist->Load(stream)) &&
          link->GetPath(&path[0], static_cast<int>(path.size()), nullptr, 0) == S_OK) {
        path.resize(wcslen(path.c_str()));
        NarrowFromWide(path, target);
      }
      persist->Release();
    }
    link->Release();
  }
  if (stream) stream->Release();
  if (SUCCEEDED(initialized)) CoUninitialize();
  return target;
}

// The folder's final path as the scan found it and the file's name below
// it; without them (texts alone), the file's own folder as it resolves now.
bool ListedFilePaths(const std::string& location, const EntryOwner& owner, std::wstring& path,
                     std::wstring& finalPath) {
  path = WideFromCodePage(location);
  if (owner.folderTextLength == 0) {
    const size_t separator = path.find_last_of(L'\\');
    if (separator == std::wstring::npos ||
        !FolderFinalPath(location.substr(0, FindLastCharOf(location, "\\") + 1), finalPath))
      return false;
    finalPath += path.substr(separator);
    return true;
  }
  if (owner.folderFinalPath.empty() || owner.folderTextLength > location.size()) return false;
  finalPath = owner.folderFinalPath + L'\\' + WideFromCodePage(location.substr(owner.folderTextLength));
  return true;
}

void BackupStartupFile(const std::string& name, const std::string& location,
                       BackupPrompts& prompts) {
  std::string path;
  if (!ChooseWritableTarget({nullptr, name, OFN_HIDEREADONLY, AllFilesFilter}, prompts, path,
                            location.c_str()))
    return;
  // The entry may have gone while the dialog was open.
  if (!IsRegularFile(location)) {
    prompts.Warn(EntryNotAccessible, MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  if (!CopyFileChecked(location.c_str(), path.c_str(), true)) prompts.Fail(UnableToSave);
}

class StartupFileActions : public EntrySourceActions {
 public:
  const char* Type() const override { return StartupFileType; }

  bool IsAccessible(const std::string&, const std::string& location, const EntryOwner& owner,
                    bool oneName) const override {
    // A file name the code page cannot carry was listed with '?', which no
    // real path holds.
    if (FindFirstCharOf(location, "?*") != std::string::npos) return false;
    std::wstring path, finalPath;
    return ListedFilePaths(location, owner, path, finalPath) &&
           IsListedFile(path, finalPath, oneName);
  }

  bool IsGone(const std::string&, const std::string& location, const EntryOwner&) const override {
    if (GetFileAttributesA(location.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }

  bool Remove(const std::string&, const std::string& location,
              const EntryOwner& owner) const override {
    std::wstring path, finalPath;
    return ListedFilePaths(location, owner, path, finalPath) &&
           RemoveListedFile(path, finalPath, 1);
  }

  void Backup(const std::string& name, const std::string& location, BackupPrompts& prompts,
              const EntryOwner&) const override {
    BackupStartupFile(name, location, prompts);
  }

  RemovalCapture Capture(RemovalRecord& record) const override { return CaptureShortcut(record); }
  bool MayRestore(const RemovalRecord& record) const override { return MayRestoreShortcut(record); }

  bool SwitchName(const RemovalRecord& record, std::string& name) const override {
    name = record.name;
    return true;
  }

  bool TargetExists(const RemovalRecord& record) const override {
    return GetFileAttributesA(record.location.c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  std::string CommandText(const RemovalRecord& record) const override {
    return ShortcutTargetText(record);
  }

  RestoreResult WriteBack(const RemovalRecord& record) const override {
    return WriteShortcut(record) ? RestoreResult::Restored : RestoreResult::FileNotWritten;
  }
};

}  // namespace

const EntrySourceActions& StartupFolderActions() {
  static const StartupFileActions actions;
  return actions;
}
