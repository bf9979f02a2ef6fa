// Change notifications for the keys and folders the list is read from. Each
// change posts a message to a window; the window re-arms that one watch and
// decides when to refresh. The thread pool waits on the handles, so there
// may be any number of them.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "scan/watch_targets.h"

class ChangeWatch {
 public:
  // A change posts `message` to the window Start names, with the watch's
  // number in wParam and lParam.
  explicit ChangeWatch(UINT message);
  ~ChangeWatch();
  ChangeWatch(const ChangeWatch&) = delete;
  ChangeWatch& operator=(const ChangeWatch&) = delete;

  // Watches what is there now, in place of what was watched before.
  void Start(HWND window, const WatchTargets& targets);
  // Watches nothing; no message is posted once it returns.
  void Stop();
  bool IsWatching() const { return !watches_.empty(); }
  // Handles the posted message: arms that watch again for the next change.
  // False for a message of a watch stopped since it was posted.
  bool Rearm(WPARAM wParam, LPARAM lParam);

 private:
  struct Watch;
  static void CALLBACK Changed(void* context, BOOLEAN timedOut);
  void Arm(Watch& watch);

  HWND window_ = nullptr;
  UINT message_;
  UINT_PTR generation_ = 0;  // tells a stopped watch's late message from a live one's
  std::vector<std::unique_ptr<Watch>> watches_;
};
