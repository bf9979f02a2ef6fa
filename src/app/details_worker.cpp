#include "app/details_worker.h"

#include <process.h>

#include <atomic>
#include <string>
#include <unordered_map>
#include <utility>

struct DetailsWorker::Work {
  HWND window;
  unsigned number;
  DetailsBatch batch;
  // One per request, made as it is read; the window takes those below `done`.
  std::vector<std::shared_ptr<const EntryDetails>> results;
  std::vector<char> imageIsLocation;  // (not bits: the window reads the rows that are done)
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

// Equal details, once: most start-up files are their own image and differ
// from one another only in that path, which their rows hold anyway.
class DetailsPool {
 public:
  std::shared_ptr<const EntryDetails> Share(EntryDetails details) {
    std::string key;
    for (const std::string* text : {&details.imagePath, &details.signer, &details.company,
                                    &details.description, &details.version, &details.user})
      key.append(*text).push_back('\0');
    key.push_back(static_cast<char>('0' + static_cast<int>(details.signature)));
    key.push_back(details.imageMissing ? 'm' : '-');
    std::shared_ptr<const EntryDetails>& shared = pool_[key];
    if (!shared) shared = std::make_shared<const EntryDetails>(std::move(details));
    return shared;
  }

 private:
  std::unordered_map<std::string, std::shared_ptr<const EntryDetails>> pool_;
};

// The thread keeps its own reference: the work outlives a cancelling window.
unsigned __stdcall ReadDetails(void* parameter) {
  std::unique_ptr<std::shared_ptr<DetailsWorker::Work>> owned(
      static_cast<std::shared_ptr<DetailsWorker::Work>*>(parameter));
  DetailsWorker::Work& work = **owned;
  EntryDetailsReader reader;
  DetailsPool pool;
  for (size_t row = 0; row < work.batch.requests.size() && !work.cancelled; ++row) {
    const DetailsRequest& request = work.batch.requests[row];
    const char* location = RowText(request.texts, 3);
    EntryDetails details =
        reader.Read(RowText(request.texts, 0), RowText(request.texts, 2), location, *request.owner);
    const bool own = details.imagePath == location;
    if (own) details.imagePath.clear();
    work.imageIsLocation[row] = own;
    work.results[row] = pool.Share(std::move(details));
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

void DetailsWorker::Start(HWND window, DetailsBatch batch) {
  Cancel();
  work_ = std::make_shared<Work>();
  work_->window = window;
  work_->number = ++started_;
  work_->results.resize(batch.requests.size());
  work_->imageIsLocation.resize(batch.requests.size());
  work_->batch = std::move(batch);
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
    list.SetRowDetails(static_cast<int>(work.delivered), std::move(work.results[work.delivered]),
                       work.imageIsLocation[work.delivered] != 0);
  // The rows are numbered in the order of the scan; a sorted list shows
  // them elsewhere.
  if (done > first && list.SortColumn() >= 0)
    InvalidateRect(list, nullptr, FALSE);
  else if (done > first)
    list.SendMessage(LVM_REDRAWITEMS, first, done - 1);
  if (work.delivered < work.batch.requests.size()) return false;
  work_.reset();  // what it held is the rows' now
  return true;
}
