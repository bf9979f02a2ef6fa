// The per-user store of removed entries that can be put back: one file per
// removal, the last 100 kept. It holds exact copies; restoring them is
// actions/removal_undo.h.
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
  // that has two (`view` 64), as the scan reads it.
  DWORD view = 0;
  DWORD valueType = REG_NONE;
  std::string bytes;  // the value's data or the file's content
  // A shortcut file: its attributes and FILETIME times.
  DWORD attributes = 0;
  uint64_t created = 0, accessed = 0, written = 0;
  // The entry's start-up switch, where it had one (switchKey not empty).
  std::string switchKey;  // full key path
  std::string switchName;
  DWORD switchType = REG_NONE;
  std::string switchBytes;
};

// The record as the store writes it, and read back; false for a text that
// is not a whole record.
std::string RemovalRecordText(const RemovalRecord& record);
bool ParseRemovalRecord(const std::string& text, RemovalRecord& record);

class RemovalStore {
 public:
  static constexpr size_t kKept = 100;

  // %LOCALAPPDATA%\Ombrelle Studios\Lumivane\Removed; empty when the
  // user's local application data folder is unknown.
  static std::string DefaultFolder();

  explicit RemovalStore(std::string folder = DefaultFolder()) : folder_(std::move(folder)) {}

  // Writes a new record, whole or not at all, and sets its id and time;
  // then drops the oldest beyond kKept. False when it could not be written.
  bool Keep(RemovalRecord& record);
  bool Load(const std::string& id, RemovalRecord& record) const;
  // Every readable record, newest first.
  std::vector<RemovalRecord> List() const;
  bool Drop(const std::string& id);

 private:
  std::vector<std::string> Ids() const;  // oldest first
  std::string PathOf(const std::string& id) const { return folder_ + "\\" + id; }

  std::string folder_;
};
