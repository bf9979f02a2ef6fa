#include "support/blocking_open.h"

namespace {

BlockingOpen* active = nullptr;

bool Marked(std::string path) {
  for (char& c : path) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  if (path.find(active->marker_) == std::string::npos) return false;
  if (GetCurrentThreadId() == active->watched) ++active->byWatched;
  return true;
}

HANDLE WINAPI CreateFileWStandIn(LPCWSTR path, DWORD access, DWORD share,
                                 LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                 HANDLE model) {
  BlockingOpen& self = *active;
  char narrow[MAX_PATH * 2] = "";
  if (path) WideCharToMultiByte(CP_ACP, 0, path, -1, narrow, sizeof narrow, nullptr, nullptr);
  if (!Marked(narrow))
    return reinterpret_cast<decltype(&CreateFileWStandIn)>(self.createFile_->original())(
        path, access, share, security, disposition, flags, model);
  ++self.blocked;
  self.blockedThread_ = GetCurrentThreadId();
  SetEvent(self.entered_);
  HANDLE ends[] = {self.released_, self.cancel_};
  if (WaitForMultipleObjects(2, ends, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) ++self.cancelled;
  ResetEvent(self.cancel_);
  self.blockedThread_ = 0;
  SetLastError(ERROR_OPERATION_ABORTED);
  return INVALID_HANDLE_VALUE;
}

DWORD WINAPI GetFileAttributesAStandIn(LPCSTR path) {
  if (path) Marked(path);
  return reinterpret_cast<decltype(&GetFileAttributesAStandIn)>(active->attributes_->original())(
      path);
}

BOOL WINAPI CancelSynchronousIoStandIn(HANDLE thread) {
  const DWORD blocked = active->blockedThread_;
  if (active->heedsCancel_ && blocked && GetThreadId(thread) == blocked) SetEvent(active->cancel_);
  return reinterpret_cast<decltype(&CancelSynchronousIoStandIn)>(active->cancelIo_->original())(
      thread);
}

}  // namespace

BlockingOpen::BlockingOpen(const std::string& marker, bool heedsCancel)
    : marker_(marker), heedsCancel_(heedsCancel) {
  entered_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  released_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  cancel_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  active = this;
  createFile_ = patches_.Add("CreateFileW", reinterpret_cast<void*>(CreateFileWStandIn));
  attributes_ = patches_.Add("GetFileAttributesA", reinterpret_cast<void*>(GetFileAttributesAStandIn));
  cancelIo_ = patches_.Add("CancelSynchronousIo", reinterpret_cast<void*>(CancelSynchronousIoStandIn));
}

BlockingOpen::~BlockingOpen() {
  SetEvent(released_);
  patches_.Undo();
  Sleep(200);  // a released call may still read this object
  for (HANDLE event : {entered_, released_, cancel_}) CloseHandle(event);
}
