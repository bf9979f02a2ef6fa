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

// `commandLine` is passed as it is: quote what needs it.
ChildRun RunChild(const std::string& commandLine);
