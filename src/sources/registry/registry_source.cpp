// The read half of "Registry" rows: string values of the Run-type keys.
#include "details/image_resolution.h"
#include "scan/startup_approved.h"
#include "sources/entry_source.h"
#include "sources/registry/registry_scan.h"

namespace {

const char* const kApprovalKeys[] = {
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run32",
};

class RegistryRunSource : public EntrySource {
 public:
  const char* Type() const override { return RegistryEntryType; }
  void Scan(RowSink& sink) const override { ScanRegistry(sink); }

  bool FindApprovalSlot(const std::string& name, const std::string& location,
                        ApprovalSlot& slot) const override {
    RegistryLocation key;
    if (!ParseRegistryPath(location, key) || !FindRunApprovalKey(key.root, key.subKey, slot.subKey))
      return false;
    slot.root = key.root;
    slot.valueName = name;
    return true;
  }

  ResolvedImage Image(const std::string& command, const std::string&, const EntryOwner& owner,
                      const UserEnvironment& environment) const override {
    return CommandImage(command, owner.expandCommand, environment);
  }

  std::string RegistryKeyOf(const std::string& location) const override { return location; }
  std::string FileOf(const std::string&) const override { return std::string(); }

  void AddWatchedKeys(std::vector<RegistryLocation>& keys) const override {
    for (RegistryLocation& location : RunKeyLocations()) keys.push_back(std::move(location));
    if (!SystemHonoursApproval()) return;
    for (const RegistryLocation& owner : StartupKeyOwners())
      for (const char* key : kApprovalKeys) {
        keys.emplace_back();
        keys.back().root = owner.root;
        keys.back().subKey = owner.subKey + key;
      }
  }
  void AddWatchedFolders(std::vector<std::string>&) const override {}
};

}  // namespace

const EntrySource& RegistrySource() {
  static const RegistryRunSource source;
  return source;
}
