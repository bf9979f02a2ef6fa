#include "sources/app_task/app_task_scan.h"

#include <shlwapi.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <set>

#include "details/user_environment.h"
#include "util/string_utils.h"
#include "util/text_encoding.h"

const char AppPackagesKey[] =
    "Local Settings\\Software\\Microsoft\\Windows\\CurrentVersion\\AppModel\\Repository\\Packages";
const char AppStateKeysKey[] =
    "Local Settings\\Software\\Microsoft\\Windows\\CurrentVersion\\AppModel\\SystemAppData";

namespace {

const char kPolicyKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const char kClassesSuffix[] = "_classes";
// Startup tasks came with Windows 10 (2015): an earlier time is no time of
// a switch, nor is one more than a day ahead of the clock.
constexpr uint64_t kEarliestSwitchTime = 130645440000000000ull;  // 2015-01-01
constexpr uint64_t kTicksPerDay = 864000000000ull;
// The longest registry key name.
constexpr size_t kKeyNameMax = 255;

class HeldKey {
 public:
  HeldKey(HKEY root, const std::wstring& subKey) {
    if (RegOpenKeyExW(root, subKey.c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS) key_ = nullptr;
  }
  ~HeldKey() {
    if (key_) RegCloseKey(key_);
  }
  HeldKey(const HeldKey&) = delete;
  HeldKey& operator=(const HeldKey&) = delete;
  HKEY get() const { return key_; }

  // A value of at most `sizeMax` bytes; false for a larger or missing one.
  // One call for the usual value, which fits a first guess.
  bool Read(const wchar_t* name, DWORD sizeMax, DWORD& type, std::string& data) const {
    if (!key_) return false;
    data.resize(std::min<DWORD>(sizeMax, 1024));
    for (int attempt = 0; attempt < 4; ++attempt) {
      DWORD size = static_cast<DWORD>(data.size());
      const LONG result =
          RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size);
      if (result == ERROR_SUCCESS) {
        data.resize(size);
        return true;
      }
      if (result != ERROR_MORE_DATA || size > sizeMax) return false;
      data.resize(size);  // it grew meanwhile: again, at its new size
    }
    return false;
  }

  bool ReadText(const wchar_t* name, std::wstring& text) const {
    DWORD type = REG_NONE;
    std::string data;
    if (!Read(name, 65534, type, data) || type != REG_SZ) return false;
    text.assign(reinterpret_cast<const wchar_t*>(data.data()), data.size() / 2);
    text.resize(wcsnlen(text.c_str(), text.size()));
    return true;
  }

 private:
  HKEY key_ = nullptr;
};

// The direct sub-key names of a key, in order of their upper-case forms.
struct UpperLess {
  bool operator()(const std::wstring& a, const std::wstring& b) const {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_LESS_THAN;
  }
};
using WideNames = std::set<std::wstring, UpperLess>;

void EnumSubKeys(HKEY key, WideNames& names) {
  wchar_t name[kKeyNameMax + 1];
  for (DWORD index = 0;; ++index) {
    DWORD length = kKeyNameMax + 1;
    const LONG result =
        RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_MORE_DATA) continue;
    if (result != ERROR_SUCCESS) break;
    names.emplace(name, length);
  }
}

// Name_Version_Arch_ResourceId_PublisherId: the Name and the family name
// (Name_PublisherId); false for any other shape.
bool SplitFullName(const std::wstring& fullName, std::wstring& name, std::wstring& family) {
  std::vector<std::wstring> parts;
  for (size_t start = 0;;) {
    const size_t end = fullName.find(L'_', start);
    parts.push_back(fullName.substr(start, end - start));
    if (end == std::wstring::npos) break;
    start = end + 1;
  }
  if (parts.size() != 5 || parts[0].empty() || parts[4].empty()) return false;
  name = parts[0];
  family = parts[0] + L'_' + parts[4];
  return true;
}

// A task ID names one key below the family's: never a path.
bool IsKeyName(const std::wstring& name) {
  if (name.empty() || name.size() > kKeyNameMax) return false;
  for (wchar_t c : name)
    if (c < 0x20 || c == L'\\') return false;
  return true;
}

std::string RootPath(const AppTaskRoot& root) {
  return RegistryRootName(root.root) + '\\' + root.prefix;
}

uint64_t Now() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

bool StartsWithIgnoringCase(const std::wstring& text, const wchar_t* start) {
  const size_t length = wcslen(start);
  return text.size() >= length &&
         CompareStringOrdinal(text.c_str(), static_cast<int>(length), start,
                              static_cast<int>(length), TRUE) == CSTR_EQUAL;
}

// Resolved names, kept across refreshes: resolving one loads the package's
// resources.
std::mutex namesLock;
std::map<std::wstring, std::wstring> resolvedNames;

}  // namespace

std::vector<AppTaskRoot> AppTaskRoots() {
  std::vector<AppTaskRoot> roots(1);
  roots[0].root = HKEY_CURRENT_USER;
  roots[0].prefix = "Software\\Classes\\";
  roots[0].owner.kind = EntryOwner::Kind::CurrentUser;
  // The current user's classes hive is HKEY_CURRENT_USER\Software\Classes again.
  const std::string own = LowerCopy(CurrentUserSid()) + kClassesSuffix;
  NameSet hives;
  EnumSubKeyNames(HKEY_USERS, std::string(), hives);
  const size_t suffix = sizeof kClassesSuffix - 1;
  for (const std::string& hive : hives) {
    const std::string lower = LowerCopy(hive);
    if (lower.size() <= suffix || lower.compare(lower.size() - suffix, suffix, kClassesSuffix) ||
        lower == own)
      continue;
    AppTaskRoot root;
    root.root = HKEY_USERS;
    root.prefix = hive + '\\';
    root.owner.kind = EntryOwner::Kind::Hive;
    root.owner.name = hive.substr(0, hive.size() - suffix);
    roots.push_back(std::move(root));
  }
  return roots;
}

void ForEachAppTask(const AppTaskRoot& root,
                    const std::function<void(const AppTaskFound&)>& take) {
  const HeldKey packages(root.root, WideFromCodePage(root.prefix + AppPackagesKey));
  if (!packages.get()) return;
  WideNames fullNames;
  EnumSubKeys(packages.get(), fullNames);
  std::set<std::wstring, UpperLess> seen;
  const std::string statePrefix = root.prefix + AppStateKeysKey + '\\';
  const std::string rootPath = RegistryRootName(root.root) + '\\';
  AppTaskFound found;
  for (const std::wstring& fullName : fullNames) {
    std::wstring family;
    if (!SplitFullName(fullName, found.packageName, family)) continue;
    const HeldKey package(packages.get(), fullName);
    if (!package.ReadText(L"PackageRootFolder", found.folder)) continue;
    const std::shared_ptr<const ManifestStartupTasks> tasks =
        ReadManifestStartupTasks(found.folder);
    found.fullName = fullName;
    for (const ManifestStartupTask& task : *tasks) {
      std::string tail;
      if (!IsKeyName(task.taskId) || !NarrowFromWide(family + L'\\' + task.taskId, tail) ||
          !seen.insert(family + L'\\' + task.taskId).second)
        continue;
      found.task = &task;
      found.stateKey = statePrefix + tail;
      found.location = rootPath + found.stateKey;
      take(found);
    }
  }
}

AppTaskSwitch ReadAppTaskSwitch(HKEY root, const std::string& stateKey) {
  AppTaskSwitch taskSwitch;
  const HeldKey key(root, WideFromCodePage(stateKey));
  if (!key.get()) return taskSwitch;
  taskSwitch.keyExists = true;
  DWORD type = REG_NONE;
  std::string data;
  if (key.Read(L"State", sizeof(DWORD), type, data) && type == REG_DWORD && data.size() == 4) {
    taskSwitch.hasState = true;
    memcpy(&taskSwitch.state, data.data(), 4);
  }
  if (key.Read(L"LastDisabledTime", sizeof(uint64_t), type, data) &&
      (type == REG_QWORD || type == REG_BINARY) && data.size() == 8)
    memcpy(&taskSwitch.lastDisabled, data.data(), 8);
  return taskSwitch;
}

bool AppTasksOffByPolicy(bool fullTrust) {
  DWORD type = REG_NONE;
  std::string data;
  return ReadValueBytes(HKEY_LOCAL_MACHINE, kPolicyKey,
                        fullTrust ? "EnableFullTrustStartupTasks" : "EnableUwpStartupTasks",
                        sizeof(DWORD), type, data) == ERROR_SUCCESS &&
         type == REG_DWORD && data == std::string(4, '\0');
}

EntryApproval AppTaskApproval(const ManifestStartupTask& task, const AppTaskSwitch& taskSwitch,
                              bool offByPolicy, uint64_t now) {
  EntryApproval approval;
  const bool enabled = taskSwitch.hasState ? taskSwitch.state == 2 || taskSwitch.state == 4
                                           : task.fullTrust && task.enabled;
  approval.state = enabled ? EntryState::Enabled : EntryState::Disabled;
  approval.locked =
      offByPolicy || (taskSwitch.hasState && (taskSwitch.state == 3 || taskSwitch.state == 4));
  if (!enabled && taskSwitch.lastDisabled >= kEarliestSwitchTime &&
      taskSwitch.lastDisabled <= now + kTicksPerDay)
    approval.disabledSince = taskSwitch.lastDisabled;
  return approval;
}

std::wstring AppTaskName(const AppTaskFound& found, bool currentUser) {
  const std::wstring& written = found.task->displayName;
  if (written.empty()) return found.packageName;
  if (!StartsWithIgnoringCase(written, L"ms-resource:")) return written;
  // A resource's name holds none of the characters the indirect form gives
  // a meaning, and a file ("@path,-id") is never what it asks for.
  std::wstring reference = written.substr(12);
  if (reference.empty() || reference.find_first_of(L"@,?{}") != std::wstring::npos ||
      found.folder.find_first_of(L",?{}") != std::wstring::npos)
    return found.packageName;
  if (reference.compare(0, 2, L"//") != 0)
    reference = L"//" + found.packageName +
                (reference[0] == L'/' ? reference : L"/resources/" + reference);
  // Only the current user's packages resolve by their full name; another
  // user's through the package's resource file.
  const std::wstring indirect =
      L"@{" + (currentUser ? found.fullName : found.folder + L"\\resources.pri") +
      L"?ms-resource:" + reference + L"}";
  {
    std::lock_guard<std::mutex> hold(namesLock);
    const auto known = resolvedNames.find(indirect);
    if (known != resolvedNames.end())
      return known->second.empty() ? found.packageName : known->second;
  }
  wchar_t text[1024] = L"";
  std::wstring resolved;
  if (SUCCEEDED(SHLoadIndirectString(indirect.c_str(), text, 1024, nullptr)) && text[0] &&
      indirect != text)
    resolved = text;
  std::lock_guard<std::mutex> hold(namesLock);
  if (resolvedNames.size() > 4096) resolvedNames.clear();
  resolvedNames[indirect] = resolved;
  return resolved.empty() ? found.packageName : resolved;
}

void ScanAppTasks(RowSink& sink) {
  const bool offByPolicy[] = {AppTasksOffByPolicy(false), AppTasksOffByPolicy(true)};
  const uint64_t now = Now();
  for (const AppTaskRoot& root : AppTaskRoots()) {
    EntryOwner owner = root.owner;
    ForEachAppTask(root, [&](const AppTaskFound& found) {
      const ManifestStartupTask& task = *found.task;
      const EntryApproval approval =
          AppTaskApproval(task, ReadAppTaskSwitch(root.root, found.stateKey),
                          offByPolicy[task.fullTrust], now);
      std::string name, command;
      ShownTextFromWide(AppTaskName(found, root.root == HKEY_CURRENT_USER), name);
      ShownTextFromWide(task.parameters.empty() ? task.executable
                                                : task.executable + L' ' + task.parameters,
                        command);
      owner.folderFinalPath = found.folder;
      sink.AddEntryRow(AppTaskType, name.c_str(), command.c_str(), found.location.c_str(),
                       RowImage(AppTaskImage, approval), approval, owner);
    });
  }
  ForgetUnusedManifests();
}

bool ParseAppTaskLocation(const std::string& location, AppTaskKey& key) {
  for (const AppTaskRoot& root : AppTaskRoots()) {
    const std::string start = RootPath(root) + AppStateKeysKey + '\\';
    if (location.size() <= start.size() ||
        !SameNameIgnoringCase(location.substr(0, start.size()), start))
      continue;
    const std::string tail = location.substr(start.size());
    const size_t separator = tail.find('\\');
    if (separator == 0 || separator == std::string::npos || separator + 1 == tail.size() ||
        tail.find('\\', separator + 1) != std::string::npos)
      return false;
    key.root = root;
    key.stateKey = root.prefix + AppStateKeysKey + '\\' + tail;
    key.family = tail.substr(0, separator);
    key.taskId = tail.substr(separator + 1);
    return true;
  }
  return false;
}

bool FindAppTask(const AppTaskKey& key, ManifestStartupTask& task, std::wstring* folder) {
  bool found = false;
  ForEachAppTask(key.root, [&](const AppTaskFound& candidate) {
    if (!found && SameNameIgnoringCase(candidate.stateKey, key.stateKey)) {
      task = *candidate.task;
      if (folder) *folder = candidate.folder;
      found = true;
    }
  });
  return found;
}
