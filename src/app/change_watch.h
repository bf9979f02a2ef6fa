// Change notifications for the keys and folders the list is read from. Each
// change posts a message to a window; the window re-arms that one watch and
// decides when to refresh. A watch is a folder, or a few keys that share one
// event; a wait takes at most 64 handles, so the watches are split over as
// many waiting threads as they need (a thread costs far more than a key).
// Other users' hives are not held open: the first of those threads polls
// their keys every two seconds, and the list of hives.
#pragma once

#include <windows.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "scan/watch_targets.h"

class ChangeWatch {
 public:
  // A change posts `message` to the window Start names.
  explicit ChangeWatch(UINT message);
  ~ChangeWatch();
  ChangeWatch(const ChangeWatch&) = delete;
  ChangeWatch& operator=(const ChangeWatch&) = delete;

  // Watches what is there now, in place of what was watched before. When
  // that is what was watched before and nothing fired since, the keys,
  // folders and threads stay as they are (a refresh of an unchanged profile
  // costs little); only messages posted before this call are dropped.
  void Start(HWND window, const WatchTargets& targets);
  // Watches nothing; no message is posted once it returns.
  void Stop();
  // Handles the posted message: arms that watch again for the next change.
  // False for a message of a watch stopped since it was posted.
  bool Rearm(WPARAM wParam, LPARAM lParam);

 private:
  struct Watch;
  struct WaitGroup;
  struct Poll;
  static DWORD WINAPI WaitForChanges(void* group);
  // Reads the polled keys once, on the first group's thread, when the poll is due.
  static void PollOnce(WaitGroup& group);
  // Stop(), but the folders' handles go into `kept` by folder, with whether
  // each was armed, rather than being closed.
  void StopKeepingFolders(std::map<std::string, std::pair<HANDLE, bool>>* kept);
  // Arms a watch Start made, or again one that `fired`.
  bool Arm(Watch& watch, bool fired);
  // Start() for the targets watched now, when nothing has to be made again.
  bool KeepWatching(HWND window, const WatchTargets& targets);

  HWND window_ = nullptr;
  UINT message_;
  // Tells a message posted before the last Start or Stop from a live one's;
  // the waiting threads read it as they post.
  std::atomic<UINT_PTR> generation_{0};
  WatchTargets targets_;  // what the watches were made for
  bool fired_ = false;    // a watch fired since they were made
  std::vector<std::unique_ptr<Watch>> watches_;
  std::vector<std::unique_ptr<WaitGroup>> groups_;
  std::unique_ptr<Poll> poll_;
};
