// The read half of "Start-Up" rows: files in the start-up folders.
#include "details/image_resolution.h"
#include "scan/startup_approved.h"
#include "sources/entry_source.h"
#include "sources/startup_folder/startup_folder_scan.h"
#include "util/string_utils.h"

namespace {

const char* const kShellFolderKeys[] = {
    "Software\\Microsoft\\Windows\\Current Version\\Explorer\\Shell Folders",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
};
const char kApprovalKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder";

class StartupFileSource : public EntrySource {
 public:
  const char* Type() const override { return StartupFileType; }
  void Scan(RowSink& sink) const override { ScanStartupFolders(sink); }

  bool FindApprovalSlot(const std::string&, const std::string& location,
                        ApprovalSlot& slot) const override {
    // The file's own name, as Windows names the value; the Name column is
    // trimmed.
    const size_t separator = FindLastCharOf(location, "\\/");
    if (separator == std::string::npos || separator + 1 == location.size()) return false;
    if (!FindFolderApprovalKey(ReadShellStartupFolders(), location.substr(0, separator + 1),
                               slot.root, slot.subKey))
      return false;
    slot.valueName = location.substr(separator + 1);
    return true;
  }

  ResolvedImage Image(const std::string&, const std::string& location, const EntryOwner&,
                      const UserEnvironment& environment) const override {
    return StartupImage(location, environment);
  }

  std::string RegistryKeyOf(const std::string&) const override { return std::string(); }
  std::string FileOf(const std::string& location) const override { return location; }

  void AddWatchedKeys(std::vector<RegistryLocation>& keys) const override {
    const bool approvals = SystemHonoursApproval();
    for (const RegistryLocation& owner : StartupKeyOwners()) {
      for (const char* key : kShellFolderKeys) {
        keys.emplace_back();
        keys.back().root = owner.root;
        keys.back().subKey = owner.subKey + key;
      }
      if (!approvals) continue;
      keys.emplace_back();
      keys.back().root = owner.root;
      keys.back().subKey = owner.subKey + kApprovalKey;
    }
  }

  void AddWatchedFolders(std::vector<std::string>& folders) const override {
    for (RegistryLocation& folder : StartupFolderCandidates())
      folders.push_back(std::move(folder.value));
  }
};

}  // namespace

const EntrySource& StartupFolderSource() {
  static const StartupFileSource source;
  return source;
}
