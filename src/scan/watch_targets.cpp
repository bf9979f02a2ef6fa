#include "scan/watch_targets.h"

#include <algorithm>
#include <set>
#include <utility>

#include "details/user_environment.h"
#include "sources/entry_source.h"
#include "util/string_utils.h"

namespace {

// The text up to its last backslash; empty when it has none.
std::string ParentOf(const std::string& path) {
  const size_t separator = path.find_last_of('\\');
  return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

// A folder's parent; a drive's root has none.
std::string ParentFolderOf(const std::string& folder) {
  if (folder.size() <= 3 && folder.back() == '\\') return std::string();
  std::string parent = ParentOf(folder);
  if (parent.size() == 2 && parent[1] == ':') parent += '\\';  // "C:" alone is the current folder
  return parent;
}

LONG ReadLastWriteTime(PolledKey& polled) {
  HKEY key = nullptr;
  const bool whole = polled.length == polled.subKey->size();
  const std::string parent = whole ? std::string() : polled.Path();
  LONG result = RegOpenKeyExA(polled.root, whole ? polled.subKey->c_str() : parent.c_str(), 0,
                              MachineViewAccess(polled.root, KEY_QUERY_VALUE), &key);
  if (result != ERROR_SUCCESS) return result;
  result = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr, nullptr, &polled.lastWrite);
  RegCloseKey(key);
  return result;
}

bool IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

WatchTargets CollectWatchTargets() {
  WatchTargets targets;
  targets.hives = LoadedHives();
  std::vector<RegistryLocation> keys;
  for (const EntrySource* source : EntrySources()) {
    source->AddWatchedKeys(keys);
    source->AddWatchedFolders(targets.folders);
  }
  // The current user's hive (and its classes) is held open anyway; other
  // users' keys are polled, so that their hives can unload at logoff.
  const std::string own = LowerCopy(CurrentUserSid());
  auto isOtherUsers = [&](const RegistryLocation& location) {
    if (location.root != HKEY_USERS) return false;
    const std::string hive = LowerCopy(location.subKey.substr(0, location.subKey.find('\\')));
    return own.empty() || (hive != own && hive != own + "_classes");
  };
  const size_t polled = std::count_if(keys.begin(), keys.end(), isOtherUsers);
  targets.polledKeys.reserve(polled);
  targets.keys.reserve(keys.size() - polled);
  for (RegistryLocation& location : keys)
    (isOtherUsers(location) ? targets.polledKeys : targets.keys)
        .push_back({location.root, std::move(location.subKey)});
  return targets;
}

std::vector<WatchedKey> OpenWatchedKeys(const std::vector<WatchKey>& keys) {
  std::vector<WatchedKey> opened;
  std::set<std::pair<HKEY, std::string>> seen;  // by lower-case path, '*' marking names only
  for (const WatchKey& location : keys) {
    std::string subKey = location.subKey;
    bool namesOnly = false;
    HKEY key = nullptr;
    LONG result;
    // Only the absence of a key sends the watch up to its parent.
    while ((result = RegOpenKeyExA(location.root, subKey.c_str(), 0,
                                   MachineViewAccess(location.root, KEY_NOTIFY), &key)) ==
           ERROR_FILE_NOT_FOUND) {
      subKey = ParentOf(subKey);
      namesOnly = true;
      if (subKey.empty()) break;
    }
    if (result != ERROR_SUCCESS) continue;
    if (subKey.empty() ||
        !seen.emplace(location.root, LowerCopy(subKey) + (namesOnly ? "*" : "")).second) {
      RegCloseKey(key);
      continue;
    }
    opened.push_back({location.root, subKey, namesOnly, key});
  }
  return opened;
}

std::vector<PolledKey> ResolvePolledKeys(const std::vector<WatchKey>& keys,
                                         const std::atomic<bool>& stop) {
  std::vector<PolledKey> resolved;
  std::set<std::pair<HKEY, std::string>> seen;
  for (const WatchKey& location : keys) {
    if (stop) break;
    PolledKey polled{location.root, &location.subKey, location.subKey.size(), {}};
    // Only the absence of a key sends the poll up to its parent.
    LONG result;
    while ((result = ReadLastWriteTime(polled)) == ERROR_FILE_NOT_FOUND && polled.length) {
      const size_t separator = location.subKey.find_last_of('\\', polled.length - 1);
      polled.length = separator == std::string::npos ? 0 : separator;
    }
    if (result != ERROR_SUCCESS || !polled.length ||
        !seen.emplace(polled.root, LowerCopy(polled.Path())).second)
      continue;
    resolved.push_back(std::move(polled));
  }
  return resolved;
}

bool PolledKeyChanged(PolledKey& polled) {
  const FILETIME before = polled.lastWrite;
  if (ReadLastWriteTime(polled) != ERROR_SUCCESS) polled.lastWrite = {};
  return CompareFileTime(&before, &polled.lastWrite) != 0;
}

std::vector<std::string> LoadedHives() {
  NameSet names;
  EnumSubKeyNames(HKEY_USERS, std::string(), names);
  return std::vector<std::string>(names.begin(), names.end());
}

bool ReopenWatchedKey(WatchedKey& watched) {
  if (watched.key) RegCloseKey(watched.key);
  watched.key = nullptr;
  return RegOpenKeyExA(watched.root, watched.subKey.c_str(), 0,
                       MachineViewAccess(watched.root, KEY_NOTIFY), &watched.key) == ERROR_SUCCESS;
}

std::vector<WatchedFolder> ResolveWatchedFolders(const std::vector<std::string>& folders) {
  std::vector<WatchedFolder> resolved;
  std::set<std::string> seen;
  for (const std::string& text : folders) {
    std::string path = ReplaceChars(TrimCopy(text).c_str(), '\\', "/");
    while (path.size() > 3 && path.back() == '\\') path.pop_back();
    bool subtree = true;
    while (!path.empty() && !IsFolder(path)) {
      path = ParentFolderOf(path);
      subtree = false;
    }
    if (path.empty() || !seen.insert(LowerCopy(path) + (subtree ? "" : "*")).second) continue;
    const std::string parent = subtree ? ParentFolderOf(path) : std::string();
    resolved.push_back({std::move(path), subtree});
    if (!parent.empty() && seen.insert(LowerCopy(parent) + "*").second)
      resolved.push_back({parent, false});
  }
  return resolved;
}
