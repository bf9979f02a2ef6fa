// Packaged apps' start-up tasks planted in the registry sandbox, with their
// manifests in a temporary folder.
#include "sources/app_task/app_task_scan.h"

#include <gtest/gtest.h>

#include "details/image_resolution.h"
#include "details/user_environment.h"
#include "inventory/inventory.h"
#include "recording_sink.h"
#include "sources/entry_source.h"
#include "support/registry_sandbox.h"
#include "support/temp_folder.h"

namespace {

const char kAppModel[] = "Local Settings\\Software\\Microsoft\\Windows\\CurrentVersion\\AppModel";
const char kOther[] = "S-1-5-21-7-7-7-1001";
const uint64_t kMonday = 0x01dd80ab46688200ull;  // 2026-11-30 09:15 UTC

struct Task {
  const char* package;  // full name
  const char* prefix;   // of the extension's namespace
  const char* entryPoint;
  const char* extra;    // more attributes of the task
  int state;            // -1: no key
  uint64_t lastDisabled;
  // Expected:
  const char* name;
  const char* command;
  EntryState shown;
  bool locked;
  uint64_t since;
};

const Task kTasks[] = {
    {"Case0_1.0.0.0_x64__pubid", "desktop", "Windows.FullTrustApplication",
     "Enabled=\"true\" DisplayName=\"Zero\"", 0, 5, "Zero", "case0.exe", EntryState::Disabled},
    {"Case1_1.0.0.0_x64__pubid", "desktop", "Windows.FullTrustApplication",
     "Enabled=\"true\" DisplayName=\"One\"", 1, kMonday, "One", "case1.exe", EntryState::Disabled,
     false, kMonday},
    {"Case2_1.0.0.0_x64__pubid", "uap5", "Windows.FullTrustApplication",
     "Enabled=\"false\" DisplayName=\"Two\"", 2, 0, "Two", "case2.exe --start",
     EntryState::Enabled},
    {"Case3_1.0.0.0_x64__pubid", "desktop", "Windows.FullTrustApplication",
     "DisplayName=\"Three\"", 3, kMonday, "Three", "case3.exe", EntryState::Disabled, true, kMonday},
    {"Case4_1.0.0.0_x64__pubid", "uap5", "Windows.FullTrustApplication", "DisplayName=\"Four\"", 4,
     0, "Four", "case4.exe", EntryState::Enabled, true},
    {"Case5_1.0.0.0_x64__pubid", "desktop", "Windows.FullTrustApplication",
     "Enabled=\"true\" DisplayName=\"Five\"", -1, 0, "Five", "case5.exe", EntryState::Enabled},
    // A UWP app's task starts disabled whatever it says, and runs the app.
    {"Case6_1.0.0.0_x64__pubid", "uap5", "Case6.App", "Enabled=\"true\" DisplayName=\"Six\"", -1, 0,
     "Six", "app.exe", EntryState::Disabled},
    // Wine resolves no package resource: the package's name.
    {"Case7_1.0.0.0_x64__pubid", "desktop", "Windows.FullTrustApplication",
     "Enabled=\"true\" DisplayName=\"ms-resource:TaskName\"", -1, 0, "Case7", "case7.exe",
     EntryState::Enabled},
};

std::string Manifest(const Task& task, int number) {
  const std::string prefix = task.prefix;
  const std::string program = task.entryPoint[0] == 'W'
                                  ? "Executable=\"case" + std::to_string(number) + ".exe\" "
                                  : "";
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
         "<Package xmlns=\"http://schemas.microsoft.com/appx/manifest/foundation/windows10\" "
         "xmlns:desktop=\"http://schemas.microsoft.com/appx/manifest/desktop/windows10\" "
         "xmlns:uap5=\"http://schemas.microsoft.com/appx/manifest/uap/windows10/5\" "
         "xmlns:uap10=\"http://schemas.microsoft.com/appx/manifest/uap/windows10/10\">\r\n"
         "<Applications><Application Id=\"App\" Executable=\"app.exe\" EntryPoint=\"" +
         std::string(task.entryPoint) + "\"><Extensions>\r\n<" + prefix +
         ":Extension Category=\"windows.startupTask\" " + program +
         (number == 2 ? "uap10:Parameters=\"--start\" " : "") + ">\r\n<" + prefix +
         ":StartupTask TaskId=\"Start\" " + task.extra + "/>\r\n</" + prefix +
         ":Extension>\r\n</Extensions></Application></Applications></Package>\r\n";
}

class AppTaskScanTest : public ::testing::Test {
 protected:
  RegistrySandbox sandbox;
  TempFolder folder;

  // One package of `root`; its state key when `state` is not -1.
  void Plant(HKEY root, const std::string& classes, const std::string& fullName,
             const std::string& manifest, int state, uint64_t lastDisabled) {
    const std::string packageFolder = folder.MakeFolder(fullName);
    folder.WriteFile(fullName + "\\AppxManifest.xml", manifest);
    RegistrySandbox::SetString(root, classes + kAppModel + "\\Repository\\Packages\\" + fullName,
                               "PackageRootFolder", packageFolder);
    if (state < 0) return;
    const std::string family = fullName.substr(0, fullName.find('_')) + "_pubid";
    const std::string key = classes + kAppModel + "\\SystemAppData\\" + family + "\\Start";
    RegistrySandbox::SetDword(root, key, "State", static_cast<DWORD>(state));
    if (lastDisabled)
      RegistrySandbox::SetValue(root, key, "LastDisabledTime", REG_QWORD, &lastDisabled, 8);
  }

  void SetUp() override {
    int number = 0;
    for (const Task& task : kTasks)
      Plant(HKEY_CURRENT_USER, "Software\\Classes\\", task.package, Manifest(task, number++),
            task.state, task.lastDisabled);
    Plant(HKEY_USERS, std::string(kOther) + "_Classes\\", "Other_2.0.0.0_neutral__pubid",
          Manifest(kTasks[5], 5), -1, 0);
    // The current user's classes again, never listed twice.
    Plant(HKEY_USERS, CurrentUserSid() + "_Classes\\", "Twice_1.0.0.0_x64__pubid",
          Manifest(kTasks[5], 5), -1, 0);
  }
};

std::string StateKey(const std::string& root, const std::string& family) {
  return root + "\\" + kAppModel + "\\SystemAppData\\" + family + "_pubid\\Start";
}

TEST_F(AppTaskScanTest, EachUsersTasksWithTheirStates) {
  RecordingSink sink;
  ScanAppTasks(sink);
  ASSERT_EQ(9u, sink.rows.size());
  for (size_t i = 0; i < 8; ++i) {
    const Task& task = kTasks[i];
    const std::string family = std::string(task.package).substr(0, 5);
    SCOPED_TRACE(task.package);
    EXPECT_EQ((RecordedRow{"App", task.name, task.command,
                           StateKey("HKEY_CURRENT_USER\\Software\\Classes", family),
                           task.shown == EntryState::Disabled ? 7 : 2}),
              sink.rows[i]);
    EXPECT_EQ(task.shown, sink.approvals[i].state);
    EXPECT_EQ(task.locked, sink.approvals[i].locked);
    EXPECT_EQ(task.since, sink.approvals[i].disabledSince);
    EXPECT_EQ(EntryOwner::Kind::CurrentUser, sink.owners[i].kind);
  }
  EXPECT_EQ((RecordedRow{"App", "Five", "case5.exe",
                         StateKey(std::string("HKEY_USERS\\") + kOther + "_Classes", "Other"), 2}),
            sink.rows[8]);
  EXPECT_EQ(EntryOwner::Kind::Hive, sink.owners[8].kind);
  EXPECT_EQ(kOther, sink.owners[8].name);

  // The program below the package's folder.
  folder.WriteFile("Case5_1.0.0.0_x64__pubid\\case5.exe", "MZ");
  const ResolvedImage image = FindEntrySource("App")->Image(
      "case5.exe", sink.rows[5].location, sink.owners[5], UserEnvironment::OfThisProcess());
  EXPECT_EQ(folder / "Case5_1.0.0.0_x64__pubid\\case5.exe", image.path);
  EXPECT_TRUE(image.exists);
}

TEST_F(AppTaskScanTest, PolicyLocksItsKindAndShowsInJson) {
  RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE,
                            "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System",
                            "EnableFullTrustStartupTasks", 0);
  RecordingSink sink;
  ScanAppTasks(sink);
  ASSERT_EQ(9u, sink.rows.size());
  EXPECT_TRUE(sink.approvals[5].locked);
  EXPECT_FALSE(sink.approvals[6].locked);  // a UWP app's
  const std::string json =
      InventoryText({MakeInventoryRow("App", "Five", "", "", sink.approvals[5])},
                    InventoryFormat::Json);
  EXPECT_NE(std::string::npos, json.find("\"State\": \"enabled\"")) << json;
  EXPECT_NE(std::string::npos, json.find("\"Policy\": \"locked\"}")) << json;
}

TEST_F(AppTaskScanTest, ChangedManifestIsReadAgain) {
  RecordingSink before, after;
  ScanAppTasks(before);
  Task renamed = kTasks[5];
  renamed.extra = "Enabled=\"true\" DisplayName=\"Five, renamed\"";
  folder.WriteFile(std::string(renamed.package) + "\\AppxManifest.xml", Manifest(renamed, 5));
  ScanAppTasks(after);
  ASSERT_EQ(9u, after.rows.size());
  EXPECT_EQ("Five", before.rows[5].name);
  EXPECT_EQ("Five, renamed", after.rows[5].name);
}

// Anything but a well-formed manifest within bounds declares no task.
TEST(AppManifestTest, BadManifestsDeclareNothing) {
  const std::string task =
      "<Extension Category=\"windows.startupTask\"><StartupTask TaskId=\"T\"/></Extension>";
  ManifestStartupTasks tasks;
  ASSERT_TRUE(ParseManifestStartupTasks("<P>" + task + "</P>", tasks));
  EXPECT_EQ(1u, tasks.size());
  const std::string bad[] = {
      "<!DOCTYPE P [<!ENTITY e \"x\">]><P>" + task + "</P>",  // a document type
      "<P>" + task.substr(0, 60),                              // cut short
      std::string(100, '<') + task,                            // not XML
      "<P>" + task + std::string(ManifestSizeMax, ' ') + "</P>",
  };
  for (const std::string& text : bad) {
    EXPECT_FALSE(ParseManifestStartupTasks(text, tasks)) << text.substr(0, 40);
    EXPECT_TRUE(tasks.empty());
  }
}

}  // namespace
