// A heavy synthetic start-up profile for the benchmark: thousands of Run-key
// values over the machine, the current user and 50 hives, tens of thousands
// of files in nested start-up folders, the current user's packaged apps with
// a start-up task each and the logon values, all inside a sandbox; and
// hundreds of task files in a folder of their own in the system's task
// folder, where the task scan reads them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct ProfileShape {
  int hives = 50;
  int stringValues = 2000;
  int files = 20000;
  int depth = 8;
  int fileTypes = 50;
  int appPackages = 200;  // every other one with its task's switch key
  // Active Setup components of the machine, each stamped as run for every
  // other profile; and per profile a Windows `load` value and Windows'
  // default shell, which is no row.
  int logonComponents = 10;
  int tasks = 500;  // task files with a logon trigger
};

// Maps HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS and HKEY_CLASSES_ROOT
// onto scratch keys and fills them and a temporary folder tree; undoes it all
// when destroyed.
class HeavyProfile {
 public:
  explicit HeavyProfile(const ProfileShape& shape);
  ~HeavyProfile();
  HeavyProfile(const HeavyProfile&) = delete;
  HeavyProfile& operator=(const HeavyProfile&) = delete;

  bool ok() const { return ok_; }
  // Every Run-type key of every root, as the scan looks at them.
  struct RunKey {
    HKEY root;
    std::string subKey;
    std::string keyPath;
  };
  const std::vector<RunKey>& RunKeys() const { return runKeys_; }
  const std::vector<std::string>& StartupFolders() const { return startupFolders_; }
  // The current user's installed packages, below HKEY_CURRENT_USER.
  static const std::string& AppPackagesKey();
  // The current user and the hives, whose logon values are read.
  struct ProfileRoot {
    HKEY root;
    std::string prefix;   // "" or "<hive>\"
    std::string keyPath;  // the root's name and a separator, then the prefix
  };
  const std::vector<ProfileRoot>& ProfileRoots() const { return profileRoots_; }
  // The "Logon" rows the scan is to give.
  size_t LogonRows() const { return logonRows_; }
  // The task folder the scan reads, which holds the profile's task files
  // in a folder of their own.
  const std::string& TaskFolder() const { return taskFolder_; }

 private:
  void FillRegistry(const ProfileShape& shape);
  void FillFolders(const ProfileShape& shape);
  void FillApps(const ProfileShape& shape);
  void FillLogon(const ProfileShape& shape);
  void FillTasks(const ProfileShape& shape);

  bool ok_ = true;
  std::string scratch_;
  std::string folder_;
  HKEY mapped_[4] = {};
  std::vector<RunKey> runKeys_;
  std::vector<std::string> startupFolders_;  // as the Shell Folders values name them
  std::vector<ProfileRoot> profileRoots_;
  size_t logonRows_ = 0;
  std::string taskFolder_, ownTasks_;
};
