// Registry access: each function opens the key it needs, does one thing, closes
// the key on every path and returns the registry's own result code. Keys of
// HKEY_LOCAL_MACHINE are always those of the 64-bit view, so that a path means
// the same key to the 32-bit and the 64-bit program.
#pragma once

#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

// Names one registry key, or one value of it.
struct RegistryLocation {
  HKEY root = nullptr;
  std::string subKey;     // below root, backslash separated, no leading separator
  std::string valueName;  // empty when the record names only a key
  std::string keyPath;    // display path: root name, separator, sub-key
  std::string value;      // a value's text once read
};

// True on 64-bit Windows, where 32-bit programs write their machine-wide keys
// below HKEY_LOCAL_MACHINE\Software\Wow6432Node. False on 32-bit Windows.
bool MachineHas32BitRegistryView();

// `access` with the flag that opens HKEY_LOCAL_MACHINE's keys in the 64-bit view.
REGSAM MachineViewAccess(HKEY root, REGSAM access);

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

// ReadStringValue on a key the caller holds open.
LONG ReadStringValueOf(HKEY key, const char* valueName, std::string& text,
                       const char* defaultText = nullptr);

// Type and byte size of a value without its data; either output may be null.
LONG QueryValueInfo(HKEY root, const std::string& subKey, const std::string& valueName, DWORD* type,
                    DWORD* size);

LONG DeleteValue(HKEY root, const std::string& subKey, const std::string& valueName);

// Adds the names of the key's values (of type *typeFilter only, when given).
LONG EnumValueNames(HKEY root, const std::string& subKey, NameSet& names,
                    const DWORD* typeFilter = nullptr);

// Type and raw bytes of one value, up to `sizeMax` bytes. A larger value
// returns ERROR_MORE_DATA with `type` set and `data` empty; on any other
// failure both outputs are left as they were.
LONG ReadValueBytes(HKEY root, const std::string& subKey, const std::string& valueName,
                    DWORD sizeMax, DWORD& type, std::string& data);

// Sets one value, creating the key and its parents when they are missing.
LONG WriteValueBytes(HKEY root, const std::string& subKey, const std::string& valueName, DWORD type,
                     const std::string& data);

// A value named by its exact UTF-16 name, which may hold any code unit, a
// zero included (such a name goes through ntdll, the Win32 calls stop at the
// zero). The data are the bytes the registry holds, strings as UTF-16LE.
// Reads the whole value, whatever its size.
LONG ReadValueExact(HKEY root, const std::string& subKey, const std::wstring& valueName,
                    DWORD& type, std::string& data);
// Sets it, creating the key and its parents when they are missing.
LONG WriteValueExact(HKEY root, const std::string& subKey, const std::wstring& valueName,
                     DWORD type, const std::string& data);

// Adds the names of the key's direct sub-keys.
LONG EnumSubKeyNames(HKEY root, const std::string& subKey, NameSet& names);

// Hands every REG_SZ and REG_EXPAND_SZ value of the key, in the key's own
// order, to `take` with its name as a row shows it (ShownTextFromWide), its
// type, its text (up to its first zero, in the process code page) and, when
// the shown name does not convert back to it, its exact UTF-16 name (else
// empty). Enumerated in UTF-16, opening the key once; a value is read again
// while its data grows, never left out for its length.
using StringValueHandler = std::function<void(const std::string& name, DWORD type,
                                              const std::string& text,
                                              const std::wstring& exactName)>;
LONG EnumStringValues(HKEY root, const std::string& subKey, const StringValueHandler& take);

// Type and whole data of the value whose UTF-16 name is exactly `valueName`,
// NULs included, found among the key's values; ERROR_FILE_NOT_FOUND when
// there is none. Stops at the first failure, with its result.
LONG ReadValueByExactName(HKEY root, const std::string& subKey, const std::wstring& valueName,
                          DWORD& type, std::string& data);

// Deletes the value whose UTF-16 name is exactly `valueName`: through the
// wide function, or through the native NtDeleteValueKey (looked up at run
// time) when the name holds a NUL, which the registry functions would end it at.
LONG DeleteValueByExactName(HKEY root, const std::string& subKey, const std::wstring& valueName);

// Whether the narrow `valueName` stands for exactly one value of the key, and
// passes on to the registry as that value's real name: false when a value's
// real name has no exact form in the process code page and shows as this
// text, or when this text would reach another value. True when the key
// cannot be read: no value is mistaken then either.
bool IsValueNameExact(HKEY root, const std::string& subKey, const std::string& valueName);

// True when both paths lead to one key, as the paths of a key that Windows
// shares between its two registry views do. False when either cannot be opened.
bool IsSameKey(HKEY root, const std::string& subKey, const std::string& otherSubKey);

// Splits "HKEY_LOCAL_MACHINE\Software\..." into root and sub-key; false (and
// `location` untouched) when the text has no separator or an unknown root name.
bool ParseRegistryPath(std::string path, RegistryLocation& location);

// The name ParseRegistryPath reads for a root handle; empty for another handle.
std::string RegistryRootName(HKEY root);

// Whose keys the sources read under the same names: the machine, the current
// user and every user hive, as roots with the prefix of their sub-keys
// (empty, or a hive's name and a separator).
std::vector<RegistryLocation> StartupKeyOwners();
