// Remove with its undo: an exact copy of a registry value or a shortcut is
// kept in the store before the entry goes, and can be written back.
#pragma once

#include <string>

#include "actions/removal_store.h"
#include "scan/row_sink.h"

enum class RemovalResult {
  Removed,     // the entry is gone
  NotRemoved,  // it is still there, or there was nothing to remove; no record
  NotSaved,    // its copy could not be kept, so nothing was removed
};

// Keeps a copy of a registry value or a shortcut file (.lnk, .url, .pif), with
// its switch, in `store`, then removes the entry as RemoveEntry does. Other
// start-up files are removed without a copy. `recordId` is the kept record's
// id, empty when none was kept; a removal that fails drops its record.
// `owner` is the row's, as RemoveEntry takes it; a value whose name its text
// cannot give back is not kept, since a record names its value by text, and
// so it is not removed (NotSaved).
RemovalResult RemoveEntryKept(const std::string& type, const std::string& name,
                              const std::string& location, RemovalStore& store,
                              std::string& recordId, const EntryOwner& owner = EntryOwner());

// Whether a value of that name or a file at that path is there now.
bool RemovalTargetExists(const RemovalRecord& record);

enum class RestoreResult { Restored, RegistryNotWritten, FileNotWritten };

// Writes the entry back: the value with its type and bytes, or the file with
// its bytes, attributes and times, replacing what is there; then its switch.
RestoreResult RestoreRemoval(const RemovalRecord& record);
