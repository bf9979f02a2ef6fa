// The write half of one kind of start-up entry (its read half is
// sources/entry_source.h): how its entries are removed, backed up and put
// back, and what its undo records may name. The entry actions
// (actions/entry_actions.h, entry_switch.h, removal_undo.h) check what every
// kind shares (an accessible row, the switch) and ask the kind for the rest.
// A new kind derives from EntrySourceActions in sources/<kind>/ and adds one
// line to the table of entry_source_actions.cpp.
#pragma once

#include <string>

#include "actions/entry_actions.h"
#include "actions/removal_undo.h"

// What keeping a copy before Remove came to.
enum class RemovalCapture { Kept, NotKept, Failed };

class EntrySourceActions {
 public:
  virtual ~EntrySourceActions() = default;

  // The rows' Type text, as the read half gives it.
  virtual const char* Type() const = 0;

  // IsEntryAccessible and, with `oneName`, IsEntryRemovable for a row of
  // this kind.
  virtual bool IsAccessible(const std::string& name, const std::string& location,
                            const EntryOwner& owner, bool oneName) const = 0;
  // EntryIsGone.
  virtual bool IsGone(const std::string& name, const std::string& location,
                      const EntryOwner& owner) const = 0;
  // Deletes an accessible entry; true when it is gone now.
  virtual bool Remove(const std::string& name, const std::string& location,
                      const EntryOwner& owner) const = 0;
  // BackupEntry of an accessible entry.
  virtual void Backup(const std::string& name, const std::string& location,
                      BackupPrompts& prompts, const EntryOwner& owner) const = 0;

  // Kinds whose entries Windows switches on and off outside the start-up
  // switch it keeps for the Run keys and folders (scan/startup_approved.h)
  // switch them here, as SwitchEntry does: ERROR_SUCCESS when the entry is in
  // that state now (also when it already was), ERROR_ACCESS_DENIED for an
  // entry that may not be switched, else the write's result.
  virtual bool HasOwnSwitch() const { return false; }
  virtual LONG SwitchOwn(const std::string& name, const std::string& location,
                         const EntryOwner& owner, bool disable) const {
    return ERROR_NOT_SUPPORTED;
  }
  // The warning Remove gives, writing nothing, for kinds whose entries cannot
  // be removed by themselves; null where Remove is offered.
  virtual const char* RemoveRefusal() const { return nullptr; }

  // Fills the record with the copy Remove keeps of the entry (its type, name,
  // location and any exact value name are set); the switch is the caller's.
  virtual RemovalCapture Capture(RemovalRecord& record) const = 0;
  // MayRestore for the entry itself, whoever wrote the record.
  virtual bool MayRestore(const RemovalRecord& record) const = 0;
  // The name Windows gives the entry's switch; false when the record's name
  // cannot be one.
  virtual bool SwitchName(const RemovalRecord& record, std::string& name) const = 0;
  // RemovalTargetExists and RemovalCommandText.
  virtual bool TargetExists(const RemovalRecord& record) const = 0;
  virtual std::string CommandText(const RemovalRecord& record) const = 0;
  // Writes the entry of a record that MayRestore back; its switch is the
  // caller's.
  virtual RestoreResult WriteBack(const RemovalRecord& record) const = 0;
};

// The write half of a row's Type text, compared exactly; null for a text no
// source lists.
const EntrySourceActions* FindEntrySourceActions(const std::string& type);

// What the backups of every kind share. ChooseWritableTarget asks for a
// target and makes sure a file may be written there: false when the user
// cancels, the path is unusable or an existing file is to be kept. The file
// being saved (`source`) is no target. TellWriteFailure reports a write that
// failed.
bool ChooseWritableTarget(const SaveFileRequest& request, BackupPrompts& prompts, std::string& path,
                          const char* source = nullptr);
void TellWriteFailure(bool usable, BackupPrompts& prompts);

// Backup of a registry entry: asks where to save the registration file
// `text` (proposed from the entry's `name`) and writes it; an empty text is
// an entry that cannot be read ("Entry Not Accessible!").
void SaveRegistrationFile(const std::string& name, const std::string& text,
                          BackupPrompts& prompts);

// The whole value, whatever its size.
LONG ReadWholeValue(HKEY root, const std::string& subKey, const std::string& name, DWORD& type,
                    std::string& bytes);
