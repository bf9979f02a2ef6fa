// Stands between the program and the kernel32 calls that read, write and
// replace files, so a test can make one of them fail at a chosen moment, as a
// full disk or a lost network drive would. One object at a time.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/import_patch.h"

class FileFaults {
 public:
  FileFaults();
  ~FileFaults();
  FileFaults(const FileFaults&) = delete;
  FileFaults& operator=(const FileFaults&) = delete;

  bool applied() const { return patches_.applied(); }

  // Each returns 0 to let the call through, or the error to fail it with.
  std::function<DWORD(const std::string& path, DWORD disposition)> failCreate;  // CreateFileA
  std::function<DWORD()> failRead;                                              // ReadFile
  std::function<DWORD()> failWrite;                                             // WriteFile
  std::function<DWORD()> failFlush;                                             // FlushFileBuffers
  // CloseHandle of a disk file; the handle is closed all the same.
  std::function<DWORD()> failClose;
  // MoveFileExA, and ReplaceFileA (from the replacement to the replaced file)
  std::function<DWORD(const std::string& from, const std::string& to)> failMove;
  // Called after a GetFileInformationByHandle that succeeded; may change what it found.
  std::function<void(BY_HANDLE_FILE_INFORMATION& info)> changeInformation;

  int reads = 0;   // ReadFile calls
  int writes = 0;  // WriteFile calls

 private:
  ImportPatchSet patches_{"kernel32.dll"};
};
