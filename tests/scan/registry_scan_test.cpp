#include "sources/registry/registry_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "recording_sink.h"
#include "registry_faults.h"
#include "support/registry_sandbox.h"

namespace {

// The eleven keys in the order of their rows, written out here rather than
// taken from the program: the ten Run-type keys, then the Run policy.
const char* const kSuffixes[11] = {
    "Software\\Microsoft\\Windows\\Current Version\\RunServices",
    "Software\\Microsoft\\Windows\\Current Version\\RunServicesOnce",
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices",
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce",
    "Software\\Microsoft\\Windows\\Current Version\\Run",
    "Software\\Microsoft\\Windows\\Current Version\\RunOnce",
    "Software\\Microsoft\\Windows\\Current Version\\RunOnceEx",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run",
};
const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunOnceEx[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx";
const char kMachineRun[] = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";

RecordedRow Row(const std::string& name, const std::string& action, const std::string& location) {
  return RecordedRow{"Registry", name, action, location, 0};
}

// 64-bit Windows: the 64-bit program, or the 32-bit one under WOW64.
bool WindowsHasTwoViews() {
  BOOL wow64 = FALSE;
  return sizeof(void*) == 8 || (IsWow64Process(GetCurrentProcess(), &wow64) && wow64);
}

std::vector<RecordedRow> Scan() {
  RecordingSink sink;
  ScanRegistry(sink);
  return sink.rows;
}

// Stores exactly `bytes`, with no terminating zero added by the system.
void SetRaw(HKEY root, const std::string& subKey, const std::string& name, DWORD type,
            const std::string& bytes) {
  std::string padded = bytes + 'X';
  RegistrySandbox::SetValue(root, subKey, name, type, padded.data(),
                            static_cast<DWORD>(bytes.size()));
}

struct StoredValue {
  std::string name;
  DWORD type;
  std::string bytes;
};

std::string Sz(const std::string& text) {
  return text + '\0';
}

TEST(RegistryScanTest, ListsStringValuesOfOneKey) {
  const std::string high = "\x80\xA9\xE9\xFF";
  const std::string big(20000, 'w');
  const DWORD qword[2] = {5, 6};
  const struct {
    const char* label;
    std::vector<StoredValue> values;
    std::vector<std::pair<std::string, std::string>> rows;  // name, text
  } cases[] = {
      {"REG_SZ names, then REG_EXPAND_SZ names; no DWORD",
       {{"b", REG_SZ, Sz("B.exe")},
        {"a", REG_EXPAND_SZ, Sz("A.exe")},
        {"c", REG_SZ, Sz("C.exe")},
        {"d", REG_DWORD, std::string("\1\0\0\0", 4)}},
       {{"b", "B.exe"}, {"c", "C.exe"}, {"a", "A.exe"}}},
      {"upper case sorts first",
       {{"alpha", REG_SZ, Sz("1")},
        {"Zeta", REG_SZ, Sz("2")},
        {"zz", REG_EXPAND_SZ, Sz("3")},
        {"ZZ top", REG_EXPAND_SZ, Sz("4")}},
       {{"Zeta", "2"}, {"alpha", "1"}, {"ZZ top", "4"}, {"zz", "3"}}},
      {"expandable text shown unexpanded",
       {{"x", REG_EXPAND_SZ, Sz("%SystemRoot%\\x.exe")}},
       {{"x", "%SystemRoot%\\x.exe"}}},
      {"default value has an empty name",
       {{"", REG_SZ, Sz("default.exe")}, {"named", REG_SZ, Sz("named.exe")}},
       {{"", "default.exe"}, {"named", "named.exe"}}},
      {"no terminating zero", {{"raw", REG_SZ, "abc"}}, {{"raw", "abc"}}},
      {"size 0",
       {{"empty", REG_SZ, ""}, {"empty x", REG_EXPAND_SZ, ""}},
       {{"empty", ""}, {"empty x", ""}}},
      {"text ends at the first zero",
       {{"z", REG_SZ, std::string("one\0two\0", 8)}},
       {{"z", "one"}}},
      {"bytes 0x80-0xFF in name and text",
       {{high, REG_SZ, Sz(high + " " + high)}},
       {{high, high + " " + high}}},
      {"a long text whole", {{"big", REG_SZ, Sz(big)}}, {{"big", big}}},
      {"texts on both sides of 512 bytes",
       {{"a", REG_SZ, Sz(std::string(511, 'a'))},
        {"b", REG_SZ, Sz(std::string(512, 'b'))},
        {"c", REG_SZ, std::string(512, 'c')},
        {"d", REG_EXPAND_SZ, std::string(513, 'd')},
        {"e", REG_EXPAND_SZ, Sz(std::string(510, 'e')) + "tail"}},
       {{"a", std::string(511, 'a')},
        {"b", std::string(512, 'b')},
        {"c", std::string(512, 'c')},
        {"d", std::string(513, 'd')},
        {"e", std::string(510, 'e')}}},
      {"other types never",
       {{"binary", REG_BINARY, Sz("looks like text")},
        {"multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5)},
        {"qword", REG_QWORD, std::string(reinterpret_cast<const char*>(qword), 8)},
        {"none", REG_NONE, Sz("text")}},
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    RegistrySandbox sandbox;
    for (const StoredValue& value : c.values)
      SetRaw(HKEY_LOCAL_MACHINE, kRun, value.name, value.type, value.bytes);
    std::vector<RecordedRow> expected;
    for (const auto& row : c.rows) expected.push_back(Row(row.first, row.second, kMachineRun));
    EXPECT_EQ(expected, Scan());
  }
}

TEST(RegistryScanTest, NothingToListGivesNoRows) {
  RegistrySandbox sandbox;
  EXPECT_EQ(std::vector<RecordedRow>{}, Scan());
  for (const char* suffix : kSuffixes) RegistrySandbox::CreateKey(HKEY_LOCAL_MACHINE, suffix);
  RegistrySandbox::CreateKey(HKEY_USERS, "S-1-5-21-x");
  EXPECT_EQ(std::vector<RecordedRow>{}, Scan());
}

// Every location in its place: machine, its 32-bit view, current user, then
// the hives by name; in each, the ten Run-type keys and then the Run policy.
TEST(RegistryScanTest, RowsFollowTheOrderOfRootsHivesAndKeys) {
  RegistrySandbox sandbox;
  const struct {
    HKEY root;
    const char* prefix;  // below the root, replacing the suffix's "Software\"
    const char* shown;
  } blocks[] = {
      {HKEY_LOCAL_MACHINE, "Software\\", "HKEY_LOCAL_MACHINE\\Software\\"},
      {HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\",
       "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\"},
      {HKEY_CURRENT_USER, "Software\\", "HKEY_CURRENT_USER\\Software\\"},
      {HKEY_USERS, ".DEFAULT\\Software\\", "HKEY_USERS\\.DEFAULT\\Software\\"},
      {HKEY_USERS, "S-1-5-21-x\\Software\\", "HKEY_USERS\\S-1-5-21-x\\Software\\"},
      {HKEY_USERS, "Zeta\\Software\\", "HKEY_USERS\\Zeta\\Software\\"},
      {HKEY_USERS, "alpha\\Software\\", "HKEY_USERS\\alpha\\Software\\"},
  };
  const int kBlocks = 7, kKeys = 11, kThirtyTwoBitBlock = 1;
  auto below = [](const char* prefix, int key) {
    return prefix + std::string(kSuffixes[key]).substr(sizeof "Software\\" - 1);
  };
  // Written backwards, so that no order of creation can pass for the right one.
  for (int b = kBlocks - 1; b >= 0; --b)
    for (int s = kKeys - 1; s >= 0; --s)
      RegistrySandbox::SetString(blocks[b].root, below(blocks[b].prefix, s), "entry",
                                 std::to_string(b) + "." + std::to_string(s));
  RegistrySandbox::CreateKey(HKEY_USERS, "S-1-5-18\\Software\\Microsoft");  // a hive without any

  // On 32-bit Windows the machine has no 32-bit view of its own to read.
  std::vector<RecordedRow> expected;
  for (int b = 0; b < kBlocks; ++b)
    for (int s = 0; s < kKeys; ++s)
      if (b != kThirtyTwoBitBlock || WindowsHasTwoViews())
        expected.push_back(
            Row("entry", std::to_string(b) + "." + std::to_string(s), below(blocks[b].shown, s)));
  EXPECT_EQ(expected, Scan());
}

TEST(RegistryScanTest, SameKeyThroughCurrentUserAndItsHiveIsListedTwice) {
  RegistrySandbox sandbox;
  // In the sandbox the two are separate keys holding the same values.
  for (const std::string& prefix : {std::string(), std::string("S-1-5-21-x\\")}) {
    HKEY root = prefix.empty() ? HKEY_CURRENT_USER : HKEY_USERS;
    RegistrySandbox::SetString(root, prefix + kRun, "Tray", "C:\\tray.exe");
    RegistrySandbox::SetString(root, prefix + kRun, "Path", "%ProgramFiles%\\p.exe", REG_EXPAND_SZ);
  }
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Machine", "m.exe");
  const std::string user = std::string("HKEY_CURRENT_USER\\") + kRun;
  const std::string hive = std::string("HKEY_USERS\\S-1-5-21-x\\") + kRun;
  EXPECT_EQ((std::vector<RecordedRow>{
                Row("Machine", "m.exe", kMachineRun), Row("Tray", "C:\\tray.exe", user),
                Row("Path", "%ProgramFiles%\\p.exe", user), Row("Tray", "C:\\tray.exe", hive),
                Row("Path", "%ProgramFiles%\\p.exe", hive)}),
            Scan());
}

TEST(RegistryScanTest, SubKeysAreNeverVisited) {
  const struct {
    const char* label;
    bool directString;
  } cases[] = {{"RunOnceEx with numbered sub-keys and a DWORD", false},
               {"and one string of its own", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    RegistrySandbox sandbox;
    const std::string key = kRunOnceEx;
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, key, "Flags", 0x20);
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, key + "\\0001", "", "Step one");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, key + "\\0001", "1", "a.exe");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, key + "\\0002", "1", "b.exe");
    RegistrySandbox::SetString(HKEY_CURRENT_USER, std::string(kRun) + "\\Nested", "n", "n.exe");
    std::vector<RecordedRow> expected;
    if (c.directString) {
      RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, key, "Title", "Setting up");
      expected.push_back(Row("Title", "Setting up", "HKEY_LOCAL_MACHINE\\" + key));
    }
    EXPECT_EQ(expected, Scan());
  }
}

TEST(RegistryScanTest, EitherSpellingAloneIsEnough) {
  const struct {
    const char* label;
    const char* version;
  } cases[] = {{"only CurrentVersion", "CurrentVersion"},
               {"only Current Version", "Current Version"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    RegistrySandbox sandbox;
    const std::string base = std::string("Software\\Microsoft\\Windows\\") + c.version + "\\";
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, base + "RunOnce", "once", "o.exe");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, base + "Run", "run", "r.exe");
    RegistrySandbox::SetString(HKEY_CURRENT_USER, base + "RunServices", "svc", "s.exe");
    EXPECT_EQ((std::vector<RecordedRow>{
                  Row("run", "r.exe", "HKEY_LOCAL_MACHINE\\" + base + "Run"),
                  Row("once", "o.exe", "HKEY_LOCAL_MACHINE\\" + base + "RunOnce"),
                  Row("svc", "s.exe", "HKEY_CURRENT_USER\\" + base + "RunServices")}),
              Scan());
  }
}

TEST(RegistryScanTest, EveryScanReadsTheRegistryAgain) {
  RegistrySandbox sandbox;
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "first", "1.exe");
  EXPECT_EQ(std::vector<RecordedRow>{Row("first", "1.exe", kMachineRun)}, Scan());

  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "first", "changed.exe");
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "second", "2.exe");
  EXPECT_EQ((std::vector<RecordedRow>{Row("first", "changed.exe", kMachineRun),
                                      Row("second", "2.exe", kMachineRun)}),
            Scan());

  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRun, 0, KEY_SET_VALUE, &key));
  RegDeleteValueA(key, "first");
  RegCloseKey(key);
  EXPECT_EQ(std::vector<RecordedRow>{Row("second", "2.exe", kMachineRun)}, Scan());
}

// ---- What cannot be read gives no row ------------------------------------------------------

TEST(RegistryScanTest, UnreadableHiveGivesNoRows) {
  RegistrySandbox sandbox;
  for (const char* hive : {"S-1-5-21-a", "S-1-5-21-denied", "S-1-5-21-z"})
    RegistrySandbox::SetString(HKEY_USERS, std::string(hive) + "\\" + kRun, "v", hive);
  RegistryFaults faults;
  ASSERT_TRUE(faults.applied());
  faults.failOpen = [](HKEY root, const std::string& subKey, REGSAM) {
    bool denied = root == HKEY_USERS && subKey.rfind("S-1-5-21-denied\\", 0) == 0;
    return static_cast<LONG>(denied ? ERROR_ACCESS_DENIED : ERROR_SUCCESS);
  };
  EXPECT_EQ((std::vector<RecordedRow>{
                Row("v", "S-1-5-21-a", std::string("HKEY_USERS\\S-1-5-21-a\\") + kRun),
                Row("v", "S-1-5-21-z", std::string("HKEY_USERS\\S-1-5-21-z\\") + kRun)}),
            Scan());
}

TEST(RegistryScanTest, UnlistableUsersStillScansMachineAndCurrentUser) {
  RegistrySandbox sandbox;
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "m", "m.exe");
  RegistrySandbox::SetString(HKEY_CURRENT_USER, kRun, "u", "u.exe");
  RegistrySandbox::SetString(HKEY_USERS, std::string("S-1-5-21-x\\") + kRun, "h", "h.exe");
  const struct {
    const char* label;
    bool failOpen;
  } cases[] = {{"cannot open HKEY_USERS", true}, {"cannot query it", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    RegistryFaults faults;
    int infoQueries = 0;
    if (c.failOpen) {
      faults.failOpen = [](HKEY root, const std::string& subKey, REGSAM) {
        return static_cast<LONG>(root == HKEY_USERS && subKey.empty() ? ERROR_ACCESS_DENIED
                                                                      : ERROR_SUCCESS);
      };
    } else {
      // The hives are listed before any key is read: the first query is HKEY_USERS's.
      faults.failInfo = [&infoQueries] {
        return static_cast<LONG>(infoQueries++ == 0 ? ERROR_ACCESS_DENIED : ERROR_SUCCESS);
      };
    }
    EXPECT_EQ(
        (std::vector<RecordedRow>{Row("m", "m.exe", kMachineRun),
                                  Row("u", "u.exe", std::string("HKEY_CURRENT_USER\\") + kRun)}),
        Scan());
  }
}

// A value that grows while it is read is read again, whole; one that
// vanishes gives no row.
TEST(RegistryScanTest, ValueChangedDuringTheScanIsReadAgainWhole) {
  const std::string longText = std::string(800, 'c') + ".exe";
  const struct {
    const char* label;
    int queries;  // how many reads of "changing" find it grown
    LONG result;  // reported by them
    bool listed;
  } cases[] = {{"vanished", 1, ERROR_FILE_NOT_FOUND, false},
               {"grew once", 1, ERROR_MORE_DATA, true},
               {"grew three times", 3, ERROR_MORE_DATA, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    RegistrySandbox sandbox;
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "before", "b.exe");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "changing", longText);
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "later", "l.exe", REG_EXPAND_SZ);
    RegistryFaults faults;
    int queries = 0;
    faults.changeQuery = [&](const std::string& name, bool, DWORD* size, LONG result) {
      if (name != "changing" || ++queries > c.queries) return result;
      if (size) *size = 100000 * queries;  // more than any room asked for before
      return c.result;
    };
    std::vector<RecordedRow> expected{Row("before", "b.exe", kMachineRun)};
    if (c.listed) expected.push_back(Row("changing", longText, kMachineRun));
    expected.push_back(Row("later", "l.exe", kMachineRun));
    EXPECT_EQ(expected, Scan());
  }
}

TEST(RegistryScanTest, ReadsOnlyAndClosesEveryKey) {
  RegistrySandbox sandbox;
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "m", "m.exe");
  RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, kRun, "d", 1);
  RegistrySandbox::SetString(HKEY_USERS, std::string("S-1-5-21-x\\") + kRun, "h", "h.exe");
  RegistrySandbox::SetString(HKEY_CURRENT_USER, kRunOnceEx, "x", "%x%", REG_EXPAND_SZ);
  RegistryFaults faults;
  ASSERT_TRUE(faults.applied());
  EXPECT_EQ(3u, Scan().size());
  EXPECT_GT(faults.opens, 0);
  // Read access only; the machine's keys in their 64-bit view.
  for (size_t i = 0; i < faults.accessRights.size(); ++i)
    EXPECT_EQ(static_cast<REGSAM>(KEY_READ),
              faults.accessRights[i] &
                  ~(faults.openedRoots[i] == HKEY_LOCAL_MACHINE ? KEY_WOW64_64KEY : 0))
        << i;
  EXPECT_TRUE(faults.openKeys.empty()) << faults.openKeys.size() << " keys left open";
  EXPECT_EQ(0, faults.strayCloses);
}

}  // namespace
