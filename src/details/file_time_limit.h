// A time limit on the file I/O of one thread: a file on an unreachable share,
// or one that never answers, does not hold that thread for ever.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

// Watches `thread` from a thread of its own and cancels its synchronous I/O
// (CancelSynchronousIo) while a file it reads is over its limit, or once
// CancelAll() is called. The cancelled call returns with an error.
class FileTimeLimit {
 public:
  explicit FileTimeLimit(HANDLE thread);
  ~FileTimeLimit();
  FileTimeLimit(const FileTimeLimit&) = delete;
  FileTimeLimit& operator=(const FileTimeLimit&) = delete;

  // From the watched thread, around one file: its limit in milliseconds.
  void Begin(DWORD limit);
  // True when the file was over its limit (its details are not to be kept).
  bool End();
  // From any thread: cancels whatever the watched thread reads from now on.
  void CancelAll();
  // A file over its limit by more than `grace` ms: its thread did not come back
  // after its I/O was cancelled.
  bool Overdue(DWORD grace) const;

 private:
  static unsigned __stdcall Watch(void* self);
  HANDLE thread_ = nullptr;  // duplicated: ours to keep
  HANDLE stop_ = nullptr;
  HANDLE watcher_ = nullptr;
  std::atomic<DWORD> started_{0};  // GetTickCount() at Begin; 0 between files
  std::atomic<DWORD> limit_{0};
  std::atomic<bool> expired_{false};
  std::atomic<bool> cancelAll_{false};
};

// The limits a file is read under: short for a remote volume (a UNC path, a
// mapped drive), where a lost server is usual; long for a local disk.
constexpr DWORD kLocalFileLimit = 30000;
constexpr DWORD kRemoteFileLimit = 4000;
bool OnRemoteVolume(const std::string& path);
