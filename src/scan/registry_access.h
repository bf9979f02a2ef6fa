// Registry access: each function opens the key it needs, does one thing, closes
// the key on every path and returns the registry's own result code.
#pragma once

#include <windows.h>

#include <set>
#include <string>

// Names one registry key, or one value of it.
struct RegistryLocation {
  HKEY root = nullptr;
  std::string subKey;     // below root, backslash separated, no leading separator
  std::string valueName;  // empty when the record names only a key
  std::string keyPath;    // display path: root name, separator, sub-key
  std::string value;      // a value's text once read
};

// Byte-wise, case-sensitive order of the system code page: "Zeta" < "alpha".
struct MultibyteLess {
  bool operator()(const std::string& a, const std::string& b) const;
};
using NameSet = std::set<std::string, MultibyteLess>;

// Reads a REG_SZ or REG_EXPAND_SZ value as stored (nothing expanded), up to its
// first zero byte. On failure `text` becomes `defaultText` when one is given and
// is left as it was otherwise. A value of another type returns 0 and reads
// nothing, so callers that need text start with an empty `text`.
LONG ReadStringValue(HKEY root, const std::string& subKey, const std::string& valueName,
                     std::string& text, const char* defaultText = nullptr);

// Type and byte size of a value without its data; either output may be null.
LONG QueryValueInfo(HKEY root, const std::string& subKey, const std::string& valueName, DWORD* type,
                    DWORD* size);

// `view` may add KEY_WOW64_64KEY (NativeView) to the access asked for.
LONG DeleteValue(HKEY root, const std::string& subKey, const std::string& valueName,
                 REGSAM view = 0);

// Adds the names of the key's values (of type *typeFilter only, when given).
LONG EnumValueNames(HKEY root, const std::string& subKey, NameSet& names,
                    const DWORD* typeFilter = nullptr, REGSAM view = 0);

// The registry of the system itself, also for a 32-bit program on 64-bit
// Windows, where it would otherwise see the 32-bit view of the machine's
// keys. 32-bit Windows ignores the flag.
inline constexpr REGSAM NativeView = KEY_WOW64_64KEY;

// Type and raw bytes of one value, up to `sizeMax` bytes. A larger value
// returns ERROR_MORE_DATA with `type` set and `data` empty; on any other
// failure both outputs are left as they were.
LONG ReadValueBytes(HKEY root, const std::string& subKey, const std::string& valueName,
                    DWORD sizeMax, DWORD& type, std::string& data, REGSAM view = 0);

// Sets one value, creating the key and its parents when they are missing.
LONG WriteValueBytes(HKEY root, const std::string& subKey, const std::string& valueName, DWORD type,
                     const std::string& data, REGSAM view = 0);

// Adds the names of the key's direct sub-keys.
LONG EnumSubKeyNames(HKEY root, const std::string& subKey, NameSet& names);

// Splits "HKEY_LOCAL_MACHINE\Software\..." into root and sub-key; false (and
// `location` untouched) when the text has no separator or an unknown root name.
bool ParseRegistryPath(std::string path, RegistryLocation& location);
