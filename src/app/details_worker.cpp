#include "app/details_worker.h"

#include <process.h>

#include <atomic>
#include <string>
#include <unordered_set>
#include <utility>

struct DetailsWorker::Work {
  HWND window;
  unsigned number;
  DetailsBatch batch;  // the thread's alone once it runs
  size_t total = 0;    // rows in the batch
  std::unique_ptr<FileTimeLimit> limit;  // watches the thread; set before it runs
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
// from one another only in that path, which their rows hold anyway. Looked
// up by the details themselves, not by a key made of their texts: a list of
// thousands of programs would hold all those keys while it is read.
class DetailsPool {
 public:
  std::shared_ptr<const EntryDetails> Share(EntryDetails details) {
    const std::shared_ptr<const EntryDetails> borrowed(std::shared_ptr<const EntryDetails>(),
                                                       &details);
    const auto found = pool_.find(borrowed);
    if (found != pool_.end()) return *found;
    return *pool_.insert(std::make_shared<const EntryDetails>(std::move(details))).first;
  }

 private:
  // Searched with a pointer that borrows the candidate (it owns nothing):
  // lookup by another type than the key's is C++20.
  struct Hash {
    size_t operator()(const std::shared_ptr<const EntryDetails>& details) const {
      std::hash<std::string> text;
      size_t hash = static_cast<size_t>(details->signature) * 31 + details->imageMissing;
      for (const std::string* field : {&details->imagePath, &details->signer, &details->company,
                                      &details->description, &details->version, &details->user})
        hash = hash * 1099511628211ull ^ text(*field);
      return hash;
    }
  };
  struct Equal {
    bool operator()(const std::shared_ptr<const EntryDetails>& a,
                    const std::shared_ptr<const EntryDetails>& b) const {
      return *a == *b;
    }
  };
  std::unordered_set<std::shared_ptr<const EntryDetails>, Hash, Equal> pool_;
};

// The thread keeps its own reference: the work outlives a cancelling window.
unsigned __stdcall ReadDetails(void* parameter) {
  std::unique_ptr<std::shared_ptr<DetailsWorker::Work>> owned(
      static_cast<std::shared_ptr<DetailsWorker::Work>*>(parameter));
  DetailsWorker::Work& work = **owned;
  {
    EntryDetailsReader reader;
    reader.LimitTime(work.limit.get());
    DetailsPool pool;
    std::string location;
    for (size_t row = 0; row < work.total && !work.cancelled; ++row) {
      const EntryRecord& record = work.batch[row];
      LocationText(record, location);
      EntryDetails details = reader.Read(RowText(record.texts, 0), RowText(record.texts, 2),
                                         location, *record.owner);
      const bool own = details.imagePath == location;
      if (own) details.imagePath.clear();
      work.imageIsLocation[row] = own;
      work.results[row] = pool.Share(std::move(details));
      work.done.store(row + 1, std::memory_order_release);
      Notify(work);
    }
  }
  // The rows' texts go with the list now: a refresh made meanwhile does not
  // hold two lists' rows until the window hears of the end.
  work.batch = DetailsBatch();
  if (work.cancelled) {
    // Nobody takes these any more (the window forgot this work when it
    // cancelled it). Taken whole, the window let go of them before it could
    // cancel.
    std::vector<std::shared_ptr<const EntryDetails>>().swap(work.results);
  } else {
    Notify(work);  // also when there are no rows at all
  }
  PostMessageA(work.window, WM_ENTRY_DETAILS, work.number, 1);
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
  work_->total = batch.count;
  work_->results.resize(work_->total);
  work_->imageIsLocation.resize(work_->total);
  work_->batch = std::move(batch);
  if (!thread_) Launch();
}

void DetailsWorker::Launch() {
  auto* reference = new std::shared_ptr<Work>(work_);
  const uintptr_t started =
      _beginthreadex(nullptr, 0, ReadDetails, reference, CREATE_SUSPENDED, nullptr);
  if (!started) {
    delete reference;
    return;
  }
  thread_ = reinterpret_cast<HANDLE>(started);
  running_ = work_;
  running_->limit = std::make_unique<FileTimeLimit>(thread_);
  // The next refresh, and the window, come first.
  SetThreadPriority(thread_, THREAD_PRIORITY_BELOW_NORMAL);
  ResumeThread(thread_);
}

void DetailsWorker::Cancel() {
  if (running_ && !running_->cancelled.exchange(true)) {
    running_->limit->CancelAll();
    // Cancelled, it only has to end, and let go of the rows it read for:
    // below normal on a busy machine, it would hold them through the refresh.
    SetThreadPriority(thread_, THREAD_PRIORITY_NORMAL);
  }
  work_.reset();  // its messages are now of no use
}

void DetailsWorker::Stop() {
  Cancel();
  if (!thread_) return;
  WaitForSingleObject(thread_, 1000);
  CloseHandle(thread_);
  thread_ = nullptr;
  running_.reset();
}

bool DetailsWorker::Deliver(WPARAM number, LPARAM ended, CEntryList& list) {
  if (ended) {
    if (!running_ || number != running_->number) return false;
    CloseHandle(thread_);
    thread_ = nullptr;
    running_.reset();
    if (work_ && work_->number != number) Launch();  // the work that waited
    return false;
  }
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
  if (work.delivered < work.total) return false;
  // What it held is the rows' now; the thread ends on its own. (It no longer
  // touches the results, and one cancelled from now on finds them gone.)
  std::vector<std::shared_ptr<const EntryDetails>>().swap(work.results);
  std::vector<char>().swap(work.imageIsLocation);
  work_.reset();
  return true;
}
