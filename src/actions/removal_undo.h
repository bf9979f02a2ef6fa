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

// The largest shortcut kept: a bigger one is no shortcut Windows makes.
inline constexpr size_t ShortcutSizeMax = 1 << 20;

// Keeps a copy of a registry value or a shortcut file (.lnk, .url, .pif, at
// most ShortcutSizeMax bytes), with its switch, in `store`, then removes the
// entry as RemoveEntry does. Other start-up files are removed without a copy.
// `kept` is the kept record (its id empty when none was kept); a removal that
// fails drops its record. `owner` is the row's, as RemoveEntry takes it: it
// gives a value's exact name where the row's text cannot.
RemovalResult RemoveEntryKept(const std::string& type, const std::string& name,
                              const std::string& location, RemovalStore& store,
                              RemovalRecord& kept, const EntryOwner& owner = EntryOwner());

// Whether the record names what Remove keeps and the scans list, whoever
// wrote it: a REG_SZ or REG_EXPAND_SZ value of a Run-type key the registry
// scan reads (root, view and key), or a shortcut (.lnk, .url, .pif) of at
// most ShortcutSizeMax bytes at any depth in a start-up folder the folder
// scan searches; a switch only as Windows writes one. Nothing else is restored.
bool MayRestore(const RemovalRecord& record);

// Whether a value of that name or a file at that path is there now.
bool RemovalTargetExists(const RemovalRecord& record);

// What the entry ran, for the user to see before restoring it: the value's
// text, or a shortcut's target; empty when it cannot be told.
std::string RemovalCommandText(const RemovalRecord& record);

enum class RestoreResult { Restored, NotAccessible, RegistryNotWritten, FileNotWritten };

// Writes the entry back when MayRestore: its switch first, at the slot the
// entry has now (so it never runs for a moment that it should not), then the
// value with its type and bytes, or the file with its bytes, attributes and
// times, replacing what is there. When the entry cannot be written the
// switch is put back as it was.
RestoreResult RestoreRemoval(const RemovalRecord& record);
