#include "scan/startup_approved.h"

#include <versionhelpers.h>

#include "sources/entry_source.h"
#include "util/string_utils.h"

namespace {

constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kMachine32RunKey[] =
    "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kApprovedKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\";

constexpr unsigned char kEnabledFlags = 0x02;  // what Task Manager writes
constexpr unsigned char kDisabledBit = 0x01;

// A folder text as the search engine starts from it: trimmed, backslashes
// only, one final separator. A slash is never a trail byte, so the bytes
// can be replaced as they stand.
std::string FolderKey(std::string folder) {
  Trim(folder);
  folder = ReplaceChars(folder.c_str(), '\\', "/");
  if (folder.empty() || FindLastCharOf(folder, "\\") != folder.size() - 1) folder += '\\';
  return folder;
}

// The hive's name and its separator for a key below HKEY_USERS, else empty.
std::string HivePrefix(HKEY root, const std::string& subKey) {
  if (root != HKEY_USERS) return std::string();
  const size_t separator = FindFirstCharOf(subKey, "\\");
  return separator == std::string::npos ? std::string() : subKey.substr(0, separator + 1);
}

bool IsWellFormed(DWORD type, const std::string& bytes) {
  return type == REG_BINARY && bytes.size() == ApprovalSize;
}

// The four flag bytes of a value, or those of an enabled entry when the
// value is missing or malformed.
std::string FlagsOf(DWORD type, const std::string& bytes) {
  if (IsWellFormed(type, bytes)) return bytes.substr(0, 4);
  return std::string(1, static_cast<char>(kEnabledFlags)) + std::string(3, '\0');
}

uint64_t TimeOf(const std::string& bytes) {
  uint64_t time = 0;
  for (int i = 11; i >= 4; --i) time = (time << 8) | static_cast<unsigned char>(bytes[i]);
  return time;
}

}  // namespace

const char* EntryStateText(EntryState state) {
  switch (state) {
    case EntryState::Enabled:
      return "enabled";
    case EntryState::Disabled:
      return "disabled";
    case EntryState::NotApplicable:
      break;
  }
  return "n/a";
}

// VerifyVersionInfo, unlike GetVersionEx, answers "8 or later" truthfully
// whatever versions the manifest declares.
bool SystemHonoursApproval() {
  static const bool honoured = IsWindows8OrGreater();
  return honoured;
}

bool FindRunApprovalKey(HKEY root, const std::string& runKey, std::string& approvalKey) {
  if (root != HKEY_LOCAL_MACHINE && root != HKEY_CURRENT_USER && root != HKEY_USERS) return false;
  const std::string hive = HivePrefix(root, runKey);
  if (root == HKEY_USERS && hive.size() <= 1) return false;  // no hive named
  const std::string key = runKey.substr(hive.size());
  const char* store = nullptr;
  if (SameNameIgnoringCase(key, kRunKey))
    store = "Run";
  else if (root == HKEY_LOCAL_MACHINE && SameNameIgnoringCase(key, kMachine32RunKey))
    store = "Run32";
  else
    return false;
  approvalKey = hive + kApprovedKey + store;
  return true;
}

bool IsSameFolder(const std::string& a, const std::string& b) {
  return SameNameIgnoringCase(FolderKey(a), FolderKey(b));
}

bool FindFolderApprovalKey(const std::vector<RegistryLocation>& folders, const std::string& folder,
                           HKEY& root, std::string& approvalKey) {
  const std::string wanted = FolderKey(folder);
  for (const RegistryLocation& owner : folders) {
    if (!owner.root || !SameNameIgnoringCase(FolderKey(owner.value), wanted)) continue;
    root = owner.root;
    approvalKey = HivePrefix(owner.root, owner.subKey) + kApprovedKey + "StartupFolder";
    return true;
  }
  return false;
}

bool FindEntryApprovalSlot(const std::string& type, const std::string& name,
                           const std::string& location, ApprovalSlot& slot) {
  const EntrySource* source = FindEntrySource(type);
  return source && source->FindApprovalSlot(name, location, slot);
}

EntryApproval DecodeApproval(DWORD type, const std::string& bytes) {
  EntryApproval approval;
  approval.state = EntryState::Enabled;
  if (IsWellFormed(type, bytes) && (bytes[0] & kDisabledBit)) {
    approval.state = EntryState::Disabled;
    approval.disabledSince = TimeOf(bytes);
  }
  return approval;
}

std::string DisabledApprovalBytes(DWORD oldType, const std::string& oldBytes, uint64_t now) {
  std::string bytes = FlagsOf(oldType, oldBytes);
  bytes[0] = static_cast<char>(bytes[0] | kDisabledBit);
  for (int i = 0; i < 8; ++i) bytes += static_cast<char>((now >> (8 * i)) & 0xFF);
  return bytes;
}

std::string EnabledApprovalBytes(DWORD oldType, const std::string& oldBytes) {
  std::string bytes = FlagsOf(oldType, oldBytes);
  bytes[0] = static_cast<char>(bytes[0] & ~kDisabledBit);
  return bytes + std::string(8, '\0');
}

LONG ReadApprovalValue(const ApprovalSlot& slot, DWORD& type, std::string& bytes) {
  type = REG_NONE;
  bytes.clear();
  LONG result = ReadValueBytes(slot.root, slot.subKey, slot.valueName, ApprovalSize, type, bytes);
  if (result == ERROR_FILE_NOT_FOUND || result == ERROR_MORE_DATA) return ERROR_SUCCESS;
  return result;
}

EntryApproval ReadEntryApproval(const std::string& type, const std::string& name,
                                const std::string& location) {
  ApprovalSlot slot;
  DWORD valueType = REG_NONE;
  std::string bytes;
  if (!FindEntryApprovalSlot(type, name, location, slot) ||
      ReadApprovalValue(slot, valueType, bytes) != ERROR_SUCCESS)
    return EntryApproval();
  return DecodeApproval(valueType, bytes);
}

void ApprovalTable::Load(HKEY root, const std::string& approvalKey) {
  disabled_.clear();
  static const DWORD kBinary = REG_BINARY;
  NameSet names;
  EnumValueNames(root, approvalKey, names, &kBinary);
  DWORD type = REG_NONE;
  std::string bytes;
  for (const std::string& name : names) {
    if (ReadValueBytes(root, approvalKey, name, ApprovalSize, type, bytes) != ERROR_SUCCESS)
      continue;
    EntryApproval approval = DecodeApproval(type, bytes);
    if (approval.state == EntryState::Disabled) disabled_.emplace_back(name, approval);
  }
}

EntryApproval ApprovalTable::Find(const std::string& valueName) const {
  for (const auto& [name, approval] : disabled_)
    if (SameNameIgnoringCase(name, valueName)) return approval;
  EntryApproval enabled;
  enabled.state = EntryState::Enabled;
  return enabled;
}
