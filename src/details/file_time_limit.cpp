#include "details/file_time_limit.h"

#include <process.h>

namespace {

// How often the limit is looked at; a cancelled thread may start another
// call, which the next look cancels too.
constexpr DWORD kLookInterval = 50;

}  // namespace

FileTimeLimit::FileTimeLimit(HANDLE thread) {
  DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &thread_, 0, FALSE,
                  DUPLICATE_SAME_ACCESS);
  stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  watcher_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, Watch, this, 0, nullptr));
}

FileTimeLimit::~FileTimeLimit() {
  if (stop_) SetEvent(stop_);
  if (watcher_) {
    WaitForSingleObject(watcher_, INFINITE);
    CloseHandle(watcher_);
  }
  if (stop_) CloseHandle(stop_);
  if (thread_) CloseHandle(thread_);
}

unsigned __stdcall FileTimeLimit::Watch(void* parameter) {
  FileTimeLimit& self = *static_cast<FileTimeLimit*>(parameter);
  while (WaitForSingleObject(self.stop_, kLookInterval) == WAIT_TIMEOUT) {
    const DWORD started = self.started_.load();
    const bool over = started && GetTickCount() - started > self.limit_.load();
    if (over) self.expired_ = true;
    if ((over || self.cancelAll_) && self.thread_) CancelSynchronousIo(self.thread_);
  }
  return 0;
}

void FileTimeLimit::Begin(DWORD limit) {
  expired_ = false;
  limit_ = limit;
  started_ = GetTickCount() | 1;  // never 0, which means no file
}

bool FileTimeLimit::End() {
  started_ = 0;
  return expired_.exchange(false);
}

void FileTimeLimit::CancelAll() {
  cancelAll_ = true;
  if (thread_) CancelSynchronousIo(thread_);
}

bool FileTimeLimit::Overdue(DWORD grace) const {
  const DWORD started = started_.load();
  return started && GetTickCount() - started > limit_.load() + grace;
}

bool OnRemoteVolume(const std::string& path) {
  if (path.size() >= 2 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/'))
    return true;
  if (path.size() < 2 || path[1] != ':') return false;
  const char root[] = {path[0], ':', '\\', '\0'};
  return GetDriveTypeA(root) == DRIVE_REMOTE;
}
