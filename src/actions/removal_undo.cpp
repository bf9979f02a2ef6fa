#include "actions/removal_undo.h"

#include <windows.h>

#include "actions/entry_actions.h"
#include "scan/registry_access.h"
#include "scan/startup_approved.h"
#include "sources/entry_source_actions.h"

namespace {

// The kind's copy of the entry, then its switch as the registry holds it.
RemovalCapture CaptureEntry(const EntrySourceActions& source, RemovalRecord& record) {
  const RemovalCapture capture = source.Capture(record);
  if (capture != RemovalCapture::Kept) return capture;
  ApprovalSlot slot;
  if (!FindEntryApprovalSlot(record.type, record.name, record.location, slot)) return capture;
  const LONG result =
      ReadWholeValue(slot.root, slot.subKey, slot.valueName, record.switchType, record.switchBytes);
  if (result == ERROR_FILE_NOT_FOUND) return capture;  // enabled, as Windows has never switched it
  if (result != ERROR_SUCCESS) return RemovalCapture::Failed;
  record.switchKey = RegistryRootName(slot.root) + "\\" + slot.subKey;
  record.switchName = slot.valueName;
  return capture;
}

// The slot of the entry the record names, as Windows would name it now; the
// record's own key and name for it are never used.
bool RestoredSlot(const EntrySourceActions& source, const RemovalRecord& record,
                  ApprovalSlot& slot) {
  std::string name;
  return source.SwitchName(record, name) &&
         FindEntryApprovalSlot(record.type, name, record.location, slot);
}

bool HasSwitch(const RemovalRecord& record) {
  return record.switchType != REG_NONE || !record.switchBytes.empty();
}

}  // namespace

RemovalResult RemoveEntryKept(const std::string& type, const std::string& name,
                              const std::string& location, RemovalStore& store,
                              RemovalRecord& kept, const EntryOwner& owner) {
  kept = RemovalRecord();
  std::string recordId;
  if (!IsEntryAccessible(type, name, location, owner)) return RemovalResult::NotRemoved;
  RemovalRecord& record = kept;
  // The exact name, where the row's text cannot give it back.
  record.valueName = owner.exactName;
  record.type = type;
  record.name = name;
  record.location = location;
  const EntrySourceActions* source = FindEntrySourceActions(type);
  switch (source ? CaptureEntry(*source, record) : RemovalCapture::NotKept) {
    case RemovalCapture::Failed:
      return RemovalResult::NotSaved;
    case RemovalCapture::Kept:
      if (!store.Keep(record)) return RemovalResult::NotSaved;
      recordId = record.id;
      break;
    case RemovalCapture::NotKept:
      break;
  }
  if (RemoveEntry(type, name, location, owner)) return RemovalResult::Removed;
  // Never an undo for an entry that is still there.
  if (!recordId.empty()) store.Drop(recordId);
  kept.id.clear();
  return RemovalResult::NotRemoved;
}

bool MayRestore(const RemovalRecord& record) {
  const EntrySourceActions* source = FindEntrySourceActions(record.type);
  if (!source || !source->MayRestore(record)) return false;
  ApprovalSlot slot;
  return !HasSwitch(record) || (record.switchType == REG_BINARY &&
                                record.switchBytes.size() == ApprovalSize &&
                                RestoredSlot(*source, record, slot));
}

bool RemovalTargetExists(const RemovalRecord& record) {
  const EntrySourceActions* source = FindEntrySourceActions(record.type);
  return source && source->TargetExists(record);
}

std::string RemovalCommandText(const RemovalRecord& record) {
  const EntrySourceActions* source = FindEntrySourceActions(record.type);
  return source ? source->CommandText(record) : std::string();
}

RestoreResult RestoreRemoval(const RemovalRecord& record) {
  if (!MayRestore(record)) return RestoreResult::NotAccessible;
  const EntrySourceActions& source = *FindEntrySourceActions(record.type);
  ApprovalSlot slot;
  const bool switched = HasSwitch(record) && RestoredSlot(source, record, slot);
  DWORD oldType = REG_NONE;
  std::string oldBytes;
  LONG oldRead = ERROR_FILE_NOT_FOUND;
  if (switched) {
    oldRead = ReadWholeValue(slot.root, slot.subKey, slot.valueName, oldType, oldBytes);
    if ((oldRead != ERROR_SUCCESS && oldRead != ERROR_FILE_NOT_FOUND) ||
        WriteValueBytes(slot.root, slot.subKey, slot.valueName, record.switchType,
                        record.switchBytes) != ERROR_SUCCESS)
      return RestoreResult::RegistryNotWritten;
  }
  const RestoreResult result = source.WriteBack(record);
  // No switch is left behind for an entry that did not come back.
  if (result != RestoreResult::Restored && switched) {
    if (oldRead == ERROR_SUCCESS)
      WriteValueBytes(slot.root, slot.subKey, slot.valueName, oldType, oldBytes);
    else
      DeleteValue(slot.root, slot.subKey, slot.valueName);
  }
  return result;
}
