#include "scan/registry_access.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "registry_faults.h"
#include "support/registry_sandbox.h"

namespace {

const char kKey[] = "Software\\Lumivane Test\\Key";
const char kMissingKey[] = "Software\\Lumivane Test\\Missing";

// Stores exactly `bytes`. The byte after them is not zero: the system would
// otherwise count a forgotten terminating zero into a string value.
void SetRaw(HKEY root, const std::string& subKey, const std::string& name, DWORD type,
            const std::string& bytes) {
  std::string padded = bytes + 'X';
  RegistrySandbox::SetValue(root, subKey, name, type, padded.data(),
                            static_cast<DWORD>(bytes.size()));
}

// Every byte from 0x80 to 0xFF, in order.
std::string HighBytes() {
  std::string bytes;
  for (int c = 0x80; c <= 0xFF; ++c) bytes += static_cast<char>(c);
  return bytes;
}

// A text of `length` letters that changes along its length.
std::string Letters(size_t length) {
  std::string text;
  for (size_t i = 0; i < length; ++i) text += static_cast<char>('a' + i % 26);
  return text;
}

std::vector<std::string> Listed(const NameSet& names) {
  return std::vector<std::string>(names.begin(), names.end());
}

ULONG_PTR Handle(HKEY key) {
  return reinterpret_cast<ULONG_PTR>(key);
}

// The system's predefined handles are these numbers, sign-extended on 64 bits.
ULONG_PTR Predefined(DWORD value) {
  return static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(value)));
}

class RegistryAccessTest : public ::testing::Test {
 protected:
  RegistrySandbox sandbox_;
};

// ---- NameSet ------------------------------------------------------------------------------

TEST(NameSetTest, OrdersBytewiseAndKeepsOneOfEach) {
  NameSet names;
  for (const char* name :
       {"alpha", "Zeta", "beta", "Beta", "", "ab", "a", "\xFF", "\x80", "Zeta", "alpha", "a b"})
    names.insert(name);
  EXPECT_EQ(Listed(names), (std::vector<std::string>{"", "Beta", "Zeta", "a", "a b", "ab", "alpha",
                                                     "beta", "\x80", "\xFF"}));
}

// ---- ReadStringValue ----------------------------------------------------------------------

struct StoredString {
  const char* label;
  DWORD type;
  std::string stored;  // exact bytes in the registry
  std::string expected;
};

TEST_F(RegistryAccessTest, ReadStringValueReturnsStoredTextUpToFirstZero) {
  const StoredString cases[] = {
      {"plain", REG_SZ, std::string("C:\\x.exe", 9), "C:\\x.exe"},
      {"expandable stays unexpanded", REG_EXPAND_SZ, std::string("%SystemRoot%\\x.exe", 19),
       "%SystemRoot%\\x.exe"},
      {"only a zero", REG_SZ, std::string("", 1), ""},
      {"size 0", REG_SZ, std::string(), ""},
      {"size 0 expandable", REG_EXPAND_SZ, std::string(), ""},
      {"no terminating zero", REG_SZ, "abc", "abc"},
      {"one byte, no zero", REG_EXPAND_SZ, "q", "q"},
      {"embedded zero", REG_SZ, std::string("ab\0cd\0", 6), "ab"},
      {"bytes 0x80-0xFF", REG_SZ, HighBytes() + '\0', HighBytes()},
      {"511 letters", REG_SZ, Letters(511) + '\0', Letters(511)},
      {"512 letters", REG_SZ, Letters(512) + '\0', Letters(512)},
      {"513 letters, no zero", REG_SZ, Letters(513), Letters(513)},
      {"100,000 letters", REG_EXPAND_SZ, Letters(100000) + '\0', Letters(100000)},
  };
  for (const StoredString& c : cases) {
    SCOPED_TRACE(c.label);
    SetRaw(HKEY_LOCAL_MACHINE, kKey, "v", c.type, c.stored);
    std::string text = "previous text";
    EXPECT_EQ(ERROR_SUCCESS, ReadStringValue(HKEY_LOCAL_MACHINE, kKey, "v", text));
    EXPECT_EQ(c.expected, text);
  }
}

TEST_F(RegistryAccessTest, ReadStringValueLeavesTextOfOtherTypes) {
  const DWORD qword[2] = {1, 2};
  const struct {
    const char* label;
    DWORD type;
    std::string stored;
  } cases[] = {
      {"REG_DWORD", REG_DWORD, std::string("\x2A\0\0\0", 4)},
      {"REG_QWORD", REG_QWORD, std::string(reinterpret_cast<const char*>(qword), 8)},
      {"REG_BINARY holding text", REG_BINARY, std::string("text", 5)},
      {"REG_MULTI_SZ", REG_MULTI_SZ, std::string("a\0b\0\0", 5)},
      {"REG_NONE holding text", REG_NONE, std::string("text", 5)},
      {"REG_BINARY of size 0", REG_BINARY, std::string()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    SetRaw(HKEY_LOCAL_MACHINE, kKey, "v", c.type, c.stored);
    std::string text = "kept";
    EXPECT_EQ(ERROR_SUCCESS, ReadStringValue(HKEY_LOCAL_MACHINE, kKey, "v", text));
    EXPECT_EQ("kept", text);
    EXPECT_EQ(ERROR_SUCCESS, ReadStringValue(HKEY_LOCAL_MACHINE, kKey, "v", text, "fallback"));
    EXPECT_EQ("fallback", text);
  }
}

TEST_F(RegistryAccessTest, ReadStringValueFailureKeepsTextOrStoresDefault) {
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kKey, "present", "x");
  const struct {
    const char* label;
    const char* subKey;
    const char* name;
  } cases[] = {
      {"missing key", kMissingKey, "present"},
      {"missing value", kKey, "absent"},
      {"missing default value", kKey, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    std::string text = "kept";
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadStringValue(HKEY_LOCAL_MACHINE, c.subKey, c.name, text));
    EXPECT_EQ("kept", text);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              ReadStringValue(HKEY_LOCAL_MACHINE, c.subKey, c.name, text, "fallback"));
    EXPECT_EQ("fallback", text);
  }
}

TEST_F(RegistryAccessTest, ReadStringValueReadsDefaultValueAndRootValues) {
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kKey, "", "default text");
  RegistrySandbox::SetString(HKEY_CURRENT_USER, "", "top", "at the root");
  std::string text;
  EXPECT_EQ(ERROR_SUCCESS, ReadStringValue(HKEY_LOCAL_MACHINE, kKey, "", text));
  EXPECT_EQ("default text", text);
  EXPECT_EQ(ERROR_SUCCESS, ReadStringValue(HKEY_CURRENT_USER, "", "top", text));
  EXPECT_EQ("at the root", text);
}

TEST_F(RegistryAccessTest, ReadStringValueWithHighByteName) {
  const std::string name = "caf\xE9 \x80\xFF";
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kKey, name, "data \xE9");
  std::string text;
  EXPECT_EQ(ERROR_SUCCESS, ReadStringValue(HKEY_LOCAL_MACHINE, kKey, name, text));
  EXPECT_EQ("data \xE9", text);
}

// The value changes between the first query, which found it too long for the
// stack buffer, and the read of exactly the size that query reported.
TEST_F(RegistryAccessTest, ReadStringValueOfValueChangedMeanwhile) {
  const std::string longText = "C:\\" + std::string(700, 'g') + ".exe";
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kKey, "v", longText);
  int queries = 0;
  auto onSecondQuery = [&queries](std::function<LONG(DWORD*, LONG)> change) {
    return [&queries, change](const std::string&, bool, DWORD* size, LONG result) {
      return ++queries == 1 ? change(size, result) : result;
    };
  };
  {
    SCOPED_TRACE("grew: the read does not fit the size found first, and is made again");
    RegistryFaults faults;
    ASSERT_TRUE(faults.applied());
    faults.changeQuery = onSecondQuery([](DWORD* size, LONG result) {
      *size -= 1;  // as if the value had been one byte shorter when first asked
      return result;
    });
    std::string text = "kept";
    queries = 0;
    EXPECT_EQ(ERROR_SUCCESS, ReadStringValue(HKEY_LOCAL_MACHINE, kKey, "v", text));
    EXPECT_EQ(longText, text);
    EXPECT_GE(queries, 3);
  }
  {
    SCOPED_TRACE("vanished before the read");
    RegistryFaults faults;
    faults.changeQuery = [&queries](const std::string&, bool, DWORD*, LONG result) {
      return ++queries == 2 ? ERROR_FILE_NOT_FOUND : result;
    };
    std::string text = "kept";
    queries = 0;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadStringValue(HKEY_LOCAL_MACHINE, kKey, "v", text));
    EXPECT_EQ("kept", text);
  }
  {
    SCOPED_TRACE("shrank: only what was read counts");
    RegistryFaults faults;
    faults.changeQuery = onSecondQuery([](DWORD* size, LONG result) {
      *size += 600;
      return result;
    });
    std::string text;
    queries = 0;
    EXPECT_EQ(ERROR_SUCCESS, ReadStringValue(HKEY_LOCAL_MACHINE, kKey, "v", text));
    EXPECT_EQ(longText, text);
  }
}

// ---- QueryValueInfo -----------------------------------------------------------------------

TEST_F(RegistryAccessTest, QueryValueInfoReportsTypeAndSize) {
  SetRaw(HKEY_LOCAL_MACHINE, kKey, "sz", REG_SZ, std::string("abc", 4));
  SetRaw(HKEY_LOCAL_MACHINE, kKey, "empty", REG_SZ, std::string());
  SetRaw(HKEY_LOCAL_MACHINE, kKey, "expand", REG_EXPAND_SZ, std::string("%TEMP%", 7));
  RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, kKey, "dword", 7);
  SetRaw(HKEY_LOCAL_MACHINE, kKey, "binary", REG_BINARY, "\x01\x02\x03");
  const struct {
    const char* name;
    DWORD type;
    DWORD size;
  } cases[] = {
      {"sz", REG_SZ, 4},       {"empty", REG_SZ, 0},      {"expand", REG_EXPAND_SZ, 7},
      {"dword", REG_DWORD, 4}, {"binary", REG_BINARY, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DWORD type = 99, size = 99;
    EXPECT_EQ(ERROR_SUCCESS, QueryValueInfo(HKEY_LOCAL_MACHINE, kKey, c.name, &type, &size));
    EXPECT_EQ(c.type, type);
    EXPECT_EQ(c.size, size);
    type = 99;
    EXPECT_EQ(ERROR_SUCCESS, QueryValueInfo(HKEY_LOCAL_MACHINE, kKey, c.name, &type, nullptr));
    EXPECT_EQ(c.type, type);
    EXPECT_EQ(ERROR_SUCCESS, QueryValueInfo(HKEY_LOCAL_MACHINE, kKey, c.name, nullptr, nullptr));
  }
}

TEST_F(RegistryAccessTest, QueryValueInfoFailures) {
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kKey, "present", "x");
  DWORD type = 77, size = 77;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            QueryValueInfo(HKEY_LOCAL_MACHINE, kMissingKey, "present", &type, &size));
  EXPECT_EQ(77u, type);
  EXPECT_EQ(77u, size);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            QueryValueInfo(HKEY_LOCAL_MACHINE, kKey, "absent", nullptr, nullptr));
}

// ---- DeleteValue --------------------------------------------------------------------------

TEST_F(RegistryAccessTest, DeleteValueRemovesOnlyThatValue) {
  RegistrySandbox::SetString(HKEY_CURRENT_USER, kKey, "gone", "x");
  RegistrySandbox::SetString(HKEY_CURRENT_USER, kKey, "stays", "y");
  RegistrySandbox::SetString(HKEY_CURRENT_USER, kKey, "", "default");
  EXPECT_EQ(ERROR_SUCCESS, DeleteValue(HKEY_CURRENT_USER, kKey, "gone"));
  EXPECT_FALSE(RegistrySandbox::ValueExists(HKEY_CURRENT_USER, kKey, "gone"));
  EXPECT_TRUE(RegistrySandbox::ValueExists(HKEY_CURRENT_USER, kKey, "stays"));
  EXPECT_TRUE(RegistrySandbox::ValueExists(HKEY_CURRENT_USER, kKey, ""));

  EXPECT_EQ(ERROR_SUCCESS, DeleteValue(HKEY_CURRENT_USER, kKey, ""));
  EXPECT_FALSE(RegistrySandbox::ValueExists(HKEY_CURRENT_USER, kKey, ""));
  EXPECT_TRUE(RegistrySandbox::ValueExists(HKEY_CURRENT_USER, kKey, "stays"));
}

TEST_F(RegistryAccessTest, DeleteValueOfMissingValueOrKey) {
  RegistrySandbox::SetString(HKEY_CURRENT_USER, kKey, "stays", "y");
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, DeleteValue(HKEY_CURRENT_USER, kKey, "absent"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, DeleteValue(HKEY_CURRENT_USER, kMissingKey, "stays"));
  EXPECT_TRUE(RegistrySandbox::ValueExists(HKEY_CURRENT_USER, kKey, "stays"));
}

// ---- EnumValueNames -----------------------------------------------------------------------

TEST_F(RegistryAccessTest, EnumValueNamesByType) {
  SetRaw(HKEY_LOCAL_MACHINE, kKey, "", REG_SZ, std::string("d", 2));
  SetRaw(HKEY_LOCAL_MACHINE, kKey, "sz2", REG_SZ, std::string("b", 2));
  SetRaw(HKEY_LOCAL_MACHINE, kKey, "Sz1", REG_SZ, std::string());
  SetRaw(HKEY_LOCAL_MACHINE, kKey, "expand", REG_EXPAND_SZ, std::string("%A%", 4));
  RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, kKey, "dword", 1);
  SetRaw(HKEY_LOCAL_MACHINE, kKey, "binary", REG_BINARY, std::string("text", 5));
  SetRaw(HKEY_LOCAL_MACHINE, kKey, "multi", REG_MULTI_SZ, std::string("a\0\0", 3));
  RegistrySandbox::CreateKey(HKEY_LOCAL_MACHINE, std::string(kKey) + "\\SubKey");

  const DWORD sz = REG_SZ, expand = REG_EXPAND_SZ, dword = REG_DWORD, qword = REG_QWORD;
  const struct {
    const char* label;
    const DWORD* filter;
    std::vector<std::string> expected;
  } cases[] = {
      {"all types", nullptr, {"", "Sz1", "binary", "dword", "expand", "multi", "sz2"}},
      {"REG_SZ", &sz, {"", "Sz1", "sz2"}},
      {"REG_EXPAND_SZ", &expand, {"expand"}},
      {"REG_DWORD", &dword, {"dword"}},
      {"REG_QWORD, none stored", &qword, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    NameSet names;
    EXPECT_EQ(ERROR_SUCCESS, EnumValueNames(HKEY_LOCAL_MACHINE, kKey, names, c.filter));
    EXPECT_EQ(c.expected, Listed(names));
  }
}

TEST_F(RegistryAccessTest, EnumValueNamesAddsToWhatTheSetHolds) {
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kKey, "b", "x");
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kKey, "a", "x");
  NameSet names{"b", "zz"};
  EXPECT_EQ(ERROR_SUCCESS, EnumValueNames(HKEY_LOCAL_MACHINE, kKey, names));
  EXPECT_EQ((std::vector<std::string>{"a", "b", "zz"}), Listed(names));
}

TEST_F(RegistryAccessTest, EnumValueNamesOfEmptyOrMissingKey) {
  RegistrySandbox::CreateKey(HKEY_LOCAL_MACHINE, kKey);
  RegistrySandbox::CreateKey(HKEY_LOCAL_MACHINE, std::string(kKey) + "\\OnlyAChild");
  const DWORD sz = REG_SZ;
  for (const DWORD* filter : {static_cast<const DWORD*>(nullptr), &sz}) {
    NameSet names{"kept"};
    EXPECT_EQ(ERROR_SUCCESS, EnumValueNames(HKEY_LOCAL_MACHINE, kKey, names, filter));
    EXPECT_EQ(std::vector<std::string>{"kept"}, Listed(names));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, EnumValueNames(HKEY_LOCAL_MACHINE, kMissingKey, names, filter));
    EXPECT_EQ(std::vector<std::string>{"kept"}, Listed(names));
  }
}

TEST_F(RegistryAccessTest, EnumValueNamesOfManyValues) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                           nullptr, &key, nullptr));
  std::vector<std::string> expected;
  for (int i = 0; i < 3000; ++i) {
    std::string name = "value " + std::to_string(i);
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2));
    expected.push_back(name);
  }
  RegCloseKey(key);
  std::sort(expected.begin(), expected.end());

  NameSet names;
  EXPECT_EQ(ERROR_SUCCESS, EnumValueNames(HKEY_LOCAL_MACHINE, kKey, names));
  EXPECT_EQ(expected, Listed(names));
}

TEST_F(RegistryAccessTest, EnumValueNamesGivesLongAndHighByteNamesWhole) {
  const std::string longest = Letters(16383);
  const std::string high = HighBytes();
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kKey, "a", "short");
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kKey, longest, "long");
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kKey, high, "high \xE9\xFF");

  NameSet names;
  EXPECT_EQ(ERROR_SUCCESS, EnumValueNames(HKEY_LOCAL_MACHINE, kKey, names));
  EXPECT_EQ((std::vector<std::string>{"a", longest, high}), Listed(names));

  std::string text;
  EXPECT_EQ(ERROR_SUCCESS, ReadStringValue(HKEY_LOCAL_MACHINE, kKey, longest, text));
  EXPECT_EQ("long", text);
  EXPECT_EQ(ERROR_SUCCESS, ReadStringValue(HKEY_LOCAL_MACHINE, kKey, high, text));
  EXPECT_EQ("high \xE9\xFF", text);
}

// ---- EnumSubKeyNames ----------------------------------------------------------------------

TEST_F(RegistryAccessTest, EnumSubKeyNamesListsDirectChildrenBytewise) {
  // Short: Wine's narrow functions take paths of at most 260 characters.
  const std::string key = "K";
  const std::string longName = Letters(255);
  for (const std::string& child : {std::string("alpha"), std::string("Zeta"), std::string("Beta"),
                                   std::string("\xE9t\xE9"), longName})
    RegistrySandbox::CreateKey(HKEY_LOCAL_MACHINE, key + "\\" + child);
  RegistrySandbox::CreateKey(HKEY_LOCAL_MACHINE, key + "\\Zeta\\Grandchild");
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, key, "a value", "x");

  NameSet names{"Beta", "kept"};
  EXPECT_EQ(ERROR_SUCCESS, EnumSubKeyNames(HKEY_LOCAL_MACHINE, key, names));
  EXPECT_EQ((std::vector<std::string>{"Beta", "Zeta", longName, "alpha", "kept", "\xE9t\xE9"}),
            Listed(names));
}

TEST_F(RegistryAccessTest, EnumSubKeyNamesOfRootAndOfLeafOrMissingKey) {
  RegistrySandbox::CreateKey(HKEY_USERS, "S-1-5-21-x");
  RegistrySandbox::CreateKey(HKEY_USERS, ".DEFAULT");
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kKey, "v", "x");

  NameSet names;
  EXPECT_EQ(ERROR_SUCCESS, EnumSubKeyNames(HKEY_USERS, "", names));
  EXPECT_EQ((std::vector<std::string>{".DEFAULT", "S-1-5-21-x"}), Listed(names));

  names = {"kept"};
  EXPECT_EQ(ERROR_SUCCESS, EnumSubKeyNames(HKEY_LOCAL_MACHINE, kKey, names));
  EXPECT_EQ(std::vector<std::string>{"kept"}, Listed(names));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, EnumSubKeyNames(HKEY_LOCAL_MACHINE, kMissingKey, names));
  EXPECT_EQ(std::vector<std::string>{"kept"}, Listed(names));
}

// ---- Enumeration while the registry changes -------------------------------------------------

// Fills kKey with `count` REG_SZ values and as many sub-keys, named "name 0", ...
std::vector<std::string> FillKey(int count) {
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) {
    names.push_back("name " + std::to_string(i));
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kKey, names.back(), "x");
    RegistrySandbox::CreateKey(HKEY_LOCAL_MACHINE, std::string(kKey) + "\\" + names.back());
  }
  return names;
}

using Enumerate = LONG (*)(NameSet&);
LONG EnumerateValues(NameSet& names) {
  return EnumValueNames(HKEY_LOCAL_MACHINE, kKey, names);
}
LONG EnumerateSubKeys(NameSet& names) {
  return EnumSubKeyNames(HKEY_LOCAL_MACHINE, kKey, names);
}
const struct {
  const char* label;
  Enumerate enumerate;
} kEnumerations[] = {{"values", EnumerateValues}, {"sub-keys", EnumerateSubKeys}};

TEST_F(RegistryAccessTest, EnumerationEndsWhenEveryIndexFails) {
  FillKey(5);
  for (const auto& e : kEnumerations) {
    SCOPED_TRACE(e.label);
    RegistryFaults faults;
    ASSERT_TRUE(faults.applied());
    // As when the key is deleted while it is being enumerated.
    faults.failEnum = [](DWORD) { return static_cast<LONG>(ERROR_KEY_DELETED); };
    NameSet names{"kept"};
    EXPECT_EQ(ERROR_SUCCESS, e.enumerate(names));
    EXPECT_EQ(std::vector<std::string>{"kept"}, Listed(names));
    EXPECT_GE(faults.enumCalls, 1);
    EXPECT_LE(faults.enumCalls, 6);  // no further than just past the count
  }
}

TEST_F(RegistryAccessTest, EnumerationSkipsAFailingIndex) {
  FillKey(4);
  for (const auto& e : kEnumerations) {
    SCOPED_TRACE(e.label);
    RegistryFaults faults;
    faults.failEnum = [](DWORD index) {
      return static_cast<LONG>(index == 1 ? ERROR_ACCESS_DENIED : ERROR_SUCCESS);
    };
    NameSet names;
    EXPECT_EQ(ERROR_SUCCESS, e.enumerate(names));
    // Values come in the order they were set, sub-keys by name: index 1 is "name 1" either way.
    EXPECT_EQ((std::vector<std::string>{"name 0", "name 2", "name 3"}), Listed(names));
  }
}

TEST_F(RegistryAccessTest, EnumerationReadsEntriesAddedAfterTheCount) {
  std::vector<std::string> all = FillKey(4);
  for (const auto& e : kEnumerations) {
    SCOPED_TRACE(e.label);
    RegistryFaults faults;
    faults.changeInfo = [](DWORD* subKeys, DWORD*, DWORD* values, DWORD*) {
      if (subKeys) *subKeys = 1;
      if (values) *values = 1;
    };
    NameSet names;
    EXPECT_EQ(ERROR_SUCCESS, e.enumerate(names));
    EXPECT_EQ(all, Listed(names));
  }
}

TEST_F(RegistryAccessTest, EnumerationStopsAtAFailureBeyondTheCount) {
  FillKey(4);
  for (const auto& e : kEnumerations) {
    SCOPED_TRACE(e.label);
    RegistryFaults faults;
    faults.changeInfo = [](DWORD* subKeys, DWORD*, DWORD* values, DWORD*) {
      if (subKeys) *subKeys = 2;
      if (values) *values = 2;
    };
    faults.failEnum = [](DWORD index) {
      return static_cast<LONG>(index == 2 ? ERROR_KEY_DELETED : ERROR_SUCCESS);
    };
    NameSet names;
    EXPECT_EQ(ERROR_SUCCESS, e.enumerate(names));
    EXPECT_EQ((std::vector<std::string>{"name 0", "name 1"}), Listed(names));
  }
}

// A name longer than the longest one reported: added meanwhile, or a multibyte
// code page needing more bytes than the reported count of characters.
TEST_F(RegistryAccessTest, EnumerationGivesNamesLongerThanReportedWhole) {
  const std::vector<std::string> names = {"a", "b" + Letters(200), "c" + Letters(700)};
  for (const std::string& name : names) {
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kKey, name, "x");
    if (name.size() < 256) RegistrySandbox::CreateKey(HKEY_LOCAL_MACHINE, kKey + ("\\" + name));
  }
  for (const auto& e : kEnumerations) {
    SCOPED_TRACE(e.label);
    RegistryFaults faults;
    faults.changeInfo = [](DWORD*, DWORD* longestSubKey, DWORD*, DWORD* longestValue) {
      if (longestSubKey) *longestSubKey = 1;
      if (longestValue) *longestValue = 1;
    };
    NameSet found;
    EXPECT_EQ(ERROR_SUCCESS, e.enumerate(found));
    std::vector<std::string> expected = names;
    if (e.enumerate == EnumerateSubKeys) expected.pop_back();
    EXPECT_EQ(expected, Listed(found));
  }
}

TEST_F(RegistryAccessTest, EnumerationWhoseKeyInfoFailsLeavesTheSet) {
  FillKey(2);
  for (const auto& e : kEnumerations) {
    SCOPED_TRACE(e.label);
    RegistryFaults faults;
    faults.failInfo = [] { return static_cast<LONG>(ERROR_KEY_DELETED); };
    NameSet names{"kept"};
    EXPECT_EQ(ERROR_KEY_DELETED, e.enumerate(names));
    EXPECT_EQ(std::vector<std::string>{"kept"}, Listed(names));
  }
}

// A handle to a key deleted since: predefined HKEY_CLASSES_ROOT is pointed at it.
TEST_F(RegistryAccessTest, EnumerationOfDeletedKeyLeavesTheSet) {
  const std::string doomed = "Software\\Lumivane Test\\Doomed";
  RegistrySandbox::SetString(HKEY_CURRENT_USER, doomed, "v", "x");
  RegistrySandbox::CreateKey(HKEY_CURRENT_USER, doomed + "\\Child");
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, doomed.c_str(), 0, KEY_READ, &key));
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeA(HKEY_CURRENT_USER, doomed.c_str()));
  ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CLASSES_ROOT, key));

  NameSet names{"kept"};
  EXPECT_NE(ERROR_SUCCESS, EnumValueNames(HKEY_CLASSES_ROOT, "", names));
  EXPECT_NE(ERROR_SUCCESS, EnumSubKeyNames(HKEY_CLASSES_ROOT, "", names));
  EXPECT_EQ(std::vector<std::string>{"kept"}, Listed(names));
  std::string text = "kept";
  EXPECT_NE(ERROR_SUCCESS, ReadStringValue(HKEY_CLASSES_ROOT, "", "v", text));
  EXPECT_EQ("kept", text);

  RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
  RegCloseKey(key);
}

// ---- Keys are opened for one operation and always closed ------------------------------------

TEST_F(RegistryAccessTest, EveryOpenedKeyIsClosedAndOpenedWithTheRightAccess) {
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kKey, "sz", "x");
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kKey, "empty", "");
  RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, kKey, "dword", 1);
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kKey, "doomed", "x");
  RegistrySandbox::CreateKey(HKEY_LOCAL_MACHINE, std::string(kKey) + "\\Child");

  RegistryFaults faults;
  ASSERT_TRUE(faults.applied());
  std::string text;
  NameSet names;
  DWORD type = 0;
  const DWORD sz = REG_SZ;
  for (const char* name : {"sz", "empty", "dword", "absent"}) {
    ReadStringValue(HKEY_LOCAL_MACHINE, kKey, name, text);
    ReadStringValue(HKEY_LOCAL_MACHINE, kKey, name, text, "fallback");
    QueryValueInfo(HKEY_LOCAL_MACHINE, kKey, name, &type, nullptr);
  }
  ReadStringValue(HKEY_LOCAL_MACHINE, kMissingKey, "sz", text);
  QueryValueInfo(HKEY_LOCAL_MACHINE, kMissingKey, "sz", &type, nullptr);
  EnumValueNames(HKEY_LOCAL_MACHINE, kKey, names, &sz);
  EnumValueNames(HKEY_LOCAL_MACHINE, kMissingKey, names);
  EnumSubKeyNames(HKEY_LOCAL_MACHINE, kKey, names);
  EnumSubKeyNames(HKEY_LOCAL_MACHINE, kMissingKey, names);
  EnumSubKeyNames(HKEY_LOCAL_MACHINE, std::string(kKey) + "\\Child", names);
  // The machine's keys are those of the 64-bit view wherever Windows has two.
  BOOL wow64 = FALSE;
  const REGSAM view = sizeof(void*) == 8 || (IsWow64Process(GetCurrentProcess(), &wow64) && wow64)
                          ? KEY_WOW64_64KEY
                          : 0;
  const std::vector<REGSAM> readAccess(faults.accessRights.size(), KEY_READ | view);
  EXPECT_EQ(readAccess, faults.accessRights);

  faults.accessRights.clear();
  DeleteValue(HKEY_LOCAL_MACHINE, kKey, "doomed");
  DeleteValue(HKEY_LOCAL_MACHINE, kKey, "absent");
  DeleteValue(HKEY_LOCAL_MACHINE, kMissingKey, "sz");
  EXPECT_EQ(std::vector<REGSAM>(3, KEY_WRITE | view), faults.accessRights);

  // The other roots have one view only.
  faults.accessRights.clear();
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_USERS, HKEY_CLASSES_ROOT}) {
    ReadStringValue(root, kKey, "sz", text);
    DeleteValue(root, kKey, "absent");
  }
  EXPECT_EQ((std::vector<REGSAM>{KEY_READ, KEY_WRITE, KEY_READ, KEY_WRITE, KEY_READ, KEY_WRITE}),
            faults.accessRights);

  // Failures after the open.
  faults.failInfo = [] { return static_cast<LONG>(ERROR_KEY_DELETED); };
  EnumValueNames(HKEY_LOCAL_MACHINE, kKey, names);
  EnumSubKeyNames(HKEY_LOCAL_MACHINE, kKey, names);
  faults.failInfo = nullptr;
  faults.failEnum = [](DWORD) { return static_cast<LONG>(ERROR_KEY_DELETED); };
  EnumValueNames(HKEY_LOCAL_MACHINE, kKey, names);
  EnumSubKeyNames(HKEY_LOCAL_MACHINE, kKey, names);
  faults.changeQuery = [](const std::string&, bool withData, DWORD*, LONG result) {
    return withData ? ERROR_MORE_DATA : result;
  };
  ReadStringValue(HKEY_LOCAL_MACHINE, kKey, "sz", text);

  EXPECT_GE(faults.opens, 20);
  EXPECT_TRUE(faults.openKeys.empty()) << faults.openKeys.size() << " keys left open";
  EXPECT_EQ(0, faults.strayCloses);
}

// ---- ParseRegistryPath --------------------------------------------------------------------

TEST(ParseRegistryPathTest, SplitsRootAndSubKey) {
  const struct {
    const char* path;
    DWORD root;
    const char* subKey;
  } cases[] = {
      {"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0x80000002,
       "Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
      {"HKEY_CLASSES_ROOT\\x", 0x80000000, "x"},
      {"HKEY_CURRENT_USER\\x", 0x80000001, "x"},
      {"HKEY_LOCAL_MACHINE\\x", 0x80000002, "x"},
      {"HKEY_USERS\\x", 0x80000003, "x"},
      {"HKEY_PERFORMANCE_DATA\\x", 0x80000004, "x"},
      {"HKEY_PERFORMANCE_TEXT\\x", 0x80000050, "x"},
      {"HKEY_PERFORMANCE_NLSTEXT\\x", 0x80000060, "x"},
      {"HKEY_CURRENT_CONFIG\\x", 0x80000005, "x"},
      {"HKEY_DYN_DATA\\x", 0x80000006, "x"},
      {"HKEY_USERS\\", 0x80000003, ""},
      {"hkey_current_user\\Software\\Run", 0x80000001, "Software\\Run"},
      {"Hkey_Users\\S-1-5-21-x\\Software", 0x80000003, "S-1-5-21-x\\Software"},
      {"HKEY_CLASSES_ROOT/.exe", 0x80000000, ".exe"},
      {"HKEY_LOCAL_MACHINE/Software\\A/B", 0x80000002, "Software\\A/B"},
      {"HKEY_LOCAL_MACHINE\\Software/A\\B", 0x80000002, "Software/A\\B"},
      {"HKEY_CURRENT_USER\\\\Software", 0x80000001, "\\Software"},
      {"HKEY_CURRENT_USER\\Caf\xE9 Run", 0x80000001, "Caf\xE9 Run"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    RegistryLocation location;
    location.root = HKEY_DYN_DATA;
    location.subKey = "old sub-key";
    location.valueName = "old name";
    location.keyPath = "old path";
    location.value = "old value";
    ASSERT_TRUE(ParseRegistryPath(c.path, location));
    EXPECT_EQ(Predefined(c.root), Handle(location.root));
    EXPECT_EQ(c.subKey, location.subKey);
    EXPECT_EQ(c.path, location.keyPath);
    EXPECT_EQ("", location.valueName);
    EXPECT_EQ("", location.value);
  }
}

TEST(ParseRegistryPathTest, RejectsUnknownRootOrMissingSeparator) {
  for (const char* path : {"HKEY_CURRENT_USER", "", "HKLM\\Software", "HKCU/Software",
                           "\\Software\\Run", "/Software", "HKEY_LOCAL_MACHINEX\\Software",
                           " HKEY_LOCAL_MACHINE\\Software", "HKEY_LOCAL_MACHINE \\Software",
                           "HKEY_CURRENT_USER.Software", "HKEY_CLASSES\\x", "Software\\Run"}) {
    SCOPED_TRACE(path);
    RegistryLocation location;
    location.root = HKEY_CURRENT_CONFIG;
    location.subKey = "old sub-key";
    location.valueName = "old name";
    location.keyPath = "old path";
    location.value = "old value";
    EXPECT_FALSE(ParseRegistryPath(path, location));
    EXPECT_EQ(Handle(HKEY_CURRENT_CONFIG), Handle(location.root));
    EXPECT_EQ("old sub-key", location.subKey);
    EXPECT_EQ("old name", location.valueName);
    EXPECT_EQ("old path", location.keyPath);
    EXPECT_EQ("old value", location.value);
  }
}

// ---- Two paths of one key ----------------------------------------------------------------

TEST_F(RegistryAccessTest, IsSameKeyOnlyForOneKey) {
  RegistrySandbox::CreateKey(HKEY_LOCAL_MACHINE, kKey);
  RegistrySandbox::CreateKey(HKEY_LOCAL_MACHINE, std::string(kKey) + "2");
  const struct {
    std::string subKey, other;
    bool same;
  } cases[] = {
      {kKey, kKey, true},
      {kKey, "software\\lumivane test\\KEY", true},  // names are case-insensitive
      {kKey, std::string(kKey) + "2", false},
      {kKey, kMissingKey, false},
      {kMissingKey, kMissingKey, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.same, IsSameKey(HKEY_LOCAL_MACHINE, c.subKey, c.other))
        << c.subKey << " : " << c.other;
}

}  // namespace
