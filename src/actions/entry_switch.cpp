#include "actions/entry_switch.h"

#include "actions/entry_actions.h"
#include "sources/entry_source_actions.h"
#include "scan/startup_approved.h"

namespace {

uint64_t Now() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

}  // namespace

bool EntryIsGone(const std::string& type, const std::string& name, const std::string& location,
                 const EntryOwner& owner) {
  const EntrySourceActions* source = FindEntrySourceActions(type);
  return source && source->IsGone(name, location, owner);
}

LONG SwitchEntry(const std::string& type, const std::string& name, const std::string& location,
                 bool disable, const EntryOwner& owner) {
  if (!owner.exactName.empty() || !IsEntryAccessible(type, name, location, owner))
    return ERROR_INVALID_NAME;
  const EntrySourceActions* source = FindEntrySourceActions(type);
  if (source && source->HasOwnSwitch()) return source->SwitchOwn(name, location, owner, disable);
  ApprovalSlot slot;
  if (!FindEntryApprovalSlot(type, name, location, slot)) return ERROR_NOT_SUPPORTED;
  // A switch for an entry that is gone would disable a later one of its name.
  if (EntryIsGone(type, name, location, owner)) return ERROR_FILE_NOT_FOUND;
  DWORD valueType = REG_NONE;
  std::string bytes;
  LONG result = ReadApprovalValue(slot, valueType, bytes);
  if (result != ERROR_SUCCESS) return result;
  const bool disabled = DecodeApproval(valueType, bytes).state == EntryState::Disabled;
  if (disabled == disable) return ERROR_SUCCESS;  // someone else got there first
  bytes = disable ? DisabledApprovalBytes(valueType, bytes, Now())
                  : EnabledApprovalBytes(valueType, bytes);
  return WriteValueBytes(slot.root, slot.subKey, slot.valueName, REG_BINARY, bytes);
}

LONG ForgetEntrySwitch(const std::string& type, const std::string& name,
                       const std::string& location, const EntryOwner& owner) {
  if (!owner.exactName.empty()) return ERROR_NOT_SUPPORTED;
  ApprovalSlot slot;
  if (!FindEntryApprovalSlot(type, name, location, slot)) return ERROR_NOT_SUPPORTED;
  return DeleteValue(slot.root, slot.subKey, slot.valueName);
}
