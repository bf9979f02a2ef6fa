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
// which wakes it to wait again (a watch was re-armed) or to end.
struct ChangeWatch::WaitGroup {
  static constexpr size_t kMembers = MAXIMUM_WAIT_OBJECTS - 1;
  HWND window;
  UINT message;
  const std::atomic<UINT_PTR>* generation;
  size_t first;  // number of the first member
  std::vector<Watch*> members;
  HANDLE control = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  std::atomic<bool> ending{false};
  HANDLE thread = nullptr;
};

// The thread that polls other users' keys and the list of hives.
struct ChangeWatch::Poll {
  HWND window;
  UINT message;
  const std::atomic<UINT_PTR>* generation;
  // The watch's own targets, which stay as they are while the poll runs.
  const std::vector<WatchKey>* keys = nullptr;
  const std::vector<std::string>* hives = nullptr;
  // Before the list was read: a later write is a change. FILETIME ticks.
  std::atomic<uint64_t> since{0};
  HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  // The window filled again with the same targets: the poll starts over
  // (a thread of its own per fill would cost more than the fill's keys).
  HANDLE restart = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  std::atomic<bool> cut{false};  // ending, or starting over: what is read is of no use
  HANDLE thread = nullptr;
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
  while (!group.ending) {
    DWORD count = 0;
    handles[count++] = group.control;
    for (size_t i = 0; i < group.members.size(); ++i) {
      if (!group.members[i]->armed) continue;
      numbers[count] = i;
      handles[count++] = group.members[i]->Signalled();
    }
    const DWORD woken = WaitForMultipleObjects(count, handles, FALSE, INFINITE);
    if (woken == WAIT_OBJECT_0) continue;
    if (woken >= WAIT_OBJECT_0 + count) return 1;  // a handle went bad: nothing more to see
    const size_t member = numbers[woken - WAIT_OBJECT_0];
    // Disarmed before the generation is read: a Start that finds it armed
    // after a new generation began gets this message.
    group.members[member]->armed = false;
    PostMessageA(group.window, group.message, group.generation->load(), group.first + member);
  }
  return 0;
}

DWORD WINAPI ChangeWatch::PollForChanges(void* context) {
  Poll& poll = *static_cast<Poll*>(context);
  const HANDLE events[2] = {poll.stop, poll.restart};
  constexpr DWORD kRestarted = WAIT_OBJECT_0 + 1;
  const auto wait = [&](DWORD milliseconds) {
    return WaitForMultipleObjects(2, events, FALSE, milliseconds);
  };
  for (DWORD woken = kRestarted;; woken = wait(INFINITE)) {
    // Stopped, or done until the window fills again.
    if (woken != kRestarted) return 0;
    poll.cut = false;
    // Not while the list is read (it would wait on the same registry): a key
    // written since the fill began tells by its time.
    woken = wait(kPollInterval);
    if (woken == kRestarted) {
      SetEvent(poll.restart);  // taken here: the next round starts over
      continue;
    }
    if (woken != WAIT_TIMEOUT) return 0;
    const uint64_t sinceTicks = poll.since;
    const FILETIME since = {static_cast<DWORD>(sinceTicks), static_cast<DWORD>(sinceTicks >> 32)};
    // A window that closes or fills again meanwhile does not wait for all of it.
    std::vector<PolledKey> keys = ResolvePolledKeys(*poll.keys, poll.cut);
    bool changed = !poll.cut && LoadedHives() != *poll.hives;
    for (const PolledKey& key : keys)
      changed = changed || CompareFileTime(&key.lastWrite, &since) >= 0;
    while (!changed && !poll.cut && (woken = wait(kPollInterval)) == WAIT_TIMEOUT) {
      changed = LoadedHives() != *poll.hives;
      for (size_t i = 0; i < keys.size() && !changed && !poll.cut; ++i)
        changed = PolledKeyChanged(keys[i]);
    }
    if (woken == kRestarted) SetEvent(poll.restart);
    // The window then reads everything again, and starts the poll over.
    if (changed && !poll.cut)
      PostMessageA(poll.window, poll.message, poll.generation->load(), kPolled);
  }
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
  if (!poll_ || window != window_ || fired_ || targets.hives != targets_.hives ||
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
  if (poll_->thread && poll_->restart && WaitForSingleObject(poll_->thread, 0) == WAIT_TIMEOUT) {
    poll_->cut = true;
    poll_->since = FileTimeNow();
    SetEvent(poll_->restart);
  } else {
    StopPoll();
    StartPoll();
  }
  return true;
}

void ChangeWatch::StopPoll() {
  if (!poll_) return;
  poll_->cut = true;
  if (poll_->stop) SetEvent(poll_->stop);
  if (poll_->thread) {
    WaitForSingleObject(poll_->thread, INFINITE);
    CloseHandle(poll_->thread);
  }
  if (poll_->stop) CloseHandle(poll_->stop);
  if (poll_->restart) CloseHandle(poll_->restart);
  poll_.reset();
}

void ChangeWatch::StartPoll() {
  poll_ = std::make_unique<Poll>();
  poll_->window = window_;
  poll_->message = message_;
  poll_->generation = &generation_;
  poll_->keys = &targets_.polledKeys;
  poll_->hives = &targets_.hives;
  poll_->since = FileTimeNow();
  if (poll_->stop)
    poll_->thread = CreateThread(nullptr, kWaitStack, PollForChanges, poll_.get(),
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
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

  StartPoll();

  for (size_t first = 0; first < watches_.size(); first += WaitGroup::kMembers) {
    auto group = std::make_unique<WaitGroup>();
    group->window = window_;
    group->message = message_;
    group->generation = &generation_;
    group->first = first;
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
  StopPoll();
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
