#include "sources/registry/registry_scan.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "scan/registry_access.h"
#include "scan/startup_approved.h"
#include "details/user_environment.h"

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

// Windows starts every value of this key too, whatever its name.
const char PolicyRunSuffix[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";

const char* const ShadowRunSuffixes[3] = {
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Terminal Server\\Install\\Software\\"
    "Microsoft\\Windows\\CurrentVersion\\Run",
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Terminal Server\\Install\\Software\\"
    "Microsoft\\Windows\\CurrentVersion\\RunOnce",
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Terminal Server\\Install\\Software\\"
    "Microsoft\\Windows\\CurrentVersion\\RunOnceEx",
};

namespace {

constexpr size_t kSoftwareLength = sizeof "Software\\" - 1;

// Where the keys of one root are read: the suffixes with their leading
// "Software\" replaced by `software`.
struct RunRoot {
  HKEY root;
  const char* rootName;  // starts the shown path, spelled as ParseRegistryPath reads it back
  const char* software;
  bool thirtyTwoBitView;  // read only where Windows has that view
};

// The fixed roots, in the order of their rows; the user hives follow.
const RunRoot kFixedRunRoots[] = {
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "Software\\", false},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "Software\\Wow6432Node\\", true},
    {HKEY_CURRENT_USER, "HKEY_CURRENT_USER", "Software\\", false},
};

void AppendRunLocations(std::vector<RegistryLocation>& locations, HKEY root, const char* rootName,
                        const std::string& software, bool thirtyTwoBitView = false) {
  auto append = [&](const char* suffix) {
    RegistryLocation location;
    location.root = root;
    location.subKey = software + (suffix + kSoftwareLength);
    // Windows shares a few keys between its views (the policies among them):
    // such a key is listed once, under its own path.
    if (thirtyTwoBitView && IsSameKey(root, location.subKey, suffix)) return;
    location.keyPath = std::string(rootName) + '\\' + location.subKey;
    locations.push_back(std::move(location));
  };
  for (const char* suffix : RunLocationSuffixes) append(suffix);
  append(PolicyRunSuffix);
  // A Remote Desktop Session Host copies these into each user's keys at
  // logon; only the machine has them.
  if (root == HKEY_LOCAL_MACHINE)
    for (const char* suffix : ShadowRunSuffixes) append(suffix);
}

}  // namespace

std::vector<RegistryLocation> RunKeyLocations() {
  std::vector<RegistryLocation> locations;
  for (const RunRoot& root : kFixedRunRoots)
    if (!root.thirtyTwoBitView || MachineHas32BitRegistryView())
      AppendRunLocations(locations, root.root, root.rootName, root.software, root.thirtyTwoBitView);

  // Every key directly under HKEY_USERS is a hive, whatever its name. When it
  // cannot be listed the set stays empty and only the fixed keys are read.
  NameSet names;
  EnumSubKeyNames(HKEY_USERS, std::string(), names);
  for (const std::string& user : names)
    AppendRunLocations(locations, HKEY_USERS, "HKEY_USERS", user + "\\Software\\");
  return locations;
}

void ScanRegistry(RowSink& sink) {
  const std::vector<RegistryLocation> locations = RunKeyLocations();

  // One reading of each key gives both passes: its REG_SZ values by name,
  // then its REG_EXPAND_SZ values by name. Two names may show the same text
  // (a NUL or a character that cannot be shown); each is still its own row,
  // which keeps its exact name.
  struct ValueFound {
    std::string text;
    std::wstring exactName;  // where the shown name is not exact
  };
  using ValuesByName = std::multimap<std::string, ValueFound, MultibyteLess>;
  ValuesByName strings, expandable;
  const bool approvals = SystemHonoursApproval();
  std::string approvalKey;
  ApprovalTable table;
  for (const RegistryLocation& location : locations) {
    EnumStringValues(location.root, location.subKey,
                     [&](const std::string& name, DWORD type, const std::string& text,
                         const std::wstring& exactName) {
                       (type == REG_SZ ? strings : expandable)
                           .emplace(name, ValueFound{text, exactName});
                     });
    // Only keys with entries cost a read of their switches.
    const bool switched = approvals && !(strings.empty() && expandable.empty()) &&
                          FindRunApprovalKey(location.root, location.subKey, approvalKey);
    if (switched) table.Load(location.root, approvalKey);
    EntryOwner owner = OwnerOfKey(location.root, location.subKey);
    for (ValuesByName* pass : {&strings, &expandable}) {
      owner.expandCommand = pass == &expandable;
      for (const auto& [name, found] : *pass) {
        // A name the shown text cannot give back has no switch of that text.
        const EntryApproval approval =
            switched && found.exactName.empty() ? table.Find(name) : EntryApproval();
        owner.exactName = found.exactName;
        sink.AddEntryRow(RegistryEntryType, name.c_str(), found.text.c_str(),
                         location.keyPath.c_str(), RowImage(RegistryEntryImage, approval), approval,
                         owner);
      }
      pass->clear();
    }
  }
}
