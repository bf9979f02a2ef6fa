// The read half of "App" rows: packaged apps' start-up tasks.
#include "details/image_resolution.h"
#include "sources/app_task/app_task_scan.h"
#include "sources/entry_source.h"
#include "util/string_utils.h"
#include "util/text_encoding.h"

namespace {

const char kPolicyKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";

class PackagedTaskSource : public EntrySource {
 public:
  const char* Type() const override { return AppTaskType; }
  void Scan(RowSink& sink) const override { ScanAppTasks(sink); }

  // The task's switch is its own key, not Windows' start-up switch.
  bool FindApprovalSlot(const std::string&, const std::string&, ApprovalSlot&) const override {
    return false;
  }

  // The package's folder and the program the manifest names below it.
  ResolvedImage Image(const std::string&, const std::string& location, const EntryOwner& owner,
                      const UserEnvironment&) const override {
    AppTaskKey key;
    if (!ParseAppTaskLocation(location, key)) return ResolvedImage();
    std::wstring folder = owner.folderFinalPath;
    ManifestStartupTask task;
    bool found = false;
    if (folder.empty()) {
      found = FindAppTask(key, task, &folder);
    } else {
      const std::wstring taskId = WideFromCodePage(key.taskId);
      for (const ManifestStartupTask& declared : *ReadManifestStartupTasks(folder))
        if (!found && declared.taskId == taskId) {
          task = declared;
          found = true;
        }
    }
    ResolvedImage image;
    if (!found || task.executable.empty()) return image;
    if (folder.back() != L'\\') folder += L'\\';
    if (!NarrowFromWide(folder + task.executable, image.path)) return ResolvedImage();
    image.exists = ImageFileExists(image.path);
    return image;
  }

  std::string RegistryKeyOf(const std::string& location) const override { return location; }
  std::string FileOf(const std::string&) const override { return std::string(); }

  // The language and the account change the name; the key is the task.
  bool NameIsIdentity() const override { return false; }

  // Each user's packages and each task's own key, never all of SystemAppData:
  // Windows writes there for every app all the time.
  void AddWatchedKeys(std::vector<RegistryLocation>& keys) const override {
    keys.emplace_back();
    keys.back().root = HKEY_LOCAL_MACHINE;
    keys.back().subKey = kPolicyKey;
    for (const AppTaskRoot& root : AppTaskRoots()) {
      keys.emplace_back();
      keys.back().root = root.root;
      keys.back().subKey = root.prefix + AppPackagesKey;
      ForEachAppTask(root, [&](const AppTaskFound& found) {
        keys.emplace_back();
        keys.back().root = root.root;
        keys.back().subKey = found.stateKey;
      });
    }
  }
  void AddWatchedFolders(std::vector<std::string>&) const override {}
};

}  // namespace

const EntrySource& AppTaskSource() {
  static const PackagedTaskSource source;
  return source;
}
