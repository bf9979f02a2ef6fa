#include "scan/registry_access.h"

#include <mbstring.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "util/string_utils.h"
#include "util/text_encoding.h"

// The 32-bit program on 64-bit Windows would otherwise be sent to the
// Wow6432Node copy of every machine key it names.
REGSAM MachineViewAccess(HKEY root, REGSAM access) {
  return root == HKEY_LOCAL_MACHINE && MachineHas32BitRegistryView() ? access | KEY_WOW64_64KEY
                                                                     : access;
}

namespace {

// Closes the key it holds on every way out of the function that opened it.
class OpenKey {
 public:
  OpenKey(HKEY root, const std::string& subKey, REGSAM access) {
    HKEY key = nullptr;
    result_ = RegOpenKeyExA(root, subKey.c_str(), 0, MachineViewAccess(root, access), &key);
    if (result_ == ERROR_SUCCESS) key_ = key;
  }
  ~OpenKey() {
    if (key_) RegCloseKey(key_);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;

  LONG result() const { return result_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
  LONG result_;
};

// Bytes for one name or one value's data. Nearly all of them are short, so
// they live on the stack and a scan of many values allocates nothing here.
class ScratchBuffer {
 public:
  explicit ScratchBuffer(DWORD size) { Resize(size); }
  ScratchBuffer(const ScratchBuffer&) = delete;
  ScratchBuffer& operator=(const ScratchBuffer&) = delete;

  // Contents are not kept.
  void Resize(DWORD size) {
    if (size <= sizeof local_) {
      data_ = local_;
    } else {
      heap_.reset(new char[size]);
      data_ = heap_.get();
    }
    size_ = size;
  }
  char* data() { return data_; }
  DWORD size() const { return size_; }

 private:
  char local_[512];
  std::unique_ptr<char[]> heap_;
  char* data_ = local_;
  DWORD size_ = 0;
};

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ;
}

// Length of the text at the start of `bytes`: up to its first zero, at most `size`.
size_t TextLength(const char* bytes, size_t size) {
  const void* zero = std::memchr(bytes, 0, size);
  return zero ? static_cast<size_t>(static_cast<const char*>(zero) - bytes) : size;
}

// The text at the start of UTF-16 data, up to its first zero, in the process
// code page.
std::string TextOfWideData(const std::vector<BYTE>& data, DWORD size) {
  const wchar_t* units = reinterpret_cast<const wchar_t*>(data.data());
  const size_t count = std::min<size_t>(size, data.size()) / sizeof(wchar_t);
  std::string text;
  NarrowFromWide(std::wstring(units, std::find(units, units + count, L'\0')), text);
  return text;
}

// Largest buffer a name can need from the narrow functions: at most 16,383
// (value) or 255 (key) UTF-16 units, each at most three bytes in any multibyte
// code page, and the terminating zero.
constexpr DWORD kValueNameBytesMax = 16383 * 3 + 1;
constexpr DWORD kKeyNameBytesMax = 255 * 3 + 1;

// Calls enumAt(index, buffer, &length) for index 0, 1, 2, ... and hands each
// name found to take(name, length).
//
// Ends at ERROR_NO_MORE_ITEMS. An index that fails otherwise adds nothing and
// the walk goes on, since the key may have changed under it; but once an index
// at or past the count reported when the walk began fails, it stops. Values
// added meanwhile are still read (their indices succeed), while a key deleted
// meanwhile, whose every index fails, ends after `count` calls.
//
// The buffer is sized from the reported longest name, which can be too short
// after a longer name appeared, or in a multibyte code page where the length
// may count characters rather than bytes: ERROR_MORE_DATA retries that index
// once with room for any name, and the walk keeps that room.
template <typename EnumAt, typename Take>
void WalkNames(DWORD count, DWORD longest, DWORD bytesMax, EnumAt enumAt, Take take) {
  ScratchBuffer name(longest < bytesMax ? longest + 1 : bytesMax);
  for (DWORD index = 0;; ++index) {
    DWORD length = name.size();
    LONG result = enumAt(index, name.data(), &length);
    if (result == ERROR_MORE_DATA && name.size() < bytesMax) {
      name.Resize(bytesMax);
      length = name.size();
      result = enumAt(index, name.data(), &length);
    }
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result == ERROR_SUCCESS) {
      take(name.data(), TextLength(name.data(), length < name.size() ? length : name.size()));
    } else if (index >= count) {
      break;
    }
  }
}

// The key's full name as the system keeps it ("\REGISTRY\MACHINE\..."),
// whatever path led to it; empty when it cannot be learnt.
std::wstring KeyObjectName(HKEY key) {
  using NtQueryKeyFunction = LONG(NTAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  static const auto queryKey = reinterpret_cast<NtQueryKeyFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryKey")));
  const int kKeyNameInformation = 3;
  if (!queryKey) return std::wstring();
  std::vector<ULONG> buffer(256);  // a length, then the name's UTF-16 units
  for (;;) {
    ULONG needed = 0;
    const ULONG size = static_cast<ULONG>(buffer.size() * sizeof(ULONG));
    const LONG status = queryKey(key, kKeyNameInformation, buffer.data(), size, &needed);
    if (status >= 0) {
      const ULONG bytes = buffer[0] < size - sizeof(ULONG) ? buffer[0] : size - sizeof(ULONG);
      return std::wstring(reinterpret_cast<const wchar_t*>(buffer.data() + 1),
                          bytes / sizeof(wchar_t));
    }
    if (needed <= size) return std::wstring();
    buffer.resize(needed / sizeof(ULONG) + 1);
  }
}

struct RootName {
  const char* name;
  HKEY handle;
};

// In the order the parser tries them.
const RootName kRootNames[] = {
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKEY_USERS", HKEY_USERS},
    {"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
    {"HKEY_PERFORMANCE_TEXT", HKEY_PERFORMANCE_TEXT},
    {"HKEY_PERFORMANCE_NLSTEXT", HKEY_PERFORMANCE_NLSTEXT},
    {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    {"HKEY_DYN_DATA", HKEY_DYN_DATA},
};

}  // namespace

bool MachineHas32BitRegistryView() {
#ifdef _WIN64
  return true;
#else
  static const bool wow64 = [] {
    BOOL isWow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &isWow64) && isWow64;
  }();
  return wow64;
#endif
}

bool MultibyteLess::operator()(const std::string& a, const std::string& b) const {
  return _mbscmp(reinterpret_cast<const unsigned char*>(a.c_str()),
                 reinterpret_cast<const unsigned char*>(b.c_str())) < 0;
}

// Read in UTF-16 whatever the code page: the narrow call would hand over a
// look-alike of a character the code page lacks (another folder's path at
// worst), where this shows the code page's default character. A value that
// grew between two reads is read again, whole.
LONG ReadStringValueOf(HKEY key, const char* valueName, std::string& text,
                       const char* defaultText) {
  const std::wstring name = WideFromCodePage(valueName ? valueName : "");
  std::vector<BYTE> data(512);
  DWORD type = REG_NONE;
  DWORD size = 0;
  LONG result;
  for (;;) {
    size = static_cast<DWORD>(data.size());
    result = RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size);
    if (result != ERROR_MORE_DATA || !IsStringType(type) || size <= data.size()) break;
    data.resize(size);
  }
  // Another type: its data is not wanted.
  if (result == ERROR_MORE_DATA && !IsStringType(type)) result = ERROR_SUCCESS;
  if (result == ERROR_SUCCESS) {
    if (IsStringType(type))
      text = TextOfWideData(data, size);
    else if (defaultText)
      text = defaultText;
    return ERROR_SUCCESS;
  }
  if (defaultText) text = defaultText;
  return result;
}

LONG ReadStringValue(HKEY root, const std::string& subKey, const std::string& valueName,
                     std::string& text, const char* defaultText) {
  OpenKey key(root, subKey, KEY_READ);
  if (key.result() == ERROR_SUCCESS)
    return ReadStringValueOf(key.get(), valueName.c_str(), text, defaultText);
  if (defaultText) text = defaultText;
  return key.result();
}

LONG QueryValueInfo(HKEY root, const std::string& subKey, const std::string& valueName, DWORD* type,
                    DWORD* size) {
  OpenKey key(root, subKey, KEY_READ);
  if (key.result() != ERROR_SUCCESS) return key.result();
  return RegQueryValueExA(key.get(), valueName.c_str(), nullptr, type, nullptr, size);
}

LONG DeleteValue(HKEY root, const std::string& subKey, const std::string& valueName) {
  OpenKey key(root, subKey, KEY_WRITE);
  if (key.result() != ERROR_SUCCESS) return key.result();
  return RegDeleteValueA(key.get(), valueName.c_str());
}

namespace {

enum class Children { Values, SubKeys };

// Opens the key for reading and walks the names of its values or of its
// sub-keys: WalkNames with enumAt(key, index, buffer, &length) and
// take(key, name, length). The key's own failures are the result.
template <typename EnumAt, typename Take>
LONG WalkChildren(HKEY root, const std::string& subKey, Children children, EnumAt enumAt,
                  Take take) {
  OpenKey key(root, subKey, KEY_READ);
  if (key.result() != ERROR_SUCCESS) return key.result();
  const bool values = children == Children::Values;
  DWORD count = 0;
  DWORD longest = 0;
  LONG result = RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, values ? nullptr : &count,
                                 values ? nullptr : &longest, nullptr, values ? &count : nullptr,
                                 values ? &longest : nullptr, nullptr, nullptr, nullptr);
  if (result != ERROR_SUCCESS) return result;
  if (count == 0) return ERROR_SUCCESS;
  WalkNames(
      count, longest, values ? kValueNameBytesMax : kKeyNameBytesMax,
      [&](DWORD index, char* name, DWORD* length) {
        return enumAt(key.get(), index, name, length);
      },
      [&](const char* name, size_t length) { take(key.get(), name, length); });
  return ERROR_SUCCESS;
}

}  // namespace

LONG EnumValueNames(HKEY root, const std::string& subKey, NameSet& names, const DWORD* typeFilter) {
  DWORD type = REG_NONE;
  return WalkChildren(
      root, subKey, Children::Values,
      [&](HKEY key, DWORD index, char* name, DWORD* length) {
        return RegEnumValueA(key, index, name, length, nullptr, &type, nullptr, nullptr);
      },
      [&](HKEY, const char* name, size_t length) {
        if (!typeFilter || type == *typeFilter) names.emplace(name, length);
      });
}

LONG EnumSubKeyNames(HKEY root, const std::string& subKey, NameSet& names) {
  return WalkChildren(
      root, subKey, Children::SubKeys,
      [](HKEY key, DWORD index, char* name, DWORD* length) {
        return RegEnumKeyExA(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
      },
      [&](HKEY, const char* name, size_t length) { names.emplace(name, length); });
}

namespace {

// One value of an open key by index, in UTF-16, with its whole data: read
// again, with room for what it holds now, as long as the data grew since the
// last try, so a long or changing value is never left out.
// `buffer` holds the longest name a value can have, and its zero.
constexpr size_t kValueNameUnits = 16384;
LONG EnumValueWhole(HKEY key, DWORD index, std::vector<wchar_t>& buffer, std::wstring& name,
                    DWORD& type, std::vector<BYTE>& data, DWORD& dataSize) {
  for (;;) {
    DWORD length = static_cast<DWORD>(buffer.size());
    dataSize = static_cast<DWORD>(data.size());
    const LONG result = RegEnumValueW(key, index, buffer.data(), &length, nullptr, &type,
                                      data.data(), &dataSize);
    // Only more room than before helps; the name, never too long here, or a
    // size that is no larger, is a failure of this index.
    if (result == ERROR_MORE_DATA && dataSize > data.size()) {
      data.resize(dataSize);
      continue;
    }
    if (result == ERROR_SUCCESS) name.assign(buffer.data(), length);
    return result;
  }
}

}  // namespace

// One wide enumeration gives each value's exact name with its data: the
// narrow one cannot carry every name (a NUL, a lone surrogate, a character
// the code page lacks), nor a long name's data in one call.
LONG EnumStringValues(HKEY root, const std::string& subKey, const StringValueHandler& take) {
  OpenKey key(root, subKey, KEY_READ);
  if (key.result() != ERROR_SUCCESS) return key.result();
  DWORD count = 0, longestData = 0;
  const LONG result = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                       nullptr, &count, nullptr, &longestData, nullptr, nullptr);
  if (result != ERROR_SUCCESS) return result;
  std::vector<BYTE> data(std::max<DWORD>(longestData, 512));
  std::vector<wchar_t> buffer(kValueNameUnits);
  std::wstring name, exactName;
  std::string shown;
  for (DWORD index = 0;; ++index) {
    DWORD type = REG_NONE, size = 0;
    const LONG found = EnumValueWhole(key.get(), index, buffer, name, type, data, size);
    if (found == ERROR_NO_MORE_ITEMS) break;
    if (found != ERROR_SUCCESS) {
      // The key may have changed under the walk; past the count it has ended.
      if (index >= count) break;
      continue;
    }
    if (!IsStringType(type)) continue;
    exactName.clear();
    if (!ShownTextFromWide(name, shown)) exactName = name;
    take(shown, type, TextOfWideData(data, size), exactName);
  }
  return ERROR_SUCCESS;
}

LONG ReadValueByExactName(HKEY root, const std::string& subKey, const std::wstring& valueName,
                          DWORD& type, std::string& data) {
  OpenKey key(root, subKey, KEY_READ);
  if (key.result() != ERROR_SUCCESS) return key.result();
  std::vector<BYTE> bytes(512);
  std::vector<wchar_t> buffer(kValueNameUnits);
  std::wstring name;
  for (DWORD index = 0;; ++index) {
    DWORD found = REG_NONE, size = 0;
    const LONG result = EnumValueWhole(key.get(), index, buffer, name, found, bytes, size);
    if (result == ERROR_NO_MORE_ITEMS) return ERROR_FILE_NOT_FOUND;
    if (result != ERROR_SUCCESS) return result;  // no guess past a failure
    if (name != valueName) continue;
    type = found;
    data.assign(reinterpret_cast<const char*>(bytes.data()), std::min<size_t>(size, bytes.size()));
    return ERROR_SUCCESS;
  }
}

LONG DeleteValueByExactName(HKEY root, const std::string& subKey, const std::wstring& valueName) {
  OpenKey key(root, subKey, KEY_SET_VALUE);
  if (key.result() != ERROR_SUCCESS) return key.result();
  if (valueName.find(L'\0') == std::wstring::npos)
    return RegDeleteValueW(key.get(), valueName.c_str());
  // The registry functions end a name at its first NUL; the native call
  // takes it counted.
  struct CountedName {
    USHORT length, maximumLength;
    const wchar_t* buffer;
  };
  using NtDeleteValueKeyFunction = LONG(NTAPI*)(HANDLE, CountedName*);
  using StatusToErrorFunction = ULONG(WINAPI*)(LONG);
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  const auto deleteValueKey = reinterpret_cast<NtDeleteValueKeyFunction>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "NtDeleteValueKey")));
  const auto statusToError = reinterpret_cast<StatusToErrorFunction>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlNtStatusToDosError")));
  if (!deleteValueKey || !statusToError) return ERROR_CALL_NOT_IMPLEMENTED;
  const USHORT bytes = static_cast<USHORT>(valueName.size() * sizeof(wchar_t));
  CountedName name = {bytes, bytes, valueName.data()};
  const LONG status = deleteValueKey(key.get(), &name);
  return status >= 0 ? ERROR_SUCCESS : static_cast<LONG>(statusToError(status));
}

LONG ReadValueBytes(HKEY root, const std::string& subKey, const std::string& valueName,
                    DWORD sizeMax, DWORD& type, std::string& data) {
  OpenKey key(root, subKey, KEY_READ);
  if (key.result() != ERROR_SUCCESS) return key.result();
  std::string bytes(sizeMax, '\0');
  DWORD found = REG_NONE;
  DWORD size = sizeMax;
  LONG result = RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &found,
                                 reinterpret_cast<BYTE*>(&bytes[0]), &size);
  if (result == ERROR_SUCCESS) {
    bytes.resize(size < sizeMax ? size : sizeMax);
    data.swap(bytes);
  } else if (result == ERROR_MORE_DATA) {
    data.clear();
  } else {
    return result;
  }
  type = found;
  return result;
}

LONG WriteValueBytes(HKEY root, const std::string& subKey, const std::string& valueName, DWORD type,
                     const std::string& data) {
  HKEY key = nullptr;
  LONG result = RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                MachineViewAccess(root, KEY_SET_VALUE), nullptr, &key, nullptr);
  if (result != ERROR_SUCCESS) return result;
  result =
      RegSetValueExA(key, valueName.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                     static_cast<DWORD>(data.size()));
  RegCloseKey(key);
  return result;
}

namespace {

// The native layer's name for a value: a counted string, zeros allowed.
struct CountedName {
  USHORT length;
  USHORT maximumLength;
  const wchar_t* buffer;
};
struct PartialValueInfo {  // KEY_VALUE_PARTIAL_INFORMATION
  ULONG titleIndex;
  ULONG type;
  ULONG dataLength;
  UCHAR data[1];
};
constexpr LONG kBufferOverflow = static_cast<LONG>(0x80000005);
constexpr LONG kBufferTooSmall = static_cast<LONG>(0xC0000023);
constexpr int kPartialInformation = 2;  // KeyValuePartialInformation

using NtQueryValueKeyCall = LONG(WINAPI*)(HANDLE, const CountedName*, int, void*, ULONG, ULONG*);
using NtSetValueKeyCall = LONG(WINAPI*)(HANDLE, const CountedName*, ULONG, ULONG, const void*,
                                        ULONG);
using ErrorFromStatusCall = ULONG(WINAPI*)(LONG);

FARPROC NtFunction(const char* name) {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll ? GetProcAddress(ntdll, name) : nullptr;
}

LONG ErrorFromStatus(LONG status) {
  static const auto convert = reinterpret_cast<ErrorFromStatusCall>(
      reinterpret_cast<void*>(NtFunction("RtlNtStatusToDosError")));
  if (status >= 0) return ERROR_SUCCESS;
  return convert ? static_cast<LONG>(convert(status)) : ERROR_INVALID_FUNCTION;
}

bool HoldsZero(const std::wstring& name) {
  return name.find(L'\0') != std::wstring::npos;
}

// A registry name is at most 32767 characters; a longer one names nothing.
bool CountName(const std::wstring& name, CountedName& counted) {
  if (name.size() > 32767) return false;
  counted.length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  counted.maximumLength = counted.length;
  counted.buffer = name.data();
  return true;
}

LONG QueryNative(HKEY key, const std::wstring& valueName, DWORD& type, std::string& data) {
  static const auto query = reinterpret_cast<NtQueryValueKeyCall>(
      reinterpret_cast<void*>(NtFunction("NtQueryValueKey")));
  CountedName name;
  if (!query || !CountName(valueName, name)) return ERROR_FILE_NOT_FOUND;
  std::vector<char> buffer(512);
  for (;;) {
    ULONG needed = 0;
    const LONG status = query(key, &name, kPartialInformation, buffer.data(),
                              static_cast<ULONG>(buffer.size()), &needed);
    if (status == kBufferOverflow || status == kBufferTooSmall) {
      buffer.resize(needed > buffer.size() ? needed : buffer.size() * 2);
      continue;
    }
    if (status < 0) return ErrorFromStatus(status);
    const auto* info = reinterpret_cast<const PartialValueInfo*>(buffer.data());
    type = info->type;
    data.assign(reinterpret_cast<const char*>(info->data), info->dataLength);
    return ERROR_SUCCESS;
  }
}

}  // namespace

LONG ReadValueExact(HKEY root, const std::string& subKey, const std::wstring& valueName,
                    DWORD& type, std::string& data) {
  OpenKey key(root, subKey, KEY_QUERY_VALUE);
  if (key.result() != ERROR_SUCCESS) return key.result();
  if (HoldsZero(valueName)) return QueryNative(key.get(), valueName, type, data);
  // A value that grows between the two calls is read again.
  for (;;) {
    DWORD size = 0;
    LONG result = RegQueryValueExW(key.get(), valueName.c_str(), nullptr, &type, nullptr, &size);
    if (result != ERROR_SUCCESS) return result;
    std::string bytes(size, '\0');
    result = RegQueryValueExW(key.get(), valueName.c_str(), nullptr, &type,
                              reinterpret_cast<BYTE*>(&bytes[0]), &size);
    if (result == ERROR_MORE_DATA) continue;
    if (result != ERROR_SUCCESS) return result;
    bytes.resize(size);
    data.swap(bytes);
    return ERROR_SUCCESS;
  }
}

LONG WriteValueExact(HKEY root, const std::string& subKey, const std::wstring& valueName,
                     DWORD type, const std::string& data) {
  HKEY key = nullptr;
  LONG result = RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                MachineViewAccess(root, KEY_SET_VALUE), nullptr, &key, nullptr);
  if (result != ERROR_SUCCESS) return result;
  if (!HoldsZero(valueName)) {
    result = RegSetValueExW(key, valueName.c_str(), 0, type,
                            reinterpret_cast<const BYTE*>(data.data()),
                            static_cast<DWORD>(data.size()));
  } else {
    static const auto set = reinterpret_cast<NtSetValueKeyCall>(
        reinterpret_cast<void*>(NtFunction("NtSetValueKey")));
    CountedName name;
    result = !set || !CountName(valueName, name)
                 ? ERROR_INVALID_PARAMETER
                 : ErrorFromStatus(set(key, &name, 0, type, data.data(),
                                       static_cast<ULONG>(data.size())));
  }
  RegCloseKey(key);
  return result;
}

bool IsValueNameExact(HKEY root, const std::string& subKey, const std::string& valueName) {
  OpenKey key(root, subKey, KEY_READ);
  if (key.result() != ERROR_SUCCESS) return true;
  const std::wstring wanted = WideFromCodePage(valueName);
  std::vector<wchar_t> name(16384);
  std::string narrow;
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(name.size());
    const LONG result =
        RegEnumValueW(key.get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) return true;
    if (result != ERROR_SUCCESS) return false;  // what follows is not known
    const std::wstring wide(name.data(), length);
    const bool exact = NarrowFromWide(wide, narrow);
    if ((narrow == valueName || wide == wanted) && !(exact && narrow == valueName && wide == wanted))
      return false;
  }
}

bool IsSameKey(HKEY root, const std::string& subKey, const std::string& otherSubKey) {
  OpenKey key(root, subKey, KEY_READ);
  OpenKey other(root, otherSubKey, KEY_READ);
  if (key.result() != ERROR_SUCCESS || other.result() != ERROR_SUCCESS) return false;
  const std::wstring name = KeyObjectName(key.get());
  return !name.empty() && name == KeyObjectName(other.get());
}

bool ParseRegistryPath(std::string path, RegistryLocation& location) {
  const size_t separator = FindFirstCharOf(path, "\\/");
  if (separator == std::string::npos) return false;
  std::string rootName = path.substr(0, separator);
  for (char& c : rootName) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const RootName& root : kRootNames) {
    if (rootName != root.name) continue;
    location.root = root.handle;
    location.subKey.assign(path, separator + 1, std::string::npos);
    location.valueName.clear();
    location.value.clear();
    location.keyPath = std::move(path);
    return true;
  }
  return false;
}

std::string RegistryRootName(HKEY root) {
  for (const RootName& known : kRootNames)
    if (known.handle == root) return known.name;
  return std::string();
}

std::vector<RegistryLocation> StartupKeyOwners() {
  std::vector<RegistryLocation> owners(2);
  owners[0].root = HKEY_LOCAL_MACHINE;
  owners[1].root = HKEY_CURRENT_USER;
  NameSet hives;
  EnumSubKeyNames(HKEY_USERS, std::string(), hives);
  for (const std::string& hive : hives) {
    owners.emplace_back();
    owners.back().root = HKEY_USERS;
    owners.back().subKey = hive + '\\';
  }
  return owners;
}
