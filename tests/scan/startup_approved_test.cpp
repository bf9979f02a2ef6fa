// Windows' start-up switch: which row has one and where, and the state the
// scans read from it.
#include "scan/startup_approved.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recording_sink.h"
#include "sources/registry/registry_scan.h"
#include "sources/startup_folder/startup_folder_scan.h"
#include "support/registry_sandbox.h"
#include "support/temp_folder.h"

namespace {

const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kApproved =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\";
const char kShell[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kShellSpaced[] =
    "Software\\Microsoft\\Windows\\Current Version\\Explorer\\Shell Folders";

// Twelve bytes: the flags byte, three more, and the time.
std::string Flag(unsigned char first, uint64_t time, const char* more = "\0\0\0") {
  std::string bytes(1, static_cast<char>(first));
  bytes.append(more, 3);
  for (int i = 0; i < 8; ++i) bytes += static_cast<char>((time >> (8 * i)) & 0xFF);
  return bytes;
}

void SetFlag(HKEY root, const std::string& key, const std::string& name, const std::string& bytes,
             DWORD type = REG_BINARY) {
  RegistrySandbox::SetValue(root, key, name, type, bytes.data(), static_cast<DWORD>(bytes.size()));
}

struct SlotCase {
  const char* label;
  const char* type;
  std::string name;
  std::string location;
  HKEY root;  // null: the row has no switch
  std::string subKey;
  std::string valueName;
};

void PrintTo(const SlotCase& c, std::ostream* out) {
  *out << c.label;
}

class ApprovalSlotTest : public ::testing::TestWithParam<SlotCase> {
 protected:
  RegistrySandbox sandbox_;

  // The start-up folders as Shell Folders values name them, spelled loosely;
  // the second hive names the current user's folder again.
  void SetUp() override {
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kShellSpaced, "Common Startup",
                               " C:/ProgramData/Startup");
    RegistrySandbox::SetString(HKEY_CURRENT_USER, kShell, "Startup", "C:\\Users\\me\\Startup\\");
    RegistrySandbox::SetString(HKEY_USERS, std::string("S-1-5-21-7\\") + kShell, "Startup",
                               "D:\\Other\\Startup");
    RegistrySandbox::SetString(HKEY_USERS, std::string("S-1-5-21-8\\") + kShell, "Startup",
                               "c:\\users\\me\\startup");
  }
};

TEST_P(ApprovalSlotTest, RowFindsItsSwitch) {
  const SlotCase& c = GetParam();
  ApprovalSlot slot;
  const bool found = FindEntryApprovalSlot(c.type, c.name, c.location, slot);
  ASSERT_EQ(c.root != nullptr, found);
  if (!found) return;
  EXPECT_EQ(c.root, slot.root);
  EXPECT_EQ(c.subKey, slot.subKey);
  EXPECT_EQ(c.valueName, slot.valueName);
}

const std::string kMachine = "HKEY_LOCAL_MACHINE\\";
const std::string kUser = "HKEY_CURRENT_USER\\";

INSTANTIATE_TEST_SUITE_P(
    Rows, ApprovalSlotTest,
    ::testing::Values(
        SlotCase{"MachineRun", "Registry", "Alpha", kMachine + kRun, HKEY_LOCAL_MACHINE,
                 kApproved + "Run", "Alpha"},
        SlotCase{"MachineRunOf32BitView", "Registry", "Alpha",
                 kMachine + "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run",
                 HKEY_LOCAL_MACHINE, kApproved + "Run32", "Alpha"},
        SlotCase{"UserRun", "Registry", "", kUser + kRun, HKEY_CURRENT_USER, kApproved + "Run", ""},
        SlotCase{"HiveRun", "Registry", "Tray", "HKEY_USERS\\S-1-5-21-7\\" + kRun, HKEY_USERS,
                 "S-1-5-21-7\\" + kApproved + "Run", "Tray"},
        SlotCase{"KeyNamesInAnyCase", "Registry", "Alpha",
                 "hkey_local_machine\\SOFTWARE\\microsoft\\windows\\currentversion\\run",
                 HKEY_LOCAL_MACHINE, kApproved + "Run", "Alpha"},
        SlotCase{"RunOnce", "Registry", "Alpha", kMachine + kRun + "Once", nullptr, "", ""},
        SlotCase{"RunOnceEx", "Registry", "Alpha", kUser + kRun + "OnceEx", nullptr, "", ""},
        SlotCase{"RunServices", "Registry", "Alpha",
                 kMachine + "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices", nullptr,
                 "", ""},
        SlotCase{"Policies", "Registry", "Alpha",
                 kMachine + "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run",
                 nullptr, "", ""},
        SlotCase{"SpacedSpelling", "Registry", "Alpha",
                 kUser + "Software\\Microsoft\\Windows\\Current Version\\Run", nullptr, "", ""},
        SlotCase{"UserRunOf32BitView", "Registry", "Alpha",
                 kUser + "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run", nullptr,
                 "", ""},
        SlotCase{"HiveNotNamed", "Registry", "Alpha", "HKEY_USERS\\" + kRun, nullptr, "", ""},
        SlotCase{"OtherRoot", "Registry", "Alpha", "HKEY_CLASSES_ROOT\\" + kRun, nullptr, "", ""},
        SlotCase{"TypeInOtherCase", "registry", "Alpha", kMachine + kRun, nullptr, "", ""},
        SlotCase{"CommonFolderFile", "Start-Up", "tool.exe", "C:\\ProgramData\\Startup\\tool.exe",
                 HKEY_LOCAL_MACHINE, kApproved + "StartupFolder", "tool.exe"},
        SlotCase{"FileNameAsSpelled", "Start-Up", "Tool.EXE", "c:\\programdata\\STARTUP\\Tool.EXE",
                 HKEY_LOCAL_MACHINE, kApproved + "StartupFolder", "Tool.EXE"},
        SlotCase{"UserFolderFileBeforeTheHive", "Start-Up", "note.txt",
                 "C:\\Users\\me\\Startup\\note.txt", HKEY_CURRENT_USER, kApproved + "StartupFolder",
                 "note.txt"},
        SlotCase{"HiveFolderFile", "Start-Up", "x.lnk", "D:\\Other\\Startup\\x.lnk", HKEY_USERS,
                 "S-1-5-21-7\\" + kApproved + "StartupFolder", "x.lnk"},
        SlotCase{"FileBelowAFolder", "Start-Up", "x.exe", "C:\\ProgramData\\Startup\\Sub\\x.exe",
                 nullptr, "", ""},
        SlotCase{"FileOfAnotherFolder", "Start-Up", "x.exe", "E:\\Startup\\x.exe", nullptr, "",
                 ""}),
    [](const ::testing::TestParamInfo<SlotCase>& info) { return std::string(info.param.label); });

// What the scans pass on with each row: its state, and the greyed picture
// when it is disabled.
TEST(ApprovalScanTest, RowsCarryTheirSwitch) {
  ASSERT_TRUE(SystemHonoursApproval()) << "the test prefix must report Windows 8 or later";
  RegistrySandbox sandbox;
  TempFolder temp;
  const uint64_t t1 = 0x01D9A1B2C3D4E5F6ull, t2 = 0x01DA000011112222ull;
  const std::string machine = kApproved + "Run";
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Off", "off.exe");
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "On", "on.exe");
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Short", "short.exe");
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Typed", "typed.exe");
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun + "Once", "Once", "once.exe");
  RegistrySandbox::SetString(HKEY_CURRENT_USER, kRun, "off", "user.exe");
  RegistrySandbox::SetString(HKEY_USERS, "S-1-5-21-7\\" + kRun, "Tray", "tray.exe");
  SetFlag(HKEY_LOCAL_MACHINE, machine, "OFF", Flag(0x03, t1));
  SetFlag(HKEY_LOCAL_MACHINE, machine, "On", Flag(0x06, 0));
  SetFlag(HKEY_LOCAL_MACHINE, machine, "Short", Flag(0x03, t1).substr(0, 11));
  SetFlag(HKEY_LOCAL_MACHINE, machine, "Typed", Flag(0x03, t1), REG_NONE);
  SetFlag(HKEY_LOCAL_MACHINE, machine, "Once", Flag(0x03, t1));
  SetFlag(HKEY_USERS, "S-1-5-21-7\\" + machine, "Tray", Flag(0x07, t2, "\x11\x22\x33"));

  const std::string common = temp.MakeFolder("common");
  const std::string tool = temp.WriteFile("common\\tool.exe", "t");
  const std::string deep = temp.WriteFile("common\\sub\\deep.exe", "d");
  const std::string note = temp.WriteFile("user\\note.txt", "n");
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kShell, "Common Startup", common);
  RegistrySandbox::SetString(HKEY_CURRENT_USER, kShell, "Startup", temp / "user");
  const std::string folders = kApproved + "StartupFolder";
  SetFlag(HKEY_LOCAL_MACHINE, folders, "TOOL.EXE", Flag(0x03, t2));
  SetFlag(HKEY_LOCAL_MACHINE, folders, "deep.exe", Flag(0x03, t2));
  SetFlag(HKEY_LOCAL_MACHINE, folders, "note.txt", Flag(0x03, t2));

  RecordingSink sink;
  ScanRegistry(sink);
  ScanStartupFolders(sink);

  const EntryApproval enabled{EntryState::Enabled, 0};
  const EntryApproval none{EntryState::NotApplicable, 0};
  struct Expected {
    std::string name;
    EntryApproval approval;
    int image;
  };
  const std::vector<Expected> expected = {
      {"Off", {EntryState::Disabled, t1}, DisabledRegistryEntryImage},
      {"On", enabled, RegistryEntryImage},
      {"Short", enabled, RegistryEntryImage},
      {"Typed", enabled, RegistryEntryImage},
      {"Once", none, RegistryEntryImage},
      {"off", enabled, RegistryEntryImage},  // the machine's switch is not the user's
      {"Tray", {EntryState::Disabled, t2}, DisabledRegistryEntryImage},
      {"tool.exe", {EntryState::Disabled, t2}, DisabledStartupFileImage},
      {"deep.exe", none, StartupFileImage},
      {"note.txt", enabled, StartupFileImage},  // the machine's switch is not the user's
  };
  // The listing decides the order of one folder's files: rows are found by name.
  ASSERT_EQ(expected.size(), sink.rows.size());
  for (const Expected& want : expected) {
    SCOPED_TRACE(want.name);
    size_t i = 0;
    while (i < sink.rows.size() && sink.rows[i].name != want.name) ++i;
    ASSERT_LT(i, sink.rows.size());
    EXPECT_TRUE(want.approval == sink.approvals[i])
        << EntryStateText(sink.approvals[i].state) << " " << sink.approvals[i].disabledSince;
    EXPECT_EQ(want.image, sink.rows[i].image);
  }
}

}  // namespace
