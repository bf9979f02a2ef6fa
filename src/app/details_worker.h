// Reads the list rows' details on a thread of its own, so the rows show at
// once and their publishers and images follow, row by row.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "app/entry_list.h"

// Posted to the window when rows have been read since the last one was
// taken; wParam: the number of the work they belong to.
constexpr UINT WM_ENTRY_DETAILS = WM_APP + 19;

class DetailsWorker {
 public:
  DetailsWorker() = default;
  ~DetailsWorker();  // Stop()
  DetailsWorker(const DetailsWorker&) = delete;
  DetailsWorker& operator=(const DetailsWorker&) = delete;

  // Cancels any earlier work and reads the batch's rows in order for `window`.
  void Start(HWND window, DetailsBatch batch);
  // What is still read is thrown away; a thread still inside a file finishes
  // it on its own.
  void Cancel();
  // Cancel(), then waits (briefly) for the threads to end.
  void Stop();
  // On WM_ENTRY_DETAILS: gives the rows read since the last call to `list`
  // and redraws them. True once every row has its details (the work is then
  // let go); false for a message of cancelled or finished work.
  bool Deliver(WPARAM number, CEntryList& list);

  struct Work;  // one Start's rows, shared with the thread that reads them

 private:
  unsigned started_ = 0;
  std::shared_ptr<Work> work_;
  std::vector<HANDLE> threads_;
};
