// Disable and Enable of one start-up entry through Windows' own switch
// (scan/startup_approved.h), given the texts of its list row: its kind, its
// name and its location, as Remove and Backup take them.
#pragma once

#include <windows.h>

#include <string>

#include "scan/row_sink.h"

// Whether the entry itself is known to be gone: its value or its file (or
// what holds them) no longer exists.
// `owner` as the entry actions take it (actions/entry_actions.h).
bool EntryIsGone(const std::string& type, const std::string& name, const std::string& location,
                 const EntryOwner& owner = EntryOwner());

// Disables the entry, as of now, or enables it, whatever the switch held when
// the list was made; only bit 0 of the first byte and the time change.
// Nothing is written when the switch already holds that state (success),
// when the entry is gone (ERROR_FILE_NOT_FOUND) or when the read fails (its
// result). Else the write's result; ERROR_NOT_SUPPORTED when the entry has
// no switch; ERROR_INVALID_NAME, writing nothing, when it is not accessible
// (IsEntryAccessible), or when its name is one the row's text cannot give
// back: the switch is named by that text.
LONG SwitchEntry(const std::string& type, const std::string& name, const std::string& location,
                 bool disable, const EntryOwner& owner = EntryOwner());

// Deletes the entry's switch, so that a later entry of the same name does
// not start out disabled. Returns the registry's result.
// Nothing for a name the row's text cannot give back, which has no switch
// of that text.
LONG ForgetEntrySwitch(const std::string& type, const std::string& name,
                       const std::string& location, const EntryOwner& owner = EntryOwner());
