// Reads the list rows' details on a thread of its own, so the rows show at
// once and their publishers and images follow, row by row.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "app/entry_list.h"

// Posted to the window when rows have been read since the last one was
// taken (lParam 0), and when the thread of a work ends (lParam 1); wParam:
// the number of the work.
constexpr UINT WM_ENTRY_DETAILS = WM_APP + 19;

class DetailsWorker {
 public:
  DetailsWorker() = default;
  ~DetailsWorker();  // Stop()
  DetailsWorker(const DetailsWorker&) = delete;
  DetailsWorker& operator=(const DetailsWorker&) = delete;

  // Cancels any earlier work and reads the batch's rows in order for
  // `window`, on one thread at a time, below normal priority: while the
  // thread of cancelled work is still inside a file, this work waits for it
  // to end.
  void Start(HWND window, DetailsBatch batch);
  // What is still read is thrown away, and the file being read is cancelled.
  void Cancel();
  // Cancel(), then waits up to a second for the thread; one that does not
  // end by then is left behind.
  void Stop();
  // On WM_ENTRY_DETAILS: gives the rows read since the last call to `list`
  // and redraws them, or starts the waiting work once the thread before it
  // has ended. True once every row has its details (the work is then let
  // go); false for any other message.
  bool Deliver(WPARAM number, LPARAM ended, CEntryList& list);

  struct Work;  // one Start's rows, shared with the thread that reads them

 private:
  void Launch();
  unsigned started_ = 0;
  std::shared_ptr<Work> work_;     // the rows the window takes
  std::shared_ptr<Work> running_;  // the work of the one thread (maybe cancelled)
  HANDLE thread_ = nullptr;
};
