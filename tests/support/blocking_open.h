// A program file that never answers, as one on a lost share: this program's
// CreateFileW of a path holding `marker` blocks until CancelSynchronousIo
// names its thread (it then fails with ERROR_OPERATION_ABORTED), or, when
// cancels are not heeded, until the object goes. One object at a time.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "support/import_patch.h"

class BlockingOpen {
 public:
  BlockingOpen(const std::string& marker, bool heedsCancel);
  ~BlockingOpen();  // lets a blocked call end

  bool applied() const { return patches_.applied(); }
  bool WaitUntilBlocked() { return WaitForSingleObject(entered_, 20000) == WAIT_OBJECT_0; }

  std::atomic<int> blocked{0}, cancelled{0};
  // Calls on the path (CreateFileW, GetFileAttributesA) by the thread `watched`.
  std::atomic<DWORD> watched{0};
  std::atomic<int> byWatched{0};

  std::string marker_;
  bool heedsCancel_;
  HANDLE entered_, released_, cancel_;
  std::atomic<DWORD> blockedThread_{0};
  ImportPatchSet patches_{"kernel32.dll"};
  ImportPatch *createFile_, *attributes_, *cancelIo_;
};
