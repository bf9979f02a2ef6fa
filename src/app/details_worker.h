// Reads the list rows' details on a thread of its own, so the rows show at
// once and their publishers and images follow, row by row.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <vector>

#include "app/entry_list.h"

// Posted to the window for each row read, and once more at the end with row
// -1. wParam: the work's number; lParam: a DeliveredDetails* that the window
// takes (DetailsWorker::Take).
constexpr UINT WM_ENTRY_DETAILS = WM_APP + 19;

struct DeliveredDetails {
  int row;
  EntryDetails details;
};

class DetailsWorker {
 public:
  DetailsWorker() = default;
  ~DetailsWorker();  // Stop()
  DetailsWorker(const DetailsWorker&) = delete;
  DetailsWorker& operator=(const DetailsWorker&) = delete;

  // Cancels any earlier work and reads `requests` in order for `window`.
  void Start(HWND window, std::vector<DetailsRequest> requests);
  // What is still read is thrown away; threads still inside a file finish
  // it on their own.
  void Cancel();
  // Cancel(), waits (briefly) for the threads to end, and frees what they had
  // posted that was not taken.
  void Stop();
  // The details of a WM_ENTRY_DETAILS message; null when it belongs to
  // cancelled work.
  std::unique_ptr<DeliveredDetails> Take(WPARAM wParam, LPARAM lParam) const;

  struct Work;  // one Start's rows, shared with the thread that reads them

 private:
  HWND window_ = nullptr;
  unsigned started_ = 0;
  std::shared_ptr<Work> work_;
  std::vector<HANDLE> threads_;
};
