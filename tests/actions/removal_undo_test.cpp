// Remove keeps an exact copy before it deletes, and the copy writes the entry
// back as it was: raw bytes, type, switch, a shortcut's attributes and times.
#include "actions/removal_undo.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "support/registry_sandbox.h"
#include "support/store_security.h"
#include "support/temp_folder.h"

namespace {

const StoreSecurityPatch g_storeSecurity;

const char kSwitches[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder";
const std::string kSwitch("\x03\0\0\0\x10\x20\x30\x40\x50\x60\x70\x01", 12);
const char kRunSwitches[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";

// A file's bytes, attributes and times, and its switch: "" when missing.
// Reading the file moves its access time, which is put back.
std::string Snapshot(const std::string& path, const std::string& name) {
  WIN32_FILE_ATTRIBUTE_DATA info = {};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &info)) return "";
  const std::string bytes = TempFolder::ReadFile(path);
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, 0);
  SetFileTime(file, nullptr, &info.ftLastAccessTime, nullptr);
  CloseHandle(file);
  DWORD type = REG_NONE;
  std::string flags;
  RegistrySandbox::ReadValue(HKEY_CURRENT_USER, kSwitches, name, type, flags);
  return bytes + "|" + std::string(reinterpret_cast<char*>(&info), sizeof info) + "|" + flags;
}

// The registry's own round trip is the main window's test of Ctrl+Z.
TEST(RemoveEntryKept, RestoreGivesBackTheExactShortcut) {
  RegistrySandbox sandbox;
  TempFolder temp;
  RegistrySandbox::SetString(
      HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
      "Startup", temp.MakeFolder("start"));
  // Read-only and hidden, of old times, and switched off.
  const std::string link = temp.WriteFile("start\\x.lnk", std::string("L\0\0\0\x01\x14", 6));
  const FILETIME old = {0x12345678, 0x01C00000};
  HANDLE file = CreateFileA(link.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, 0);
  SetFileTime(file, &old, &old, &old);
  CloseHandle(file);
  SetFileAttributesA(link.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  RegistrySandbox::SetValue(HKEY_CURRENT_USER, kSwitches, "x.lnk", REG_BINARY, kSwitch.data(), 12);
  const std::string program = temp.WriteFile("start\\p.exe", "MZ");

  RemovalStore store(temp / "store");
  for (const std::string& path : {link, program}) {
    const std::string name = path.substr(path.rfind('\\') + 1);
    const std::string before = Snapshot(path, name);
    RemovalRecord kept, record;
    EXPECT_EQ(RemovalResult::Removed, RemoveEntryKept("Start-Up", name, path, store, kept));
    EXPECT_EQ("", Snapshot(path, name));
    // Programs are wiped for good.
    EXPECT_EQ(path == link, store.Load(kept.id, record)) << name;
    if (path != link) continue;
    EXPECT_FALSE(RemovalTargetExists(record));
    EXPECT_EQ(RestoreResult::Restored, RestoreRemoval(record));
    EXPECT_EQ(before, Snapshot(path, name));
  }
}

// The store never holds an undo for an entry that is still there.
TEST(RemoveEntryKept, AFailedRemovalDropsItsRecord) {
  TempFolder temp;
  const std::string link = temp.WriteFile("x.lnk", "link");
  HANDLE held =
      CreateFileA(link.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  RemovalStore store(temp / "removed");
  RemovalRecord kept;
  EXPECT_EQ(RemovalResult::NotRemoved, RemoveEntryKept("Start-Up", "x.lnk", link, store, kept));
  CloseHandle(held);
  EXPECT_EQ("", kept.id);
  EXPECT_TRUE(store.List().empty());
}

TEST(RemovalStore, KeepsTheLastHundred) {
  TempFolder temp;
  RemovalStore store(temp / "a\\b");
  for (int i = 0; i <= 100; ++i) {
    RemovalRecord record;
    record.name = std::to_string(i);
    ASSERT_TRUE(store.Keep(record));
  }
  const std::vector<RemovalRecord> kept = store.List();
  ASSERT_EQ(100u, kept.size());
  EXPECT_EQ("100", kept.front().name);
  EXPECT_EQ("1", kept.back().name);
}

// A record is input anyone who can write the store may have made: only what
// Remove keeps and the scans list comes back, its switch only where Windows
// keeps the entry's; a refused one writes nothing.
TEST(RestoreRemoval, ForgedRecords) {
  RegistrySandbox sandbox;
  TempFolder temp;
  temp.MakeFolder("start\\a\\b");
  const std::string start = temp / "start";
  RegistrySandbox::SetString(
      HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
      "Startup", start);
  const std::string run = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  const struct {
    std::string location;  // a key, or a shortcut's path
    std::wstring name;     // of a value; none for a shortcut
    DWORD type, view, switchType;
    size_t size;
    bool restored;
  } cases[] = {
      {run, L"A", REG_SZ, 0, REG_NONE, 8, true},
      {run, std::wstring(L"B\0x", 3), REG_EXPAND_SZ, 0, REG_NONE, 8, true},
      {run, L"C", REG_SZ, 0, REG_BINARY, 8, true},  // its switch named for another key
      {run + "\\Sub", L"D", REG_SZ, 0, REG_NONE, 8, false},
      {run, L"F", REG_BINARY, 0, REG_NONE, 8, false},
      {run, L"G", REG_SZ, 64, REG_NONE, 8, false},  // another view
      {run, L"H", REG_SZ, 0, REG_SZ, 8, false},  // a switch Windows never writes
      {start + "\\a\\b\\x.lnk", L"", REG_NONE, 0, REG_NONE, 8, true},
      {start + "2\\x.lnk", L"", REG_NONE, 0, REG_NONE, 8, false},
      {start + "\\..\\x.lnk", L"", REG_NONE, 0, REG_NONE, 8, false},
      {start + "\\x.exe", L"", REG_NONE, 0, REG_NONE, 8, false},
      {start + "\\y.lnk", L"", REG_NONE, 0, REG_NONE, (1 << 20) + 1, false},
  };
  for (const auto& c : cases) {
    RemovalRecord r;
    r.type = c.name.empty() ? "Start-Up" : "Registry";
    std::tie(r.location, r.valueName, r.valueType, r.view) = std::tie(c.location, c.name, c.type, c.view);
    r.bytes.assign(c.size, 'L');
    std::tie(r.switchKey, r.switchName) = std::make_pair("HKEY_CURRENT_USER\\Software\\Forged", "C");
    r.switchType = c.switchType;
    if (c.switchType != REG_NONE) r.switchBytes = kSwitch;
    EXPECT_EQ(c.restored ? RestoreResult::Restored : RestoreResult::NotAccessible,
              RestoreRemoval(r)) << c.location;
    EXPECT_EQ(c.restored, RemovalTargetExists(r)) << c.location;
  }
  DWORD type = REG_NONE;
  std::string flags;
  EXPECT_FALSE(RegistrySandbox::ReadValue(HKEY_CURRENT_USER, "Software\\Forged", "C", type, flags));
  EXPECT_TRUE(RegistrySandbox::ReadValue(HKEY_CURRENT_USER, kRunSwitches, "C", type, flags) &&
              flags == kSwitch);
}

// Files anyone else put in the store neither push a record out nor count. A
// guarded store is used only while each level and record is a real folder or
// a file of one name owned by Administrators or SYSTEM, whose protected DACL
// lets no one else write, append, delete children, or change DACL or owner.
TEST(RemovalStore, FloodedAndSquattedStores) {
  const std::string kTrusted = "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  const struct {
    std::string sddl;   // what every level and record answers; empty: not guarded
    std::string flood;  // written as 100 files dated later than any record
    bool kept, linked;  // linked: the record gets a second name
    size_t listed;
  } cases[] = {
      {"", "junk", true, false, 1},
      {"", RemovalRecordText(RemovalRecord()), true, false, 100},
      {kTrusted, "", true, false, 1},
      {kTrusted, "", true, true, 0},
      {"O:BAD:P", "", true, false, 1},  // an empty DACL lets no one in
      {"O:S-1-5-21-1-2-3-1000D:P(A;OICI;FA;;;BA)", "", false, false, 0},
      {"O:BAD:(A;;FA;;;BA)", "", false, false, 0},  // inherits what its parent allows
      {"O:BA", "", false, false, 0},                // no DACL: anyone
      {kTrusted + "(A;;0x2;;;BU)", "", false, false, 0},
      {kTrusted + "(A;;0x4;;;BU)", "", false, false, 0},
      {kTrusted + "(A;;0x40;;;BU)", "", false, false, 0},
      {kTrusted + "(A;;WD;;;AU)", "", false, false, 0},
      {kTrusted + "(A;;GW;;;AU)(D;;FA;;;WD)", "", false, false, 0},
  };
  for (const auto& c : cases) {
    TempFolder temp;
    for (int i = 0; i < 100 && !c.flood.empty(); ++i)
      temp.WriteFile("a\\b\\ffffffffffff" + std::to_string(1000 + i) + ".removed", c.flood);
    StoreSecurityPatch::sddl = c.sddl;
    RemovalStore store(temp / "a\\b", c.sddl.empty() ? 0 : 2);
    RemovalRecord record;
    record.name = "mine";
    EXPECT_EQ(c.kept, store.Keep(record)) << c.flood << c.sddl;
    if (c.linked) CreateHardLinkA((temp / "x").c_str(), (temp / ("a\\b\\" + record.id)).c_str(), 0);
    const std::vector<RemovalRecord> listed = store.List();
    ASSERT_EQ(c.listed, listed.size()) << c.flood << c.sddl;
    EXPECT_TRUE(!c.listed || listed.back().name == "mine");  // the oldest, yet kept
  }
  StoreSecurityPatch::sddl.clear();
}

}  // namespace
