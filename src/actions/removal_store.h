// The per-user store of removed entries that can be put back: one file per
// removal, the last 100 kept. It holds exact copies; restoring them is
// actions/removal_undo.h, which checks what a record may name: a record is
// input that any program able to write the store can forge.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// What Remove deleted, exactly enough to put it back.
struct RemovalRecord {
  std::string id;          // the store's name for the record
  uint64_t removedAt = 0;  // FILETIME ticks, UTC
  std::string type;        // the row's texts
  std::string name;
  std::string location;
  // A registry value: its key is `location`, of the 64-bit view on a machine
  // that has two (`view` 64), as the scan reads it; its exact name, which the
  // shown `name` may not carry.
  DWORD view = 0;
  std::wstring valueName;
  DWORD valueType = REG_NONE;
  std::string bytes;  // the value's data as the registry holds it, or the file's content
  // A shortcut file: its attributes and FILETIME times.
  DWORD attributes = 0;
  uint64_t created = 0, accessed = 0, written = 0;
  // The entry's start-up switch, where it had one (switchKey not empty).
  std::string switchKey;  // full key path
  std::string switchName;
  DWORD switchType = REG_NONE;
  std::string switchBytes;
  // Who may see and change the entry, as SDDL, where the kind keeps it (a
  // scheduled task's security descriptor).
  std::string descriptor;
};

// The record as the store writes it, and read back; false for a text that
// is not a whole record. Records of the earlier formats (the first kept no
// exact name and its value data in the code page, the second no descriptor)
// read as today's.
std::string RemovalRecordText(const RemovalRecord& record);
bool ParseRemovalRecord(const std::string& text, RemovalRecord& record);

// Whether the process runs elevated (the token query's answer; false when
// it has none).
bool ProcessIsElevated();

// Whether a descriptor lets only administrators change what it guards: owned
// by Administrators or SYSTEM, its DACL protected from inheritance, and no
// other SID allowed to write, append, delete children, or change the DACL or
// the owner.
bool IsAdministratorsOnly(PSECURITY_DESCRIPTOR descriptor);

class RemovalStore {
 public:
  static constexpr size_t kKept = 100;

  // %LOCALAPPDATA%\Ombrelle Studios\Lumivane\Removed; empty when the
  // user's local application data folder is unknown.
  static std::string DefaultFolder();
  // %ProgramData%\Ombrelle Studios\Lumivane\Removed\<user SID>: where an
  // elevated process keeps its records, out of reach of the user's programs.
  // Empty when the folder or the SID is unknown.
  static std::string AdministratorsFolder();

  // The store of this process: the administrators' one when it runs
  // elevated, with its four levels guarded; DefaultFolder() otherwise.
  RemovalStore();
  // A store at `folder`. The last `guardedLevels` folders of its path are
  // created administrators-only, and each of them and each record is used
  // only while it is a real folder or a file of one link (no reparse point
  // followed) that IsAdministratorsOnly.
  explicit RemovalStore(std::string folder, size_t guardedLevels = 0)
      : folder_(std::move(folder)), guardedLevels_(guardedLevels) {}

  // Writes a new record (a new file, never one that is there), whole or not
  // at all, and sets its id and time; then drops the oldest readable records
  // beyond kKept, never this one. False when it could not be written.
  bool Keep(RemovalRecord& record);
  bool Load(const std::string& id, RemovalRecord& record) const;
  // Every readable record, newest first.
  std::vector<RemovalRecord> List() const;
  bool Drop(const std::string& id);

 private:
  std::vector<std::string> Ids() const;  // oldest first
  std::string PathOf(const std::string& id) const { return folder_ + "\\" + id; }
  // Whether the folder may be used now, made first when `create`.
  bool FolderUsable(bool create) const;

  std::string folder_;
  size_t guardedLevels_ = 0;
};
