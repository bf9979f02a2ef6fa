#include "scan/watch_targets.h"

#include <set>
#include <utility>

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

bool IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

WatchTargets CollectWatchTargets() {
  WatchTargets targets;
  for (const EntrySource* source : EntrySources()) {
    source->AddWatchedKeys(targets.keys);
    source->AddWatchedFolders(targets.folders);
  }
  return targets;
}

std::vector<WatchedKey> OpenWatchedKeys(const std::vector<RegistryLocation>& keys) {
  std::vector<WatchedKey> opened;
  std::set<std::pair<HKEY, std::string>> seen;  // by lower-case path, '*' marking names only
  for (const RegistryLocation& location : keys) {
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
    resolved.push_back({std::move(path), subtree});
  }
  return resolved;
}
