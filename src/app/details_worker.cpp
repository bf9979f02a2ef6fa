#include "app/details_worker.h"

#include <process.h>

#include <utility>

struct DetailsWorker::Work {
  HWND window;
  unsigned number;
  std::vector<DetailsRequest> requests;
  std::atomic<bool> cancelled{false};
};

namespace {

// The thread keeps its own reference: the work outlives a cancelling window.
unsigned __stdcall ReadDetails(void* parameter) {
  std::unique_ptr<std::shared_ptr<DetailsWorker::Work>> owned(
      static_cast<std::shared_ptr<DetailsWorker::Work>*>(parameter));
  auto& work = **owned;
  EntryDetailsReader reader;
  const int count = static_cast<int>(work.requests.size());
  for (int row = 0; row <= count && !work.cancelled; ++row) {
    auto* delivered = new DeliveredDetails{row < count ? row : -1, EntryDetails()};
    if (row < count) {
      const DetailsRequest& request = work.requests[static_cast<size_t>(row)];
      delivered->details = reader.Read(request.type, request.command, request.location, request.owner);
    }
    if (work.cancelled ||
        !PostMessageA(work.window, WM_ENTRY_DETAILS, work.number,
                      reinterpret_cast<LPARAM>(delivered))) {
      delete delivered;
      break;
    }
  }
  return 0;
}

}  // namespace

DetailsWorker::~DetailsWorker() {
  Stop();
}

void DetailsWorker::Start(HWND window, std::vector<DetailsRequest> requests) {
  Cancel();
  window_ = window;
  work_ = std::make_shared<Work>();
  work_->window = window;
  work_->number = ++started_;
  work_->requests = std::move(requests);
  auto* reference = new std::shared_ptr<Work>(work_);
  const uintptr_t thread = _beginthreadex(nullptr, 0, ReadDetails, reference, 0, nullptr);
  if (!thread) {
    delete reference;
    return;
  }
  // Threads of cancelled work that have ended need no waiting for.
  for (size_t i = 0; i < threads_.size();) {
    if (WaitForSingleObject(threads_[i], 0) == WAIT_OBJECT_0) {
      CloseHandle(threads_[i]);
      threads_.erase(threads_.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
  threads_.push_back(reinterpret_cast<HANDLE>(thread));
}

void DetailsWorker::Cancel() {
  if (work_) work_->cancelled = true;
  work_.reset();  // what it already posted is of no use now
}

void DetailsWorker::Stop() {
  Cancel();
  // One file's signature is the longest a thread can be busy.
  for (HANDLE thread : threads_) {
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
  }
  threads_.clear();
  MSG message;
  if (window_)
    while (PeekMessageA(&message, window_, WM_ENTRY_DETAILS, WM_ENTRY_DETAILS, PM_REMOVE))
      delete reinterpret_cast<DeliveredDetails*>(message.lParam);
}

std::unique_ptr<DeliveredDetails> DetailsWorker::Take(WPARAM wParam, LPARAM lParam) const {
  std::unique_ptr<DeliveredDetails> delivered(reinterpret_cast<DeliveredDetails*>(lParam));
  if (!work_ || wParam != work_->number) delivered.reset();
  return delivered;
}
