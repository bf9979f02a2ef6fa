#include "app/change_watch.h"

#include <algorithm>
#include <atomic>
#include <iterator>

#include "util/string_utils.h"

struct ChangeWatch::Watch {
  std::vector<WatchedKey> keys;  // keys, with the event their notifications set
  HANDLE event = nullptr;
  HANDLE folder = INVALID_HANDLE_VALUE;  // or a folder's change notification
  std::string folderKey;                 // the folder in lower case, '*' when without subtree
  WaitGroup* group = nullptr;
  // Waited on only while armed: a folder's handle stays signalled until it
  // is re-armed.
  std::atomic<bool> armed{false};

  HANDLE Signalled() const { return folder != INVALID_HANDLE_VALUE ? folder : event; }
};

// One thread waiting on up to kMembers watches and on its control event,
// which wakes it to wait again (a watch was re-armed, the poll starts over)
// or to end. The first group also polls, between its waits.
struct ChangeWatch::WaitGroup {
  static constexpr size_t kMembers = MAXIMUM_WAIT_OBJECTS - 1;
  HWND window;
  UINT message;
  const std::atomic<UINT_PTR>* generation;
  size_t first;  // number of the first member
  std::vector<Watch*> members;
  Poll* poll = nullptr;
  HANDLE control = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  std::atomic<bool> ending{false};
  HANDLE thread = nullptr;
};

// Other users' keys and the list of hives, read every two seconds by the
// first group's thread (a thread of its own would cost more than the keys).
struct ChangeWatch::Poll {
  // The watch's own targets, which stay as they are while the poll runs.
  const std::vector<WatchKey>* keys = nullptr;
  const std::vector<std::string>* hives = nullptr;
  // Before the list was read: a later write is a change. FILETIME ticks.
  std::atomic<uint64_t> since{0};
  // The window filled again with the same targets: the poll starts over.
  std::atomic<bool> restart{false};
  std::atomic<bool> cut{false};  // ending, or starting over: what is read is of no use
  // The group's thread alone from here on.
  enum class Stage { kFirstRead, kReading, kDone } stage = Stage::kFirstRead;
  DWORD due = 0;  // GetTickCount() of the next read
  std::vector<PolledKey> resolved;
};

namespace {

constexpr DWORD kNameChanges = REG_NOTIFY_CHANGE_NAME;
constexpr DWORD kValueChanges = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
// A shortcut rewritten in place changes no name.
constexpr DWORD kFolderChanges = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                 FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE;
constexpr DWORD kPollInterval = 2000;
constexpr LPARAM kPolled = -1;  // the message's watch number for a polled change
constexpr DWORD kWaitStack = 64 * 1024;
constexpr size_t kMinKeysPerEvent = 32;
constexpr size_t kMaxKeysPerEvent = 128;

uint64_t FileTimeNow() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

bool Notify(const WatchedKey& watched, HANDLE event) {
  // Not the sub-keys' own contents: Explorer writes below these keys all the time.
  return RegNotifyChangeKeyValue(watched.key, FALSE,
                                 watched.namesOnly ? kNameChanges : kValueChanges, event,
                                 TRUE) == ERROR_SUCCESS;
}

// The same keys in the same order (their texts once read aside).
bool SameLocations(const std::vector<WatchKey>& a, const std::vector<WatchKey>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const WatchKey& x, const WatchKey& y) {
                      return x.root == y.root && x.subKey == y.subKey;
                    });
}

}  // namespace

ChangeWatch::ChangeWatch(UINT message) : message_(message) {}

ChangeWatch::~ChangeWatch() {
  Stop();
}

DWORD WINAPI ChangeWatch::WaitForChanges(void* context) {
  WaitGroup& group = *static_cast<WaitGroup*>(context);
  HANDLE handles[MAXIMUM_WAIT_OBJECTS];
  size_t numbers[MAXIMUM_WAIT_OBJECTS];
  if (group.poll) group.poll->due = GetTickCount() + kPollInterval;
  while (!group.ending) {
    DWORD count = 0;
    handles[count++] = group.control;
    for (size_t i = 0; i < group.members.size(); ++i) {
      if (!group.members[i]->armed) continue;
      numbers[count] = i;
      handles[count++] = group.members[i]->Signalled();
    }
    DWORD timeout = INFINITE;
    if (group.poll && group.poll->stage != Poll::Stage::kDone) {
      // A due time passed wraps round. Read before the wait, so that a
      // stream of changes does not hold the poll back.
      const DWORD left = group.poll->due - GetTickCount();
      if (left == 0 || left > kPollInterval) {
        PollOnce(group);
        continue;
      }
      timeout = left;
    }
    const DWORD woken = WaitForMultipleObjects(count, handles, FALSE, timeout);
    if (woken == WAIT_TIMEOUT) continue;  // the poll is due
    if (woken == WAIT_OBJECT_0) {
      if (group.poll && group.poll->restart.exchange(false)) {
        group.poll->cut = false;
        group.poll->stage = Poll::Stage::kFirstRead;
        group.poll->due = GetTickCount() + kPollInterval;
      }
      continue;
    }
    if (woken >= WAIT_OBJECT_0 + count) return 1;  // a handle went bad: nothing more to see
    const size_t member = numbers[woken - WAIT_OBJECT_0];
    // Disarmed before the generation is read: a Start that finds it armed
    // after a new generation began gets this message.
    group.members[member]->armed = false;
    PostMessageA(group.window, group.message, group.generation->load(), group.first + member);
  }
  return 0;
}

void ChangeWatch::PollOnce(WaitGroup& group) {
  Poll& poll = *group.poll;
  bool changed = false;
  if (poll.stage == Poll::Stage::kFirstRead) {
    // Not at once: the fill reads the same registry. A key written since the
    // fill began tells by its time.
    const uint64_t sinceTicks = poll.since;
    const FILETIME since = {static_cast<DWORD>(sinceTicks), static_cast<DWORD>(sinceTicks >> 32)};
    // A window that closes or fills again meanwhile does not wait for all of it.
    poll.resolved = ResolvePolledKeys(*poll.keys, poll.cut);
    changed = !poll.cut && LoadedHives() != *poll.hives;
    for (const PolledKey& key : poll.resolved)
      changed = changed || CompareFileTime(&key.lastWrite, &since) >= 0;
    poll.stage = Poll::Stage::kReading;
  } else {
    changed = LoadedHives() != *poll.hives;
    for (size_t i = 0; i < poll.resolved.size() && !changed && !poll.cut; ++i)
      changed = PolledKeyChanged(poll.resolved[i]);
  }
  poll.due = GetTickCount() + kPollInterval;
  if (poll.cut) return;  // starting over: the control event says so
  if (!changed) return;
  // The window then reads everything again, and starts the poll over.
  poll.stage = Poll::Stage::kDone;
  std::vector<PolledKey>().swap(poll.resolved);
  PostMessageA(group.window, group.message, group.generation->load(), kPolled);
}

bool ChangeWatch::Arm(Watch& watch, bool fired) {
  if (watch.folder != INVALID_HANDLE_VALUE) {
    if (fired && !FindNextChangeNotification(watch.folder)) return false;
  } else {
    if (!watch.event) return false;
    if (fired) {
      // Which of the keys changed is not known: closing them all ends the
      // notifications still pending, so that each key has one at a time.
      for (WatchedKey& watched : watch.keys) {
        if (watched.key) RegCloseKey(watched.key);
        watched.key = nullptr;
      }
      ResetEvent(watch.event);  // a close may have set it
      for (WatchedKey& watched : watch.keys) ReopenWatchedKey(watched);
    }
    for (const WatchedKey& watched : watch.keys)
      if (watched.key) Notify(watched, watch.event);
  }
  watch.armed = true;
  return true;
}

bool ChangeWatch::KeepWatching(HWND window, const WatchTargets& targets) {
  if (groups_.empty() || window != window_ || fired_ || targets.hives != targets_.hives ||
      targets.folders != targets_.folders || !SameLocations(targets.keys, targets_.keys) ||
      !SameLocations(targets.polledKeys, targets_.polledKeys))
    return false;
  // What was posted so far is of no use now: the fill reads it all.
  ++generation_;
  // A watch that fired meanwhile (its message now dropped), or a thread
  // that gave up, is made again with the rest.
  for (const auto& watch : watches_)
    if (!watch->armed) return false;
  for (const auto& group : groups_)
    if (!group->thread || WaitForSingleObject(group->thread, 0) != WAIT_TIMEOUT) return false;
  // The poll starts over: it waits for the fill before it reads.
  poll_->cut = true;
  poll_->since = FileTimeNow();
  poll_->restart = true;
  SetEvent(groups_.front()->control);
  return true;
}

void ChangeWatch::Start(HWND window, const WatchTargets& targets) {
  if (KeepWatching(window, targets)) return;
  // A folder watched already keeps its handle: a new watch of a subtree costs
  // a walk of it (Wine watches every folder below).
  std::map<std::string, std::pair<HANDLE, bool>> kept;
  StopKeepingFolders(&kept);
  window_ = window;
  ++generation_;
  targets_ = targets;
  fired_ = false;
  std::vector<WatchedKey> keys = OpenWatchedKeys(targets.keys);
  const std::vector<WatchedFolder> folders = ResolveWatchedFolders(targets.folders);
  // Every thread costs memory: the keys share events so that one thread can
  // wait on them and on the folders, 32 to 128 keys to an event (a change
  // re-arms every key of its event, on the window's thread).
  const size_t room =
      folders.size() < WaitGroup::kMembers ? WaitGroup::kMembers - folders.size() : 0;
  const size_t keysPerEvent =
      room ? std::min(kMaxKeysPerEvent, std::max(kMinKeysPerEvent, (keys.size() + room - 1) / room))
           : kMinKeysPerEvent;
  for (size_t first = 0; first < keys.size(); first += keysPerEvent) {
    watches_.push_back(std::make_unique<Watch>());
    Watch& watch = *watches_.back();
    const size_t end = std::min(keys.size(), first + keysPerEvent);
    watch.keys.assign(std::make_move_iterator(keys.begin() + first),
                      std::make_move_iterator(keys.begin() + end));
    watch.event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    Arm(watch, false);
  }
  for (const WatchedFolder& folder : folders) {
    const std::string key = LowerCopy(folder.path) + (folder.subtree ? "" : "*");
    const auto old = kept.find(key);
    const bool fired = old != kept.end() && !old->second.second;
    HANDLE handle = old != kept.end() ? old->second.first : INVALID_HANDLE_VALUE;
    if (old != kept.end()) kept.erase(old);
    if (handle == INVALID_HANDLE_VALUE)
      handle = FindFirstChangeNotificationA(
          folder.path.c_str(), folder.subtree,
          folder.subtree ? kFolderChanges : FILE_NOTIFY_CHANGE_DIR_NAME);
    if (handle == INVALID_HANDLE_VALUE) continue;
    watches_.push_back(std::make_unique<Watch>());
    watches_.back()->folder = handle;
    watches_.back()->folderKey = key;
    // One that fired before the fill asks again: the fill reads what changed.
    if (!Arm(*watches_.back(), fired)) {
      FindCloseChangeNotification(handle);
      watches_.pop_back();
    }
  }
  for (const auto& gone : kept) FindCloseChangeNotification(gone.second.first);

  poll_ = std::make_unique<Poll>();
  poll_->keys = &targets_.polledKeys;
  poll_->hives = &targets_.hives;
  poll_->since = FileTimeNow();

  // The first group polls, even with nothing to wait on.
  for (size_t first = 0; first == 0 || first < watches_.size(); first += WaitGroup::kMembers) {
    auto group = std::make_unique<WaitGroup>();
    group->window = window_;
    group->message = message_;
    group->generation = &generation_;
    group->first = first;
    if (first == 0) group->poll = poll_.get();
    for (size_t i = first; i < watches_.size() && i < first + WaitGroup::kMembers; ++i) {
      group->members.push_back(watches_[i].get());
      watches_[i]->group = group.get();
    }
    if (group->control)
      group->thread = CreateThread(nullptr, kWaitStack, WaitForChanges, group.get(),
                                   STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    groups_.push_back(std::move(group));
  }
}

void ChangeWatch::Stop() {
  StopKeepingFolders(nullptr);
  ++generation_;
}

void ChangeWatch::StopKeepingFolders(std::map<std::string, std::pair<HANDLE, bool>>* kept) {
  // Ends the threads first, so that none waits on a handle once it is closed.
  if (poll_) poll_->cut = true;
  for (auto& group : groups_) {
    group->ending = true;
    if (group->control) SetEvent(group->control);
  }
  for (auto& group : groups_) {
    if (group->thread) {
      WaitForSingleObject(group->thread, INFINITE);
      CloseHandle(group->thread);
    }
    if (group->control) CloseHandle(group->control);
  }
  groups_.clear();
  poll_.reset();
  for (auto& watch : watches_) {
    for (const WatchedKey& watched : watch->keys)
      if (watched.key) RegCloseKey(watched.key);
    if (watch->event) CloseHandle(watch->event);
    if (watch->folder != INVALID_HANDLE_VALUE &&
        !(kept &&
          kept->emplace(watch->folderKey, std::make_pair(watch->folder, watch->armed.load()))
              .second))
      FindCloseChangeNotification(watch->folder);
  }
  watches_.clear();
}

bool ChangeWatch::Rearm(WPARAM wParam, LPARAM lParam) {
  if (wParam != generation_) return false;
  if (lParam == kPolled) return true;  // the poll is over: the refresh starts the next
  if (lParam < 0 || static_cast<size_t>(lParam) >= watches_.size()) return false;
  // What fired may be a key or folder made or gone: the next fill resolves
  // every watch again.
  fired_ = true;
  Watch& watch = *watches_[lParam];
  if (Arm(watch, true) && watch.group->control) SetEvent(watch.group->control);
  return true;
}
