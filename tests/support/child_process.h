// Runs this test program again, as a child, for what can only be seen in a
// new process: its own command line, settings read at start-up.
#pragma once

#include <windows.h>

#include <string>

// Starts this program with `commandLine` (whose first word may be anything)
// in `folder`, its output going to the file `log`, and waits for it. Returns
// its exit code, or ~0u when it could not start or did not end.
DWORD RunThisProgram(std::string commandLine, const std::string& folder, const std::string& log);
