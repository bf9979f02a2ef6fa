#include "support/blocking_open.h"

namespace {

BlockingOpen* active = nullptr;

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c));
  return text;
}

std::wstring Wide(const char* text) {
  return std::wstring(text, text + strlen(text));
}

}  // namespace

BlockingOpen::BlockingOpen(const std::string& marker, bool honourCancel)
    : marker_(Lower(Wide(marker.c_str()))), honourCancel_(honourCancel) {
  entered_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  released_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  cancel_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  active = this;
  createFile_ = patches_.Add("CreateFileW", reinterpret_cast<void*>(CreateFileWStandIn));
  attributes_ = patches_.Add("GetFileAttributesA", reinterpret_cast<void*>(GetFileAttributesAStandIn));
  attributesEx_ =
      patches_.Add("GetFileAttributesExW", reinterpret_cast<void*>(GetFileAttributesExWStandIn));
  cancelIo_ = patches_.Add("CancelSynchronousIo", reinterpret_cast<void*>(CancelSynchronousIoStandIn));
}

BlockingOpen::~BlockingOpen() {
  SetEvent(released_);
  patches_.Undo();
  // A blocked call still reads this object: give it the time to leave.
  Sleep(200);
  active = nullptr;
  CloseHandle(entered_);
  CloseHandle(released_);
  CloseHandle(cancel_);
}

bool BlockingOpen::WaitUntilBlocked() {
  return WaitForSingleObject(entered_, 20000) == WAIT_OBJECT_0;
}

bool BlockingOpen::Marked(const std::wstring& path) {
  if (Lower(path).find(marker_) == std::wstring::npos) return false;
  if (GetCurrentThreadId() == watched_) ++byWatched;
  return true;
}

HANDLE WINAPI BlockingOpen::CreateFileWStandIn(LPCWSTR path, DWORD access, DWORD share,
                                               LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                               DWORD flags, HANDLE model) {
  BlockingOpen& self = *active;
  const auto original = reinterpret_cast<decltype(&CreateFileWStandIn)>(self.createFile_->original());
  if (!path || !self.Marked(path))
    return original(path, access, share, security, disposition, flags, model);
  ++self.blocked;
  self.blockedThread_ = GetCurrentThreadId();
  SetEvent(self.entered_);
  HANDLE ends[] = {self.released_, self.cancel_};
  if (WaitForMultipleObjects(2, ends, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
    ResetEvent(self.cancel_);
    ++self.cancelled;
  }
  self.blockedThread_ = 0;
  SetLastError(ERROR_OPERATION_ABORTED);
  return INVALID_HANDLE_VALUE;
}

DWORD WINAPI BlockingOpen::GetFileAttributesAStandIn(LPCSTR path) {
  BlockingOpen& self = *active;
  if (path) self.Marked(Wide(path));
  return reinterpret_cast<decltype(&GetFileAttributesAStandIn)>(self.attributes_->original())(path);
}

BOOL WINAPI BlockingOpen::GetFileAttributesExWStandIn(LPCWSTR path, GET_FILEEX_INFO_LEVELS level,
                                                      LPVOID data) {
  BlockingOpen& self = *active;
  if (path) self.Marked(path);
  return reinterpret_cast<decltype(&GetFileAttributesExWStandIn)>(self.attributesEx_->original())(
      path, level, data);
}

BOOL WINAPI BlockingOpen::CancelSynchronousIoStandIn(HANDLE thread) {
  BlockingOpen& self = *active;
  const DWORD blocked = self.blockedThread_;
  if (self.honourCancel_ && blocked && GetThreadId(thread) == blocked) SetEvent(self.cancel_);
  return reinterpret_cast<decltype(&CancelSynchronousIoStandIn)>(self.cancelIo_->original())(thread);
}
