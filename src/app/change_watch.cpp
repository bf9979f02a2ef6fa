#include "app/change_watch.h"

struct ChangeWatch::Watch {
  HWND window;
  UINT message;
  WPARAM generation;
  LPARAM index;
  HKEY key = nullptr;  // a key, with the event its notification sets
  HANDLE event = nullptr;
  DWORD filter = 0;
  HANDLE folder = INVALID_HANDLE_VALUE;  // or a folder's change notification
  HANDLE wait = nullptr;
};

namespace {

constexpr DWORD kNameChanges = REG_NOTIFY_CHANGE_NAME;
constexpr DWORD kValueChanges = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
constexpr DWORD kFolderChanges = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME;

}  // namespace

void CALLBACK ChangeWatch::Changed(void* context, BOOLEAN) {
  const Watch* watch = static_cast<const Watch*>(context);
  PostMessageA(watch->window, watch->message, watch->generation, watch->index);
}

void ChangeWatch::Arm(Watch& watch) {
  HANDLE signalled = watch.event;
  if (watch.key) {
    // Not watching the sub-keys' own contents: Explorer writes below these
    // keys all the time.
    if (RegNotifyChangeKeyValue(watch.key, FALSE, watch.filter, watch.event, TRUE) != ERROR_SUCCESS)
      return;
  } else {
    signalled = watch.folder;
  }
  // Once only: a folder's handle stays signalled until it is re-armed.
  if (!RegisterWaitForSingleObject(&watch.wait, signalled, Changed, &watch, INFINITE,
                                   WT_EXECUTEONLYONCE))
    watch.wait = nullptr;
}

void ChangeWatch::Start(HWND window, const WatchTargets& targets) {
  Stop();
  window_ = window;
  ++generation_;
  auto add = [&]() -> Watch& {
    watches_.push_back(std::make_unique<Watch>(
        Watch{window_, message_, generation_, static_cast<LPARAM>(watches_.size())}));
    return *watches_.back();
  };
  for (const WatchedKey& key : OpenWatchedKeys(targets.keys)) {
    Watch& watch = add();
    watch.key = key.key;
    watch.filter = key.namesOnly ? kNameChanges : kValueChanges;
    watch.event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (watch.event) Arm(watch);
  }
  for (const WatchedFolder& folder : ResolveWatchedFolders(targets.folders)) {
    HANDLE handle =
        FindFirstChangeNotificationA(folder.path.c_str(), folder.subtree,
                                     folder.subtree ? kFolderChanges : FILE_NOTIFY_CHANGE_DIR_NAME);
    if (handle == INVALID_HANDLE_VALUE) continue;
    add().folder = handle;
    Arm(*watches_.back());
  }
}

ChangeWatch::ChangeWatch(UINT message) : message_(message) {}

ChangeWatch::~ChangeWatch() {
  Stop();
}

void ChangeWatch::Stop() {
  // Waits for callbacks under way, so none reads a watch after it is freed.
  for (auto& watch : watches_)
    if (watch->wait) UnregisterWaitEx(watch->wait, INVALID_HANDLE_VALUE);
  for (auto& watch : watches_) {
    if (watch->key) RegCloseKey(watch->key);
    if (watch->event) CloseHandle(watch->event);
    if (watch->folder != INVALID_HANDLE_VALUE) FindCloseChangeNotification(watch->folder);
  }
  watches_.clear();
}

bool ChangeWatch::Rearm(WPARAM wParam, LPARAM lParam) {
  if (wParam != generation_ || lParam < 0 || static_cast<size_t>(lParam) >= watches_.size())
    return false;
  Watch& watch = *watches_[lParam];
  if (watch.wait) UnregisterWait(watch.wait);  // it ran once and is done
  watch.wait = nullptr;
  if (watch.folder != INVALID_HANDLE_VALUE && !FindNextChangeNotification(watch.folder))
    return true;
  Arm(watch);
  return true;
}
