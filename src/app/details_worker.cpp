#include "app/details_worker.h"

#include <process.h>

#include <atomic>
#include <utility>

struct DetailsWorker::Work {
  HWND window;
  unsigned number;
  std::vector<DetailsRequest> requests;
  // One per request, made as it is read; the window takes those below `done`.
  std::vector<std::unique_ptr<EntryDetails>> results;
  std::atomic<size_t> done{0};
  std::atomic<bool> posted{false};  // a message is on its way and will take what is done
  std::atomic<bool> cancelled{false};
  size_t delivered = 0;  // the window's side only
};

namespace {

// One message for as many rows as are read before the window takes them:
// a refresh of thousands of rows is not thousands of messages.
void Notify(DetailsWorker::Work& work) {
  if (!work.posted.exchange(true)) PostMessageA(work.window, WM_ENTRY_DETAILS, work.number, 0);
}

// The thread keeps its own reference: the work outlives a cancelling window.
unsigned __stdcall ReadDetails(void* parameter) {
  std::unique_ptr<std::shared_ptr<DetailsWorker::Work>> owned(
      static_cast<std::shared_ptr<DetailsWorker::Work>*>(parameter));
  DetailsWorker::Work& work = **owned;
  EntryDetailsReader reader;
  for (size_t row = 0; row < work.requests.size() && !work.cancelled; ++row) {
    const DetailsRequest& request = work.requests[row];
    work.results[row].reset(new EntryDetails(
        reader.Read(request.type, request.command, request.location, request.owner)));
    work.done.store(row + 1, std::memory_order_release);
    Notify(work);
  }
  if (!work.cancelled) Notify(work);  // also when there are no rows at all
  return 0;
}

}  // namespace

DetailsWorker::~DetailsWorker() {
  Stop();
}

void DetailsWorker::Start(HWND window, std::vector<DetailsRequest> requests) {
  Cancel();
  work_ = std::make_shared<Work>();
  work_->window = window;
  work_->number = ++started_;
  work_->results.resize(requests.size());
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
  work_.reset();  // its messages are now of no use
}

void DetailsWorker::Stop() {
  Cancel();
  // One file's signature is the longest a thread can be busy.
  for (HANDLE thread : threads_) {
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
  }
  threads_.clear();
}

bool DetailsWorker::Deliver(WPARAM number, CEntryList& list) {
  if (!work_ || number != work_->number) return false;
  Work& work = *work_;
  // Cleared first: rows read from now on get a message of their own.
  work.posted = false;
  const size_t done = work.done.load(std::memory_order_acquire);
  const size_t first = work.delivered;
  for (; work.delivered < done; ++work.delivered)
    list.SetRowDetails(static_cast<int>(work.delivered), std::move(work.results[work.delivered]));
  if (done > first) list.SendMessage(LVM_REDRAWITEMS, first, done - 1);
  return work.delivered == work.requests.size();
}
