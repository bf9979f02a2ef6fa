// Whose entry a row is and the environment its command is read in: the
// variables of this process or of another user's hive, and the account name
// the User column shows.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "scan/row_sink.h"

// Environment variables by name, letter case aside, as the 64-bit shell that
// starts the entries has them.
class UserEnvironment {
 public:
  // This process's variables; a 32-bit program on 64-bit Windows takes the
  // 64-bit folders (ProgramFiles, CommonProgramFiles) in place of its own.
  static UserEnvironment OfThisProcess();
  // The variables of the user whose hive is HKEY_USERS\<hive>: the machine's,
  // the profile folders that ProfileList names for the hive's SID, and the
  // hive's own Environment key. This user's hive gives OfThisProcess().
  static UserEnvironment OfHive(const std::string& hive);
  // The variables of the user whose profile folder is `profile`, found on the
  // disk with no hive known: the machine's, and that folder's.
  static UserEnvironment OfProfileFolder(const std::string& profile);

  void Set(const std::string& name, const std::string& value);
  void Remove(const std::string& name);
  // Null when the variable is not set.
  const std::string* Find(const std::string& name) const;
  // `text` with every %NAME% replaced. False when a name is not set: what the
  // text stands for cannot be known. A lone % stays as it is.
  bool Expand(const std::string& text, std::string& expanded) const;
  // `text` with every %NAME% that is set replaced; the others stay as they
  // are written, and `unknown` gets each of them ("%NAME%").
  std::string ExpandKnown(const std::string& text, std::vector<std::string>& unknown) const;

  // The user's own registry key (HKEY_CURRENT_USER, or HKEY_USERS\<hive>);
  // a null root for a profile with no hive.
  HKEY UserRoot() const { return userRoot_; }
  const std::string& UserKey() const { return userKey_; }

 private:
  std::map<std::string, std::string> variables_;  // by upper-case name
  HKEY userRoot_ = HKEY_CURRENT_USER;
  std::string userKey_;
};

// The string form of this process's user SID ("S-1-5-21-..."); empty when
// it cannot be read.
std::string CurrentUserSid();

// What the User column shows for an owner: "All Users" for the machine's
// entries, "DOMAIN\name" (or the SID itself) for the current user and a hive,
// the profile folder's name for a profile found on the disk.
std::string OwnerUserName(const EntryOwner& owner);

// The owner of the entries under a key: HKEY_LOCAL_MACHINE's are All Users',
// a hive's are named by the hive's key name.
EntryOwner OwnerOfKey(HKEY root, const std::string& subKey);
