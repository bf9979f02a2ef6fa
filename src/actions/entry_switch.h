// Disable and Enable of one start-up entry through Windows' own switch
// (scan/startup_approved.h), given the texts of its list row: its kind, its
// name and its location, as Remove and Backup take them.
#pragma once

#include <windows.h>

#include <string>

// Disables an enabled entry, as of now, or enables a disabled one; only bit
// 0 of the first byte and the time change. Returns the registry's result of
// the read or the write (nothing is written when the read fails), or
// ERROR_NOT_SUPPORTED when the entry has no switch, or ERROR_INVALID_NAME,
// writing nothing, when it is not accessible (IsEntryAccessible).
LONG SwitchEntry(const std::string& type, const std::string& name, const std::string& location);

// Deletes the entry's switch, so that a later entry of the same name does
// not start out disabled. Returns the registry's result.
LONG ForgetEntrySwitch(const std::string& type, const std::string& name,
                       const std::string& location);
