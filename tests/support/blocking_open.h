// A file that never answers, as one on a lost network share does: this
// program's CreateFileW of a path holding `marker` blocks until
// CancelSynchronousIo names its thread (then fails with
// ERROR_OPERATION_ABORTED), or, when the cancel is not honoured, until the
// object goes. Also counts the file calls on such a path per thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "support/import_patch.h"

class BlockingOpen {
 public:
  BlockingOpen(const std::string& marker, bool honourCancel);
  ~BlockingOpen();  // lets any blocked call end
  BlockingOpen(const BlockingOpen&) = delete;
  BlockingOpen& operator=(const BlockingOpen&) = delete;

  bool applied() const { return patches_.applied(); }
  // True once an open is blocked (waits up to 20 s).
  bool WaitUntilBlocked();
  // Calls on the marked path made by `thread` (CreateFileW, GetFileAttributesA/ExW).
  void WatchThread(DWORD thread) { watched_ = thread; }

  std::atomic<int> blocked{0};      // opens that blocked
  std::atomic<int> cancelled{0};    // of them, ended by CancelSynchronousIo
  std::atomic<int> byWatched{0};    // calls by the watched thread

 private:
  static HANDLE WINAPI CreateFileWStandIn(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD,
                                          DWORD, HANDLE);
  static DWORD WINAPI GetFileAttributesAStandIn(LPCSTR);
  static BOOL WINAPI GetFileAttributesExWStandIn(LPCWSTR, GET_FILEEX_INFO_LEVELS, LPVOID);
  static BOOL WINAPI CancelSynchronousIoStandIn(HANDLE);
  bool Marked(const std::wstring& path);

  std::wstring marker_;
  bool honourCancel_;
  HANDLE entered_, released_, cancel_;
  std::atomic<DWORD> blockedThread_{0}, watched_{0};
  ImportPatchSet patches_{"kernel32.dll"};
  ImportPatch *createFile_ = nullptr, *attributes_ = nullptr, *attributesEx_ = nullptr,
              *cancelIo_ = nullptr;
};
