#include "support/child_process.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"
#include "util/text_encoding.h"

namespace {

HANDLE InheritableFile(const std::string& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                     disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

ChildRun RunChild(const std::string& commandLine, const char* program, const char* folder,
                  UINT codePage) {
  ChildRun run;
  TempFolder output;
  const std::string outPath = output / "out", errPath = output / "err";
  HANDLE in = InheritableFile("NUL", GENERIC_READ, OPEN_EXISTING);
  HANDLE out = InheritableFile(outPath, GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE err = InheritableFile(errPath, GENERIC_WRITE, CREATE_ALWAYS);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process = {};
  std::wstring command = WideFromCodePage(commandLine, codePage) + L'\0';
  if (CreateProcessW(program ? WideFromCodePage(program).c_str() : nullptr, &command[0], nullptr,
                     nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                     folder ? WideFromCodePage(folder).c_str() : nullptr, &startup, &process)) {
    // A guard against a hung child, not a measurement.
    if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0) {
      GetExitCodeProcess(process.hProcess, &run.exitCode);
    } else {
      TerminateProcess(process.hProcess, 1);
      WaitForSingleObject(process.hProcess, INFINITE);
      ADD_FAILURE() << commandLine << " did not end";
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  } else {
    ADD_FAILURE() << "cannot start " << commandLine << ": " << GetLastError();
  }
  for (HANDLE handle : {in, out, err})
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  run.out = TempFolder::ReadFile(outPath);
  run.err = TempFolder::ReadFile(errPath);
  return run;
}

ChildRun RunThisProgram(const std::string& commandLine, const std::string& folder) {
  char self[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  return RunChild(commandLine, self, folder.c_str());
}
