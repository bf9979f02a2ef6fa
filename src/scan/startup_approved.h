// Windows' own switch for start-up entries, as Task Manager and Settings show
// it (Windows 8 and later): a 12-byte REG_BINARY value per entry below
// Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved, in
//   Run            of the machine, a user or a hive: that root's Run key
//   Run32          of the machine: Software\Wow6432Node\...\Run
//   StartupFolder  of the machine or a user: that owner's start-up folder
// named after the Run value, or after the file with its extension. Bytes 0-3
// are flags, an odd first byte meaning disabled; bytes 4-11 are the FILETIME
// (UTC) of the disabling. A missing value means enabled. Windows keeps no
// such switch for any other key (RunOnce, RunServices, Policies, the
// "Current Version" spelling) nor for files below a start-up folder's own.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "scan/registry_access.h"
#include "scan/row_sink.h"

inline constexpr DWORD ApprovalSize = 12;

// Where one entry's switch lives.
struct ApprovalSlot {
  HKEY root = nullptr;
  std::string subKey;  // ...\Explorer\StartupApproved\Run, Run32 or StartupFolder
  std::string valueName;
};

// Windows 8 and later read the switch; older systems have none. Asked of the
// system once.
bool SystemHonoursApproval();

// The StartupApproved key that governs a Run-type key given as root and
// sub-key (as the registry scan lists them); false for keys without one.
bool FindRunApprovalKey(HKEY root, const std::string& runKey, std::string& approvalKey);

// Whether two folder texts name one start-up folder as the search engine
// walks it: trimmed, slashes as backslashes, a final separator added, letter
// case aside.
bool IsSameFolder(const std::string& a, const std::string& b);

// The StartupFolder key of the owner of `folder`: the first entry of
// `folders` (ReadShellStartupFolders) whose text IsSameFolder. Entries with no
// root (a profile's folder) own nothing. False when none names the folder.
bool FindFolderApprovalKey(const std::vector<RegistryLocation>& folders, const std::string& folder,
                           HKEY& root, std::string& approvalKey);

// The slot of a list row, asked of its kind's source (sources/entry_source.h)
// from its name and location texts; for a start-up file the Shell Folders
// values are read. False when Windows keeps no switch for the row.
bool FindEntryApprovalSlot(const std::string& type, const std::string& name,
                           const std::string& location, ApprovalSlot& slot);

// The state a value stands for. Anything but a REG_BINARY of exactly
// ApprovalSize bytes, like a missing value, means enabled.
EntryApproval DecodeApproval(DWORD type, const std::string& bytes);

// The bytes that disable an entry at `now`: the old flags (02 00 00 00 when
// the old value is missing or malformed) with bit 0 set, then `now`.
std::string DisabledApprovalBytes(DWORD oldType, const std::string& oldBytes, uint64_t now);
// The bytes that enable it again: bit 0 cleared, the time zeroed.
std::string EnabledApprovalBytes(DWORD oldType, const std::string& oldBytes);

// Reads one slot's value: its type and bytes, REG_NONE and empty when there
// is none. Returns the registry's result; a missing key or value is success.
LONG ReadApprovalValue(const ApprovalSlot& slot, DWORD& type, std::string& bytes);

// The switch of a list row as the registry holds it now: NotApplicable when
// Windows keeps none for the row, or when it cannot be read.
EntryApproval ReadEntryApproval(const std::string& type, const std::string& name,
                                const std::string& location);

// The states of the values of one StartupApproved key, read at once. Names
// are matched without regard to letter case, as the registry does.
class ApprovalTable {
 public:
  void Load(HKEY root, const std::string& approvalKey);
  // Enabled for a name the key does not hold.
  EntryApproval Find(const std::string& valueName) const;

 private:
  // Few entries are ever disabled: a plain list, searched as the registry
  // matches names.
  std::vector<std::pair<std::string, EntryApproval>> disabled_;
};
