// The write half of "App" rows: a packaged app's start-up task, switched in
// its own key (the row's Location) as Task Manager switches it. The task
// itself belongs to the package: it is never removed, and its manifest is
// never written.
#include <windows.h>

#include <commdlg.h>

#include <algorithm>

#include "actions/registration_file.h"
#include "scan/registry_access.h"
#include "sources/app_task/app_task_scan.h"
#include "sources/entry_source_actions.h"
#include "util/file_utils.h"
#include "util/text_encoding.h"

namespace {

// What a backup takes of a key anyone may write: a task's switch holds three
// small values.
constexpr DWORD kValuesMax = 64;
constexpr DWORD kValueSizeMax = 64 * 1024;
constexpr DWORD kValueNameMax = 16383;

uint64_t Now() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

std::string DwordBytes(DWORD value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

// The key's values, up to the bounds, in name order; a missing key has none. False when the
// key cannot be read or holds more than a switch does.
bool ReadStateValues(HKEY root, const std::string& stateKey, std::vector<StoredValue>& values) {
  HKEY key = nullptr;
  const LONG opened = RegOpenKeyExW(root, WideFromCodePage(stateKey).c_str(), 0,
                                    KEY_QUERY_VALUE, &key);
  if (opened == ERROR_FILE_NOT_FOUND) return true;
  if (opened != ERROR_SUCCESS) return false;
  bool complete = true;
  std::wstring name(kValueNameMax + 1, L'\0');
  for (DWORD index = 0; complete; ++index) {
    DWORD nameLength = kValueNameMax + 1, size = 0, type = REG_NONE;
    const LONG result = RegEnumValueW(key, index, &name[0], &nameLength, nullptr, &type, nullptr,
                                      &size);
    if (result == ERROR_NO_MORE_ITEMS) break;
    StoredValue value;
    value.name.assign(name.c_str(), nameLength);
    complete = result == ERROR_SUCCESS && index < kValuesMax && size <= kValueSizeMax &&
               value.name.find(L'\0') == std::wstring::npos;
    if (!complete) break;
    value.bytes.resize(size);
    complete = RegQueryValueExW(key, value.name.c_str(), nullptr, &value.type,
                                reinterpret_cast<BYTE*>(size ? &value.bytes[0] : nullptr),
                                &size) == ERROR_SUCCESS &&
               size == value.bytes.size();
    values.push_back(std::move(value));
  }
  RegCloseKey(key);
  // In name order, as the registry editor shows them.
  std::sort(values.begin(), values.end(), [](const StoredValue& a, const StoredValue& b) {
    return CompareStringOrdinal(a.name.c_str(), -1, b.name.c_str(), -1, TRUE) == CSTR_LESS_THAN;
  });
  return complete;
}

class PackagedTaskActions : public EntrySourceActions {
 public:
  const char* Type() const override { return AppTaskType; }

  bool IsAccessible(const std::string&, const std::string& location, const EntryOwner&,
                    bool) const override {
    AppTaskKey key;
    return ParseAppTaskLocation(location, key);
  }

  // Gone with its package (or with the task the package no longer declares).
  bool IsGone(const std::string&, const std::string& location,
              const EntryOwner&) const override {
    AppTaskKey key;
    ManifestStartupTask task;
    return ParseAppTaskLocation(location, key) && !FindAppTask(key, task);
  }

  bool Remove(const std::string&, const std::string&, const EntryOwner&) const override {
    return false;
  }
  const char* RemoveRefusal() const override {
    return "This entry goes with its app; it can only be disabled.";
  }

  void Backup(const std::string& name, const std::string& location, BackupPrompts& prompts,
              const EntryOwner&) const override {
    AppTaskKey key;
    std::vector<StoredValue> values;
    const bool readable = ParseAppTaskLocation(location, key) &&
                          ReadStateValues(key.root.root, key.stateKey, values);
    SaveRegistrationFile(name, readable ? KeyRegistrationFileBytes(location, values) : "",
                         prompts);
  }

  bool HasOwnSwitch() const override { return true; }

  LONG SwitchOwn(const std::string&, const std::string& location, const EntryOwner&,
                 bool disable) const override {
    AppTaskKey key;
    ManifestStartupTask task;
    if (!ParseAppTaskLocation(location, key)) return ERROR_INVALID_NAME;
    if (!FindAppTask(key, task)) return ERROR_FILE_NOT_FOUND;
    const AppTaskSwitch now = ReadAppTaskSwitch(key.root.root, key.stateKey);
    const EntryApproval approval =
        AppTaskApproval(task, now, AppTasksOffByPolicy(task.fullTrust), Now());
    if (approval.locked) return ERROR_ACCESS_DENIED;
    if ((approval.state == EntryState::Disabled) == disable) return ERROR_SUCCESS;
    const HKEY root = key.root.root;
    LONG result;
    if (disable) {
      const uint64_t time = Now();
      result = WriteValueBytes(root, key.stateKey, "LastDisabledTime", REG_QWORD,
                               std::string(reinterpret_cast<const char*>(&time), sizeof time));
    } else {
      result = WriteValueBytes(root, key.stateKey, "UserEnabledStartupOnce", REG_DWORD,
                               DwordBytes(1));
    }
    if (result != ERROR_SUCCESS) return result;
    return WriteValueBytes(root, key.stateKey, "State", REG_DWORD, DwordBytes(disable ? 1 : 2));
  }

  // Remove never runs, so nothing is ever kept or written back.
  RemovalCapture Capture(RemovalRecord&) const override { return RemovalCapture::NotKept; }
  bool MayRestore(const RemovalRecord&) const override { return false; }
  bool SwitchName(const RemovalRecord&, std::string&) const override { return false; }
  bool TargetExists(const RemovalRecord&) const override { return false; }
  std::string CommandText(const RemovalRecord&) const override { return std::string(); }
  RestoreResult WriteBack(const RemovalRecord&) const override {
    return RestoreResult::NotAccessible;
  }
};

}  // namespace

const EntrySourceActions& AppTaskActions() {
  static const PackagedTaskActions actions;
  return actions;
}
