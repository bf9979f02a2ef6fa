#include "actions/removal_undo.h"

#include <windows.h>

#include "actions/entry_actions.h"
#include "scan/registry_access.h"
#include "scan/startup_approved.h"
#include "util/file_utils.h"
#include "util/string_utils.h"

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
  const LONG result =
      ReadWholeValue(key.root, key.subKey, record.name, record.valueType, record.bytes);
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
  if (!ReadWholeFile(record.location, record.bytes)) return Capture::Failed;
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

LONG WriteValue(const std::string& keyPath, const std::string& name, DWORD type,
                const std::string& bytes) {
  RegistryLocation key;
  if (!ParseRegistryPath(keyPath, key)) return ERROR_INVALID_PARAMETER;
  return WriteValueBytes(key.root, key.subKey, name, type, bytes);
}

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
  return timed &&
         SetFileAttributesA(path, record.attributes ? record.attributes : FILE_ATTRIBUTE_NORMAL);
}

}  // namespace

RemovalResult RemoveEntryKept(const std::string& type, const std::string& name,
                              const std::string& location, RemovalStore& store,
                              std::string& recordId, const EntryOwner& owner) {
  recordId.clear();
  if (!IsEntryAccessible(type, name, location, owner)) return RemovalResult::NotRemoved;
  if (type == RegistryEntryType && !owner.exactName.empty()) return RemovalResult::NotSaved;
  RemovalRecord record;
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
  recordId.clear();
  return RemovalResult::NotRemoved;
}

bool RemovalTargetExists(const RemovalRecord& record) {
  if (record.type != RegistryEntryType)
    return GetFileAttributesA(record.location.c_str()) != INVALID_FILE_ATTRIBUTES;
  RegistryLocation key;
  return ParseRegistryPath(record.location, key) &&
         QueryValueInfo(key.root, key.subKey, record.name, nullptr, nullptr) == ERROR_SUCCESS;
}

RestoreResult RestoreRemoval(const RemovalRecord& record) {
  if (record.type == RegistryEntryType) {
    if (WriteValue(record.location, record.name, record.valueType, record.bytes) != ERROR_SUCCESS)
      return RestoreResult::RegistryNotWritten;
  } else if (!WriteShortcut(record)) {
    return RestoreResult::FileNotWritten;
  }
  if (!record.switchKey.empty() &&
      WriteValue(record.switchKey, record.switchName, record.switchType, record.switchBytes) !=
          ERROR_SUCCESS)
    return RestoreResult::RegistryNotWritten;
  return RestoreResult::Restored;
}
