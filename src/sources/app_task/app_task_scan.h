// Lists packaged apps' start-up tasks: of the current user (the classes below
// HKEY_CURRENT_USER\Software\Classes) and of every other loaded user's
// classes hive (HKEY_USERS\<SID>_Classes). Each installed package under
// ...\AppModel\Repository\Packages names its folder; its manifest declares
// the tasks; Windows keeps each task's switch in its own key,
// ...\AppModel\SystemAppData\<family name>\<TaskId>, which is the row's
// Location.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "scan/registry_access.h"
#include "scan/row_sink.h"
#include "sources/app_task/app_manifest.h"

// The Type text of its rows (sources/entry_source.h).
inline constexpr char AppTaskType[] = "App";

// One user's classes: the root, the prefix of its sub-keys ("Software\Classes\"
// or "<SID>_Classes\") and whose they are.
struct AppTaskRoot {
  HKEY root = nullptr;
  std::string prefix;
  EntryOwner owner;
};

// The current user's, then each other user's classes hive in name order.
std::vector<AppTaskRoot> AppTaskRoots();

// Below a root's prefix.
extern const char AppPackagesKey[];
extern const char AppStateKeysKey[];

// One task as the walk finds it.
struct AppTaskFound {
  std::wstring fullName;     // Name_Version_Arch_ResourceId_PublisherId
  std::wstring packageName;  // its Name
  std::wstring folder;       // PackageRootFolder
  const ManifestStartupTask* task = nullptr;
  std::string stateKey;      // the task's switch key, below the root
  std::string location;      // the same as the row shows it
};

// Every task of the root's packages, in package name order (letter case
// aside), then manifest order; a family's task met again (another version
// of the package) only once. A package whose name, folder or task ID could
// not name its keys exactly is left out.
void ForEachAppTask(const AppTaskRoot& root, const std::function<void(const AppTaskFound&)>& take);

// A task's switch as its key holds it.
struct AppTaskSwitch {
  bool keyExists = false;
  bool hasState = false;
  DWORD state = 0;  // 0 disabled, 1 by the user, 2 enabled, 3 by policy, 4 enabled by policy
  uint64_t lastDisabled = 0;  // FILETIME ticks, as written; 0 when there is none
};
AppTaskSwitch ReadAppTaskSwitch(HKEY root, const std::string& stateKey);

// Whether the machine's policy turns every task of the kind off
// (Policies\System EnableFullTrustStartupTasks or EnableUwpStartupTasks 0).
bool AppTasksOffByPolicy(bool fullTrust);

// The state a row shows: State 2 or 4 enabled and any other disabled; with no
// State, the manifest's Enabled for a desktop program and disabled for a UWP
// app. Locked: State 3 or 4, or the policy. Disabled since the
// LastDisabledTime only where it is a plausible time (`now` FILETIME ticks).
EntryApproval AppTaskApproval(const ManifestStartupTask& task, const AppTaskSwitch& taskSwitch,
                              bool offByPolicy, uint64_t now);

// The row's name: the task's DisplayName, an ms-resource: reference resolved
// where the system can; else the package's Name.
std::wstring AppTaskName(const AppTaskFound& found, bool currentUser);

// Adds one "App" row per task of every root.
void ScanAppTasks(RowSink& sink);

// A row's Location taken apart: the root, its prefix and the state key.
struct AppTaskKey {
  AppTaskRoot root;
  std::string stateKey;  // below root.root
  std::string family, taskId;
};
// False for a location that is no task key of a root AppTaskRoots lists.
bool ParseAppTaskLocation(const std::string& location, AppTaskKey& key);

// The task of that key as the installed package declares it now, with the
// package's folder; false when no package of the root declares it.
bool FindAppTask(const AppTaskKey& key, ManifestStartupTask& task, std::wstring* folder = nullptr);
