// What the list is read from, for watching it change: every key and folder
// the scans read, opened the way a change notification needs them.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "scan/registry_access.h"

// A key the watch follows: its root and sub-key, none of the texts a row
// shows (a large profile has a thousand keys and more).
struct WatchKey {
  HKEY root = nullptr;
  std::string subKey;
};

struct WatchTargets {
  // The Run-type keys, the Shell Folders keys and the start-up switch keys of
  // the machine, its 32-bit view and the current user (its hive under
  // HKEY_USERS too), whether they exist or not: watched by notification.
  std::vector<WatchKey> keys;
  // The same keys of every other hive: polled, since a key held open keeps
  // its hive from unloading when its user logs off.
  std::vector<WatchKey> polledKeys;
  // The hives (sub-keys of HKEY_USERS) there were, in the order listed.
  std::vector<std::string> hives;
  // The start-up folders as the folder scan searches them, repeats included.
  std::vector<std::string> folders;
};

WatchTargets CollectWatchTargets();

// A key held open for notification (KEY_NOTIFY). For a key that does not
// exist it is the nearest parent that does, and only a change of its
// sub-key names matters: the key's creation.
struct WatchedKey {
  HKEY root = nullptr;
  std::string subKey;  // the key held open
  bool namesOnly = false;
  HKEY key = nullptr;
};

// Opens each key once; the caller closes them. A key that cannot be opened
// for another reason than its absence (access denied, say), or whose only
// existing parent is the root, is left out.
std::vector<WatchedKey> OpenWatchedKeys(const std::vector<WatchKey>& keys);

// Closes the key and opens it again, which ends a notification still
// pending on it. False, with no key held, when it no longer opens.
bool ReopenWatchedKey(WatchedKey& watched);

// The key a poll reads (KEY_QUERY_VALUE, open only while read): for a key that
// does not exist, its nearest existing parent, whose last-write time changes
// when the key is made.
// A key polled for the location it was resolved from: the location's own
// sub-key, or the part of it that names its nearest parent there is. Points
// into the locations, which must outlast it (a large profile polls a
// thousand keys and more).
struct PolledKey {
  HKEY root = nullptr;
  const std::string* subKey = nullptr;
  size_t length = 0;  // of *subKey
  FILETIME lastWrite = {};

  std::string Path() const { return subKey->substr(0, length); }
};

// Each key once; a key that cannot be read, or whose only existing parent is
// the root, is left out. Once `stop` is set, what is resolved so far.
std::vector<PolledKey> ResolvePolledKeys(const std::vector<WatchKey>& keys,
                                         const std::atomic<bool>& stop);

// Opens the key, reads its last-write time and closes it: true when that
// differs from the one kept (or the key went), which is then brought up to date.
bool PolledKeyChanged(PolledKey& polled);

// The names of the hives now (the sub-keys of HKEY_USERS), in the order listed.
std::vector<std::string> LoadedHives();

// A folder to watch: an existing start-up folder with everything below it,
// and its parent, for its own name (a folder put in its place); or, for one
// that does not exist, its nearest existing parent, for names.
struct WatchedFolder {
  std::string path;
  bool subtree = true;
};

// Each folder once, letter case and the final separator aside; an empty
// text, or one without an existing parent, is left out.
std::vector<WatchedFolder> ResolveWatchedFolders(const std::vector<std::string>& folders);
