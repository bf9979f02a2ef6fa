// Stands between the program and the registry functions the scan layer calls:
// keeps track of the keys opened and closed, and lets a test make chosen calls
// fail or report other figures, as when the registry changes during a scan.
// One object at a time; set up the test's keys before creating it.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/import_patch.h"

class RegistryFaults {
 public:
  RegistryFaults();
  ~RegistryFaults();
  RegistryFaults(const RegistryFaults&) = delete;
  RegistryFaults& operator=(const RegistryFaults&) = delete;

  bool applied() const { return patches_.applied(); }

  // Each returns 0 to let the call through, or the error to report instead.
  std::function<LONG(HKEY root, const std::string& subKey, REGSAM access)> failOpen;
  std::function<LONG(DWORD index)> failEnum;  // value and sub-key enumeration alike

  // Called after the real RegQueryInfoKeyA succeeded; may change its figures
  // (any of the pointers may be null).
  std::function<void(DWORD* subKeys, DWORD* longestSubKey, DWORD* values, DWORD* longestValue)>
      changeInfo;
  // Returns an error to fail RegQueryInfoKeyA with, or 0.
  std::function<LONG()> failInfo;

  // Called after the real RegQueryValueExA or W, and after RegEnumValueW
  // when it found the value, with its result; returns the result to report
  // and may change the size reported. `withData` tells the size query from
  // the read.
  std::function<LONG(const std::string& name, bool withData, DWORD* size, LONG result)> changeQuery;

  int opens = 0;                     // successful opens
  int enumCalls = 0;                 // RegEnumValueA/W and RegEnumKeyExA calls
  std::vector<REGSAM> accessRights;  // of every open asked for
  std::vector<HKEY> openedRoots;     // the root of each of those opens
  std::map<HKEY, int> openKeys;      // opened and not yet closed
  int strayCloses = 0;               // closes of keys not opened here

 private:
  ImportPatchSet patches_{"advapi32.dll"};
};
