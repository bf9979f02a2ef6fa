#include "actions/entry_switch.h"

#include "actions/entry_actions.h"
#include "scan/startup_approved.h"

namespace {

uint64_t Now() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

}  // namespace

LONG SwitchEntry(const std::string& type, const std::string& name, const std::string& location) {
  if (!IsEntryAccessible(type, name, location)) return ERROR_INVALID_NAME;
  ApprovalSlot slot;
  if (!FindEntryApprovalSlot(type, name, location, slot)) return ERROR_NOT_SUPPORTED;
  DWORD valueType = REG_NONE;
  std::string bytes;
  LONG result = ReadApprovalValue(slot, valueType, bytes);
  if (result != ERROR_SUCCESS) return result;
  const bool disabled = DecodeApproval(valueType, bytes).state == EntryState::Disabled;
  bytes = disabled ? EnabledApprovalBytes(valueType, bytes)
                   : DisabledApprovalBytes(valueType, bytes, Now());
  return WriteValueBytes(slot.root, slot.subKey, slot.valueName, REG_BINARY, bytes);
}

LONG ForgetEntrySwitch(const std::string& type, const std::string& name,
                       const std::string& location) {
  ApprovalSlot slot;
  if (!FindEntryApprovalSlot(type, name, location, slot)) return ERROR_NOT_SUPPORTED;
  return DeleteValue(slot.root, slot.subKey, slot.valueName);
}
