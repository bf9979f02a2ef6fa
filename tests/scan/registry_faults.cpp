#include "registry_faults.h"

namespace {

RegistryFaults* active = nullptr;

ImportPatch* openPatch = nullptr;
ImportPatch* closePatch = nullptr;
ImportPatch* infoPatch = nullptr;
ImportPatch* enumValuePatch = nullptr;
ImportPatch* enumKeyPatch = nullptr;
ImportPatch* queryPatch = nullptr;
ImportPatch* enumValueWidePatch = nullptr;
ImportPatch* queryWidePatch = nullptr;

std::string Narrow(const wchar_t* name) {
  std::string narrow;
  for (; name && *name; ++name) narrow += static_cast<char>(*name);  // the tests' names are ASCII
  return narrow;
}

template <typename Function>
Function Original(const ImportPatch* patch) {
  return reinterpret_cast<Function>(patch->original());
}

LONG WINAPI OpenKey(HKEY root, LPCSTR subKey, DWORD options, REGSAM access, PHKEY key) {
  active->accessRights.push_back(access);
  active->openedRoots.push_back(root);
  if (active->failOpen) {
    LONG error = active->failOpen(root, subKey ? subKey : "", access);
    if (error != ERROR_SUCCESS) return error;
  }
  LONG result = Original<decltype(&RegOpenKeyExA)>(openPatch)(root, subKey, options, access, key);
  if (result == ERROR_SUCCESS) {
    ++active->opens;
    ++active->openKeys[*key];
  }
  return result;
}

LONG WINAPI CloseKey(HKEY key) {
  auto found = active->openKeys.find(key);
  if (found == active->openKeys.end()) {
    ++active->strayCloses;
  } else if (--found->second == 0) {
    active->openKeys.erase(found);
  }
  return Original<decltype(&RegCloseKey)>(closePatch)(key);
}

LONG WINAPI QueryInfo(HKEY key, LPSTR keyClass, LPDWORD classLength, LPDWORD reserved,
                      LPDWORD subKeys, LPDWORD longestSubKey, LPDWORD longestClass, LPDWORD values,
                      LPDWORD longestValue, LPDWORD longestData, LPDWORD security,
                      PFILETIME written) {
  if (active->failInfo) {
    LONG error = active->failInfo();
    if (error != ERROR_SUCCESS) return error;
  }
  LONG result = Original<decltype(&RegQueryInfoKeyA)>(infoPatch)(
      key, keyClass, classLength, reserved, subKeys, longestSubKey, longestClass, values,
      longestValue, longestData, security, written);
  if (result == ERROR_SUCCESS && active->changeInfo)
    active->changeInfo(subKeys, longestSubKey, values, longestValue);
  return result;
}

LONG WINAPI EnumValue(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved,
                      LPDWORD type, LPBYTE data, LPDWORD dataSize) {
  ++active->enumCalls;
  if (active->failEnum) {
    LONG error = active->failEnum(index);
    if (error != ERROR_SUCCESS) return error;
  }
  return Original<decltype(&RegEnumValueA)>(enumValuePatch)(key, index, name, nameLength, reserved,
                                                            type, data, dataSize);
}

LONG WINAPI EnumKey(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved,
                    LPSTR keyClass, LPDWORD classLength, PFILETIME written) {
  ++active->enumCalls;
  if (active->failEnum) {
    LONG error = active->failEnum(index);
    if (error != ERROR_SUCCESS) return error;
  }
  return Original<decltype(&RegEnumKeyExA)>(enumKeyPatch)(key, index, name, nameLength, reserved,
                                                          keyClass, classLength, written);
}

LONG WINAPI QueryValue(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                       LPDWORD size) {
  LONG result =
      Original<decltype(&RegQueryValueExA)>(queryPatch)(key, name, reserved, type, data, size);
  if (active->changeQuery)
    result = active->changeQuery(name ? name : "", data != nullptr, size, result);
  return result;
}

// The wide forms, which the value walks and reads use, take the same faults.
LONG WINAPI EnumValueWide(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength,
                          LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize) {
  ++active->enumCalls;
  if (active->failEnum) {
    LONG error = active->failEnum(index);
    if (error != ERROR_SUCCESS) return error;
  }
  LONG result = Original<decltype(&RegEnumValueW)>(enumValueWidePatch)(
      key, index, name, nameLength, reserved, type, data, dataSize);
  if (active->changeQuery && (result == ERROR_SUCCESS || result == ERROR_MORE_DATA))
    result = active->changeQuery(Narrow(name), data != nullptr, dataSize, result);
  return result;
}

LONG WINAPI QueryValueWide(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                           LPDWORD size) {
  LONG result =
      Original<decltype(&RegQueryValueExW)>(queryWidePatch)(key, name, reserved, type, data, size);
  if (active->changeQuery) result = active->changeQuery(Narrow(name), data != nullptr, size, result);
  return result;
}

}  // namespace

RegistryFaults::RegistryFaults() {
  active = this;
  openPatch = patches_.Add("RegOpenKeyExA", reinterpret_cast<void*>(&OpenKey));
  closePatch = patches_.Add("RegCloseKey", reinterpret_cast<void*>(&CloseKey));
  infoPatch = patches_.Add("RegQueryInfoKeyA", reinterpret_cast<void*>(&QueryInfo));
  enumValuePatch = patches_.Add("RegEnumValueA", reinterpret_cast<void*>(&EnumValue));
  enumKeyPatch = patches_.Add("RegEnumKeyExA", reinterpret_cast<void*>(&EnumKey));
  queryPatch = patches_.Add("RegQueryValueExA", reinterpret_cast<void*>(&QueryValue));
  enumValueWidePatch = patches_.Add("RegEnumValueW", reinterpret_cast<void*>(&EnumValueWide));
  queryWidePatch = patches_.Add("RegQueryValueExW", reinterpret_cast<void*>(&QueryValueWide));
}

RegistryFaults::~RegistryFaults() {
  patches_.Undo();
  active = nullptr;
}
