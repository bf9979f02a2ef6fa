#include "scan/registry_scan.h"

#include <string>
#include <utility>
#include <vector>

#include "scan/registry_access.h"
#include "scan/startup_approved.h"

const char* const RunLocationSuffixes[10] = {
    "Software\\Microsoft\\Windows\\Current Version\\RunServices",
    "Software\\Microsoft\\Windows\\Current Version\\RunServicesOnce",
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices",
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce",
    "Software\\Microsoft\\Windows\\Current Version\\Run",
    "Software\\Microsoft\\Windows\\Current Version\\RunOnce",
    "Software\\Microsoft\\Windows\\Current Version\\RunOnceEx",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx",
};

namespace {

// Appends the ten Run-type keys below `root` + `prefix`; `rootName` starts the
// shown path, spelled as ParseRegistryPath reads it back.
void AppendRunLocations(std::vector<RegistryLocation>& locations, HKEY root, const char* rootName,
                        const std::string& prefix) {
  for (const char* suffix : RunLocationSuffixes) {
    RegistryLocation location;
    location.root = root;
    location.subKey = prefix + suffix;
    location.keyPath = std::string(rootName) + '\\' + location.subKey;
    locations.push_back(std::move(location));
  }
}

}  // namespace

void ScanRegistry(RowSink& sink) {
  std::vector<RegistryLocation> locations;
  AppendRunLocations(locations, HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", std::string());
  AppendRunLocations(locations, HKEY_CURRENT_USER, "HKEY_CURRENT_USER", std::string());

  // Every key directly under HKEY_USERS is a hive, whatever its name. When it
  // cannot be listed the set stays empty and only the fixed keys are read.
  NameSet names;
  EnumSubKeyNames(HKEY_USERS, std::string(), names);
  for (const std::string& user : names)
    AppendRunLocations(locations, HKEY_USERS, "HKEY_USERS", user + '\\');
  names.clear();

  static const DWORD kPassTypes[] = {REG_SZ, REG_EXPAND_SZ};
  const bool approvals = SystemHonoursApproval();
  std::string text;
  std::string approvalKey;
  ApprovalTable table;
  for (const RegistryLocation& location : locations) {
    const bool switched =
        approvals && FindRunApprovalKey(location.root, location.subKey, approvalKey);
    bool tableLoaded = false;
    for (const DWORD& type : kPassTypes) {
      EnumValueNames(location.root, location.subKey, names, &type);
      for (const std::string& name : names) {
        // A value that turned into another type meanwhile reads nothing and
        // still succeeds: it shows with an empty text.
        text.clear();
        if (ReadStringValue(location.root, location.subKey, name, text) != ERROR_SUCCESS) continue;
        EntryApproval approval;
        if (switched) {
          // Only keys with entries cost a read of their switches.
          if (!tableLoaded) table.Load(location.root, approvalKey);
          tableLoaded = true;
          approval = table.Find(name);
        }
        sink.AddEntryRow(RegistryEntryType, name.c_str(), text.c_str(), location.keyPath.c_str(),
                         RowImage(RegistryEntryImage, approval), approval);
      }
      names.clear();
    }
  }
}
