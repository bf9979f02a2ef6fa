// Remove keeps an exact copy before it deletes, and the copy writes the entry
// back as it was: raw bytes, type, switch, a shortcut's attributes and times.
#include "actions/removal_undo.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "scan/registry_access.h"
#include "support/registry_sandbox.h"
#include "support/store_security.h"
#include "support/temp_folder.h"

namespace {

const char kSwitches[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder";
const std::string kSwitch("\x03\0\0\0\x10\x20\x30\x40\x50\x60\x70\x01", 12);

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

const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunSwitches[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";

std::string Utf16(const std::wstring& text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

// A record is input anyone who can write the store may have made: only what
// Remove keeps and the scans list comes back, and a refused one writes nothing.
struct ForgedCase {
  const char* label;
  std::function<void(RemovalRecord&, const std::string& folder)> forge;
  bool restored;
};

void PrintTo(const ForgedCase& c, std::ostream* out) {
  *out << c.label;
}

class ForgedRecordTest : public ::testing::TestWithParam<ForgedCase> {};

TEST_P(ForgedRecordTest, OnlyWhatTheScansListIsRestored) {
  const ForgedCase& c = GetParam();
  RegistrySandbox sandbox;
  TempFolder temp;
  const std::string start = temp.MakeFolder("start");
  temp.MakeFolder("start\\a\\b");
  RegistrySandbox::SetString(
      HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
      "Startup", start);
  RemovalRecord record;
  record.type = "Registry";
  record.name = "Tool";
  record.location = std::string("HKEY_CURRENT_USER\\") + kRun;
  record.valueName = L"Tool";
  record.valueType = REG_SZ;
  record.bytes = Utf16(std::wstring(L"tool.exe", 9));
  c.forge(record, start);

  EXPECT_EQ(c.restored ? RestoreResult::Restored : RestoreResult::NotAccessible,
            RestoreRemoval(record));
  if (record.type == "Registry") {
    RegistryLocation key;
    DWORD type = REG_NONE;
    std::string bytes;
    const bool parsed = ParseRegistryPath(record.location, key);
    EXPECT_EQ(c.restored, parsed && ReadValueExact(key.root, key.subKey, record.valueName, type,
                                                   bytes) == ERROR_SUCCESS);
    if (c.restored) {
      EXPECT_EQ(record.bytes, bytes);
    }
  } else {
    EXPECT_EQ(c.restored, TempFolder::Exists(record.location));
  }
  // The switch lands where the entry's own is, never where the record says.
  std::string flags;
  DWORD type = REG_NONE;
  EXPECT_FALSE(RegistrySandbox::ReadValue(HKEY_CURRENT_USER, "Software\\Forged", "Tool", type, flags));
  EXPECT_EQ(c.restored && !record.switchBytes.empty(),
            RegistrySandbox::ReadValue(HKEY_CURRENT_USER, kRunSwitches, "Tool", type, flags));
}

const std::string kOff("\x03\0\0\0\x10\x20\x30\x40\x50\x60\x70\x01", 12);

void Shortcut(RemovalRecord& r, const std::string& path) {
  r.type = "Start-Up";
  r.name = path.substr(path.rfind('\\') + 1);
  r.location = path;
  r.valueType = REG_NONE;
  r.bytes = "L\1\2";
}

INSTANTIATE_TEST_SUITE_P(
    Records, ForgedRecordTest,
    ::testing::Values(
        ForgedCase{"RunValue", [](RemovalRecord&, const std::string&) {}, true},
        ForgedCase{"NameWithAZero",
                   [](RemovalRecord& r, const std::string&) { r.valueName = std::wstring(L"Tool\0x", 6); },
                   true},
        ForgedCase{"SwitchOfAnotherKey",
                   [](RemovalRecord& r, const std::string&) {
                     r.switchKey = "HKEY_CURRENT_USER\\Software\\Forged";
                     r.switchName = "Tool";
                     r.switchType = REG_BINARY;
                     r.switchBytes = kOff;
                   },
                   true},
        ForgedCase{"KeyNotScanned",
                   [](RemovalRecord& r, const std::string&) {
                     r.location = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
                   },
                   false},
        ForgedCase{"BelowARunKey",
                   [](RemovalRecord& r, const std::string&) { r.location += "\\Sub"; }, false},
        ForgedCase{"BinaryValue",
                   [](RemovalRecord& r, const std::string&) { r.valueType = REG_BINARY; }, false},
        ForgedCase{"OtherView", [](RemovalRecord& r, const std::string&) { r.view = 64; }, false},
        ForgedCase{"SwitchNotAsWindowsWrites",
                   [](RemovalRecord& r, const std::string&) {
                     r.switchType = REG_SZ;
                     r.switchBytes = "x";
                   },
                   false},
        ForgedCase{"ShortcutDeepInAStartupFolder",
                   [](RemovalRecord& r, const std::string& start) { Shortcut(r, start + "\\a\\b\\x.lnk"); },
                   true},
        ForgedCase{"ShortcutOutsideTheFolders",
                   [](RemovalRecord& r, const std::string& start) { Shortcut(r, start + "2\\x.lnk"); },
                   false},
        ForgedCase{"StepOut",
                   [](RemovalRecord& r, const std::string& start) { Shortcut(r, start + "\\..\\x.lnk"); },
                   false},
        ForgedCase{"Stream",
                   [](RemovalRecord& r, const std::string& start) { Shortcut(r, start + "\\a:b\\x.lnk"); },
                   false},
        ForgedCase{"Program",
                   [](RemovalRecord& r, const std::string& start) { Shortcut(r, start + "\\x.exe"); },
                   false},
        ForgedCase{"ShortcutOverOneMiB",
                   [](RemovalRecord& r, const std::string& start) {
                     Shortcut(r, start + "\\x.lnk");
                     r.bytes.assign((1 << 20) + 1, 'L');
                   },
                   false}),
    [](const ::testing::TestParamInfo<ForgedCase>& info) { return std::string(info.param.label); });

// Who may change the store: administrators and the system only.
TEST(RemovalStore, AdministratorsOnlyDescriptors) {
  const struct {
    const char* sddl;
    bool trusted;
  } cases[] = {
      {"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", true},
      {"O:SYD:P(A;;FA;;;BA)(A;;FR;;;BU)(D;;FA;;;WD)", true},
      {"O:BAD:P", true},  // an empty DACL lets no one in
      {"O:S-1-5-21-1-2-3-1000D:P(A;;FA;;;BA)", false},
      {"O:BAD:(A;;FA;;;BA)", false},  // inherits what its parent allows
      {"O:BA", false},                // no DACL at all
      {"O:BAD:P(A;;0x2;;;BU)", false},
      {"O:BAD:P(A;;0x4;;;BU)", false},
      {"O:BAD:P(A;;0x40;;;BU)", false},
      {"O:BAD:P(A;;WD;;;BU)", false},
      {"O:BAD:P(A;;WO;;;S-1-5-21-1-2-3-1000)", false},
      {"O:BAD:P(A;;GW;;;AU)", false},
      {"O:BAD:P(A;CIIO;GA;;;CO)", false},
  };
  for (const auto& c : cases) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(c.sddl, SDDL_REVISION_1,
                                                                     &descriptor, nullptr))
        << c.sddl;
    EXPECT_EQ(c.trusted, IsAdministratorsOnly(descriptor)) << c.sddl;
    LocalFree(descriptor);
  }
}

// Files anyone else put in the store neither push a record out nor count;
// a guarded store is used only while each level and record is trusted.
TEST(RemovalStore, FloodedAndSquattedStores) {
  const char kTrusted[] = "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  const struct {
    const char* label;
    size_t guarded;
    const char* sddl;  // null: as the system answers (Wine: the user's own)
    int junk, forged;   // unreadable files, readable records dated later
    bool kept;
    size_t listed;
  } cases[] = {
      {"HundredUnreadable", 0, nullptr, 100, 0, true, 1},
      {"HundredLaterRecords", 0, nullptr, 0, 100, true, 100},
      {"Trusted", 2, kTrusted, 0, 0, true, 1},
      {"SquattedByAUser", 2, "O:S-1-5-21-1-2-3-1000D:P(A;OICI;FA;;;S-1-5-21-1-2-3-1000)", 0, 0,
       false, 0},
      {"UsersMayAddFiles", 2, "O:BAD:P(A;OICI;FA;;;BA)(A;;0x2;;;BU)", 0, 0, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempFolder temp;
    const std::string folder = temp / "a\\b";
    if (c.junk || c.forged) temp.MakeFolder("a\\b");
    for (int i = 0; i < c.junk; ++i)
      temp.WriteFile("a\\b\\ffffffffffff" + std::to_string(1000 + i) + ".removed", "junk");
    RemovalRecord forged;
    for (int i = 0; i < c.forged; ++i)
      temp.WriteFile("a\\b\\fffffffffffff" + std::to_string(100 + i) + ".removed",
                     RemovalRecordText(forged));
    std::unique_ptr<DescriptorPatch> descriptors;
    if (c.sddl) descriptors = std::make_unique<DescriptorPatch>(c.sddl);
    RemovalStore store(folder, c.guarded);
    RemovalRecord record;
    record.name = "mine";
    EXPECT_EQ(c.kept, store.Keep(record));
    const std::vector<RemovalRecord> listed = store.List();
    EXPECT_EQ(c.listed, listed.size());
    bool mine = false;
    for (const RemovalRecord& r : listed) mine = mine || r.name == "mine";
    EXPECT_EQ(c.kept, mine);
    EXPECT_EQ(c.junk + (c.forged ? 99 : 0) + (c.kept ? 1 : 0),
              TempFolder::Exists(folder) ? static_cast<int>(TempFolder::EntryCount(folder)) : 0);
  }
}

// A record with a second name can be changed through it: not used.
TEST(RemovalStore, ARecordWithTwoLinksIsNotRead) {
  TempFolder temp;
  DescriptorPatch descriptors("O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
  RemovalStore store(temp / "a\\b", 2);
  RemovalRecord record;
  ASSERT_TRUE(store.Keep(record));
  ASSERT_EQ(1u, store.List().size());
  ASSERT_TRUE(CreateHardLinkA((temp / "other").c_str(), (temp / ("a\\b\\" + record.id)).c_str(),
                              nullptr));
  EXPECT_TRUE(store.List().empty());
}

}  // namespace
