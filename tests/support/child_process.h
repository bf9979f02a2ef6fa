// Runs another program to its end with its standard output and error caught
// in files, as a script would redirect them.
#pragma once

#include <windows.h>

#include <string>

struct ChildRun {
  DWORD exitCode = ~0u;  // ~0u when it could not be started or did not end
  std::string out;
  std::string err;
};

// `commandLine` is passed as it is: quote what needs it. With `program`, that
// file is started whatever the first word of the command line says; with
// `folder`, in that folder.
ChildRun RunChild(const std::string& commandLine, const char* program = nullptr,
                  const char* folder = nullptr, UINT codePage = CP_ACP);

// This test program again, for what only a new process shows: its own command
// line (whose first word may be anything), settings read at start-up.
ChildRun RunThisProgram(const std::string& commandLine, const std::string& folder);
