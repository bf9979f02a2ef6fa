// Where the scans put the rows they find: the main window's list in the
// program, a plain recorder in tests and benchmarks.
#pragma once

#include <cstdint>
#include <string>

// Image indices of the main list's small image list: one picture per kind of
// entry, then their greyed versions for entries Windows is told to skip.
enum EntryImage {
  RegistryEntryImage = 0,
  StartupFileImage = 1,
  AppTaskImage = 2,
  LogonValueImage = 3,
  ScheduledTaskImage = 4,
  kEntryPictureCount = 5,
  DisabledRegistryEntryImage = RegistryEntryImage + kEntryPictureCount,
  DisabledStartupFileImage = StartupFileImage + kEntryPictureCount,
};

// Whether Windows starts an entry at logon, by the switch that Task Manager
// shows (see scan/startup_approved.h). NotApplicable: Windows keeps no such
// switch for the entry's kind of location, or this Windows has none at all.
enum class EntryState { NotApplicable, Enabled, Disabled };

struct EntryApproval {
  EntryApproval(EntryState state = EntryState::NotApplicable, uint64_t disabledSince = 0,
                bool locked = false)
      : state(state), locked(locked), disabledSince(disabledSince) {}

  EntryState state;
  // The state is the machine's policy, and the user cannot switch it. Kept
  // beside the state, where a row has room for it.
  bool locked;
  uint64_t disabledSince;  // FILETIME ticks, UTC; 0 unless disabled

  bool operator==(const EntryApproval& other) const {
    return state == other.state && locked == other.locked &&
           disabledSince == other.disabledSince;
  }
};

// The picture a row shows: the greyed one when the entry is disabled.
inline int RowImage(EntryImage picture, const EntryApproval& approval) {
  return approval.state == EntryState::Disabled ? picture + kEntryPictureCount : picture;
}

// Whose entry a row is: the User it names, and whose environment its command
// is read in.
struct EntryOwner {
  enum class Kind {
    AllUsers,     // the machine's keys and the common start-up folder
    CurrentUser,  // HKEY_CURRENT_USER and its Startup folder
    Hive,         // a user hive under HKEY_USERS
    Profile,      // a profile folder found on the disk
  };
  Kind kind = Kind::AllUsers;
  std::string name;            // Hive: its key name (a SID); Profile: the folder's name
  bool expandCommand = false;  // a registry value of type REG_EXPAND_SZ
  // The entry's own name where the row's name text does not convert back to
  // it (a NUL, a lone surrogate, a character the code page lacks): the
  // value's exact UTF-16 name. Empty for the usual plain name, which costs a
  // row nothing then.
  std::wstring exactName;
  // A start-up file's folder as the system resolved it when the scan listed
  // it (its final path, no final separator), and how many bytes of the row's
  // location are that folder's text: the rest is the file's name below it.
  std::wstring folderFinalPath;
  size_t folderTextLength = 0;
  // Read from a copy the program never writes (a scheduled task's file, where
  // the service lists none): no action is offered on it.
  bool readOnlyCopy = false;

  bool operator==(const EntryOwner& other) const {
    return kind == other.kind && name == other.name && expandCommand == other.expandCommand &&
           exactName == other.exactName && folderFinalPath == other.folderFinalPath &&
           folderTextLength == other.folderTextLength && readOnlyCopy == other.readOnlyCopy;
  }
};

// "enabled", "disabled" or "n/a".
const char* EntryStateText(EntryState state);

class RowSink {
 public:
  virtual ~RowSink() = default;
  // Appends one row; the texts are zero-terminated and only borrowed.
  virtual void AddEntryRow(const char* type, const char* name, const char* action,
                           const char* location, int image, const EntryApproval& approval,
                           const EntryOwner& owner = EntryOwner()) = 0;
};
