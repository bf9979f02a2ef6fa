// The read half of "Logon" rows: the Winlogon, policy and Windows values and
// the pending Active Setup components (sources/logon/logon_scan.h).
#include <set>

#include "details/image_resolution.h"
#include "scan/startup_approved.h"
#include "sources/entry_source.h"
#include "sources/logon/logon_scan.h"
#include "util/string_utils.h"

namespace {

class LogonValueSource : public EntrySource {
 public:
  const char* Type() const override { return LogonEntryType; }
  void Scan(RowSink& sink) const override { ScanLogon(sink); }

  // Windows keeps no switch for these: State n/a, F7 greyed.
  bool FindApprovalSlot(const std::string&, const std::string&, ApprovalSlot&) const override {
    return false;
  }

  // A stub is one command line; the Winlogon and Windows values are lists,
  // and the program that counts is the first one Windows does not bring.
  ResolvedImage Image(const std::string& command, const std::string& location,
                      const EntryOwner& owner, const UserEnvironment& environment) const override {
    LogonPlace place;
    const bool stub =
        ParseLogonPlace(std::string(), location, place) && place.kind == LogonKind::ActiveSetup;
    return CommandImage(stub ? command : FirstAddedProgram(command), owner.expandCommand,
                        environment);
  }

  // A component not yet run for a profile often has no key of that user's:
  // its own key below the machine is shown then.
  std::string RegistryKeyOf(const std::string& location) const override {
    LogonPlace place;
    if (!ParseLogonPlace(std::string(), location, place) || place.kind != LogonKind::ActiveSetup)
      return location;
    HKEY key = nullptr;
    if (RegOpenKeyExA(place.root, place.subKey.c_str(), 0, KEY_QUERY_VALUE, &key) ==
        ERROR_SUCCESS) {
      RegCloseKey(key);
      return location;
    }
    return "HKEY_LOCAL_MACHINE\\" + place.machineKey;
  }
  std::string FileOf(const std::string&) const override { return std::string(); }

  void AddWatchedKeys(std::vector<RegistryLocation>& keys) const override {
    auto watch = [&](HKEY root, std::string subKey) {
      keys.emplace_back();
      keys.back().root = root;
      keys.back().subKey = std::move(subKey);
    };
    watch(HKEY_LOCAL_MACHINE, WinlogonKey);
    const std::vector<std::string> components = ActiveSetupComponentKeys();
    for (const char* list : ActiveSetupKeys) watch(HKEY_LOCAL_MACHINE, list);
    for (const std::string& component : components) watch(HKEY_LOCAL_MACHINE, component);
    for (const RegistryLocation& profile : LogonProfileRoots()) {
      for (const char* key : {WinlogonKey, SystemPolicyKey, WindowsValuesKey})
        watch(profile.root, profile.subKey + key);
      // A component's key of the user's only where there is one: its list's
      // own watch sees one made (the stub ran), and in a large profile the
      // keys that are not there would cost the watch more than the rest.
      for (const char* list : ActiveSetupKeys) {
        watch(profile.root, profile.subKey + list);
        NameSet names;
        EnumSubKeyNames(profile.root, profile.subKey + list, names);
        std::set<std::string> stamped;  // letter case aside, as the registry names keys
        for (const std::string& name : names) stamped.insert(LowerCopy(name));
        const std::string prefix = std::string(list) + '\\';
        for (const std::string& component : components)
          if (component.compare(0, prefix.size(), prefix) == 0 &&
              stamped.count(LowerCopy(component.substr(prefix.size()))))
            watch(profile.root, profile.subKey + component);
      }
    }
  }
  void AddWatchedFolders(std::vector<std::string>&) const override {}
};

}  // namespace

const EntrySource& LogonSource() {
  static const LogonValueSource source;
  return source;
}
