#include "scan/registry_scan.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "scan/registry_access.h"

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

  // One reading of each key gives both passes: its REG_SZ values by name,
  // then its REG_EXPAND_SZ values by name.
  using ValuesByName = std::map<std::string, std::string, MultibyteLess>;
  ValuesByName strings, expandable;
  for (const RegistryLocation& location : locations) {
    EnumStringValues(location.root, location.subKey,
                     [&](const std::string& name, DWORD type, const std::string& text) {
                       (type == REG_SZ ? strings : expandable).emplace(name, text);
                     });
    for (ValuesByName* pass : {&strings, &expandable}) {
      for (const auto& [name, text] : *pass)
        sink.AddEntryRow(RegistryEntryType, name.c_str(), text.c_str(), location.keyPath.c_str(),
                         RegistryEntryImage);
      pass->clear();
    }
  }
}
