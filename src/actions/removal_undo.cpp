#include "actions/removal_undo.h"

#include <windows.h>

#include <objidl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "actions/entry_actions.h"
#include "scan/registry_access.h"
#include "scan/registry_scan.h"
#include "scan/startup_approved.h"
#include "scan/startup_folder_scan.h"
#include "util/file_utils.h"
#include "util/string_utils.h"
#include "util/text_encoding.h"

namespace {

enum class Capture { Kept, NotKept, Failed };

// Shortcuts are kept; programs, scripts and documents are wiped so that they
// cannot come back.
bool IsKeptFile(const std::string& path) {
  const std::string extension = LowerCopy(ExtensionOf(path));
  return extension == "lnk" || extension == "url" || extension == "pif";
}

// The whole value, whatever its size.
LONG ReadWholeValue(HKEY root, const std::string& subKey, const std::string& name, DWORD& type,
                    std::string& bytes) {
  DWORD size = 0;
  const LONG result = QueryValueInfo(root, subKey, name, nullptr, &size);
  return result != ERROR_SUCCESS ? result : ReadValueBytes(root, subKey, name, size, type, bytes);
}

uint64_t Ticks(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME FileTime(uint64_t ticks) {
  return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

Capture CaptureValue(RemovalRecord& record) {
  RegistryLocation key;
  if (!ParseRegistryPath(record.location, key)) return Capture::NotKept;
  if (record.valueName.empty()) record.valueName = WideFromCodePage(record.name);
  const LONG result =
      ReadValueExact(key.root, key.subKey, record.valueName, record.valueType, record.bytes);
  if (result == ERROR_FILE_NOT_FOUND) return Capture::NotKept;  // nothing left to remove
  if (result != ERROR_SUCCESS) return Capture::Failed;
  record.view = key.root == HKEY_LOCAL_MACHINE && MachineHas32BitRegistryView() ? 64 : 0;
  return Capture::Kept;
}

Capture CaptureShortcut(RemovalRecord& record) {
  WIN32_FILE_ATTRIBUTE_DATA info;
  if (!IsKeptFile(record.location) ||
      !GetFileAttributesExA(record.location.c_str(), GetFileExInfoStandard, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return Capture::NotKept;  // RemoveEntry leaves these alone too
  // Too big to be kept is too big to be removed: nothing goes without its undo.
  if (info.nFileSizeHigh || info.nFileSizeLow > ShortcutSizeMax ||
      !ReadWholeFile(record.location, record.bytes) || record.bytes.size() > ShortcutSizeMax)
    return Capture::Failed;
  record.attributes = info.dwFileAttributes;
  record.created = Ticks(info.ftCreationTime);
  record.accessed = Ticks(info.ftLastAccessTime);
  record.written = Ticks(info.ftLastWriteTime);
  return Capture::Kept;
}

Capture CaptureEntry(RemovalRecord& record) {
  Capture capture = Capture::NotKept;
  if (record.type == RegistryEntryType)
    capture = CaptureValue(record);
  else if (record.type == StartupFileType)
    capture = CaptureShortcut(record);
  if (capture != Capture::Kept) return capture;
  ApprovalSlot slot;
  if (!FindEntryApprovalSlot(record.type, record.name, record.location, slot)) return capture;
  const LONG result =
      ReadWholeValue(slot.root, slot.subKey, slot.valueName, record.switchType, record.switchBytes);
  if (result == ERROR_FILE_NOT_FOUND) return capture;  // enabled, as Windows has never switched it
  if (result != ERROR_SUCCESS) return Capture::Failed;
  record.switchKey = RegistryRootName(slot.root) + "\\" + slot.subKey;
  record.switchName = slot.valueName;
  return capture;
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

// A registry record: a string value of a key the registry scan reads, in the
// view the scan reads it in.
bool MayRestoreValue(const RemovalRecord& record) {
  RegistryLocation key;
  if ((record.valueType != REG_SZ && record.valueType != REG_EXPAND_SZ) ||
      !ParseRegistryPath(record.location, key))
    return false;
  const DWORD view = key.root == HKEY_LOCAL_MACHINE && MachineHas32BitRegistryView() ? 64 : 0;
  if (record.view != view) return false;
  for (const RegistryLocation& run : RunKeyLocations())
    if (run.root == key.root && SameNameIgnoringCase(run.subKey, key.subKey)) return true;
  return false;
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

// A start-up record: a shortcut Remove would keep, at any depth below a
// folder the folder scan searches.
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

// The slot of the entry the record names, as Windows would name it now; the
// record's own key and name for it are never used.
bool RestoredSlot(const RemovalRecord& record, ApprovalSlot& slot) {
  std::string name = record.name;
  if (record.type == RegistryEntryType &&
      (!NarrowFromWide(record.valueName, name) || name.find('\0') != std::string::npos))
    return false;
  return FindEntryApprovalSlot(record.type, name, record.location, slot);
}

bool HasSwitch(const RemovalRecord& record) {
  return record.switchType != REG_NONE || !record.switchBytes.empty();
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

}  // namespace

RemovalResult RemoveEntryKept(const std::string& type, const std::string& name,
                              const std::string& location, RemovalStore& store,
                              RemovalRecord& kept, const EntryOwner& owner) {
  kept = RemovalRecord();
  std::string recordId;
  if (!IsEntryAccessible(type, name, location, owner)) return RemovalResult::NotRemoved;
  RemovalRecord& record = kept;
  // The exact name, where the row's text cannot give it back.
  record.valueName = owner.exactName;
  record.type = type;
  record.name = name;
  record.location = location;
  switch (CaptureEntry(record)) {
    case Capture::Failed:
      return RemovalResult::NotSaved;
    case Capture::Kept:
      if (!store.Keep(record)) return RemovalResult::NotSaved;
      recordId = record.id;
      break;
    case Capture::NotKept:
      break;
  }
  if (RemoveEntry(type, name, location, owner)) return RemovalResult::Removed;
  // Never an undo for an entry that is still there.
  if (!recordId.empty()) store.Drop(recordId);
  kept.id.clear();
  return RemovalResult::NotRemoved;
}

bool MayRestore(const RemovalRecord& record) {
  if (record.type == RegistryEntryType) {
    if (!MayRestoreValue(record)) return false;
  } else if (record.type != StartupFileType || !MayRestoreShortcut(record)) {
    return false;
  }
  ApprovalSlot slot;
  return !HasSwitch(record) || (record.switchType == REG_BINARY &&
                                record.switchBytes.size() == ApprovalSize &&
                                RestoredSlot(record, slot));
}

bool RemovalTargetExists(const RemovalRecord& record) {
  if (record.type != RegistryEntryType)
    return GetFileAttributesA(record.location.c_str()) != INVALID_FILE_ATTRIBUTES;
  RegistryLocation key;
  DWORD type = REG_NONE;
  std::string bytes;
  return ParseRegistryPath(record.location, key) &&
         ReadValueExact(key.root, key.subKey, record.valueName, type, bytes) == ERROR_SUCCESS;
}

std::string RemovalCommandText(const RemovalRecord& record) {
  if (record.type != RegistryEntryType) return ShortcutTargetText(record);
  std::wstring text(record.bytes.size() / 2, L'\0');
  record.bytes.copy(reinterpret_cast<char*>(&text[0]), text.size() * 2);
  std::string narrow;
  NarrowFromWide(text.substr(0, text.find(L'\0')), narrow);
  return narrow;
}

RestoreResult RestoreRemoval(const RemovalRecord& record) {
  if (!MayRestore(record)) return RestoreResult::NotAccessible;
  ApprovalSlot slot;
  const bool switched = HasSwitch(record) && RestoredSlot(record, slot);
  DWORD oldType = REG_NONE;
  std::string oldBytes;
  LONG oldRead = ERROR_FILE_NOT_FOUND;
  if (switched) {
    oldRead = ReadWholeValue(slot.root, slot.subKey, slot.valueName, oldType, oldBytes);
    if ((oldRead != ERROR_SUCCESS && oldRead != ERROR_FILE_NOT_FOUND) ||
        WriteValueBytes(slot.root, slot.subKey, slot.valueName, record.switchType,
                        record.switchBytes) != ERROR_SUCCESS)
      return RestoreResult::RegistryNotWritten;
  }
  RestoreResult result = RestoreResult::Restored;
  RegistryLocation key;
  if (record.type == RegistryEntryType) {
    if (!ParseRegistryPath(record.location, key) ||
        WriteValueExact(key.root, key.subKey, record.valueName, record.valueType, record.bytes) !=
            ERROR_SUCCESS)
      result = RestoreResult::RegistryNotWritten;
  } else if (!WriteShortcut(record)) {
    result = RestoreResult::FileNotWritten;
  }
  // No switch is left behind for an entry that did not come back.
  if (result != RestoreResult::Restored && switched) {
    if (oldRead == ERROR_SUCCESS)
      WriteValueBytes(slot.root, slot.subKey, slot.valueName, oldType, oldBytes);
    else
      DeleteValue(slot.root, slot.subKey, slot.valueName);
  }
  return result;
}
