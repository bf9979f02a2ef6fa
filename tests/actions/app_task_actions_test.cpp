// F7, Remove and Backup of a packaged app's start-up task: its own key is
// switched as Task Manager does, and the task itself is never removed.
#include <gtest/gtest.h>

#include "actions/entry_actions.h"
#include "actions/entry_switch.h"
#include "actions/removal_undo.h"
#include "support/chosen_path_prompts.h"
#include "support/registry_sandbox.h"
#include "support/temp_folder.h"

namespace {

const char kModel[] =
    "Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\CurrentVersion\\AppModel";
const std::string kKey = std::string(kModel) + "\\SystemAppData\\Tray_pubid\\Run";
const std::string kLocation = "HKEY_CURRENT_USER\\" + kKey;

uint64_t Now() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

std::string Value(const char* name, DWORD expectedType) {
  DWORD type = REG_NONE;
  std::string bytes;
  if (!RegistrySandbox::ReadValue(HKEY_CURRENT_USER, kKey, name, type, bytes)) return "absent";
  return type == expectedType ? bytes : "of another type";
}

std::string Dword(DWORD value) {
  return std::string(reinterpret_cast<const char*>(&value), 4);
}

class AppTaskActionsTest : public ::testing::Test {
 protected:
  RegistrySandbox sandbox;
  TempFolder folder;

  void SetUp() override {
    folder.WriteFile("Tray_1.0.0.0_x64__pubid\\AppxManifest.xml",
                     "<Package><Applications><Application EntryPoint="
                     "\"Windows.FullTrustApplication\"><Extensions>"
                     "<Extension Category=\"windows.startupTask\" Executable=\"tray.exe\">"
                     "<StartupTask TaskId=\"Run\" Enabled=\"true\"/></Extension>"
                     "</Extensions></Application></Applications></Package>");
    RegistrySandbox::SetString(HKEY_CURRENT_USER,
                               std::string(kModel) +
                                   "\\Repository\\Packages\\Tray_1.0.0.0_x64__pubid",
                               "PackageRootFolder", folder / "Tray_1.0.0.0_x64__pubid");
  }
};

TEST_F(AppTaskActionsTest, SwitchesAsTaskManagerDoes) {
  // No key yet: the manifest enables it, and disabling makes the key.
  const uint64_t before = Now();
  ASSERT_EQ(ERROR_SUCCESS, SwitchEntry("App", "Tray", kLocation, true));
  EXPECT_EQ(Dword(1), Value("State", REG_DWORD));
  uint64_t disabled = 0;
  const std::string time = Value("LastDisabledTime", REG_QWORD);
  ASSERT_EQ(8u, time.size());
  memcpy(&disabled, time.data(), 8);
  EXPECT_LE(before, disabled);
  EXPECT_GE(Now(), disabled);
  EXPECT_EQ("absent", Value("UserEnabledStartupOnce", REG_DWORD));

  ASSERT_EQ(ERROR_SUCCESS, SwitchEntry("App", "Tray", kLocation, false));
  EXPECT_EQ(Dword(2), Value("State", REG_DWORD));
  EXPECT_EQ(Dword(1), Value("UserEnabledStartupOnce", REG_DWORD));
  EXPECT_EQ(time, Value("LastDisabledTime", REG_QWORD));
}

// Set by policy: "Access denied." and nothing written, either way.
TEST_F(AppTaskActionsTest, LockedTaskIsNotSwitched) {
  for (DWORD state : {3, 4}) {
    RegDeleteTreeA(HKEY_CURRENT_USER, kKey.c_str());
    RegistrySandbox::SetDword(HKEY_CURRENT_USER, kKey, "State", state);
    for (bool disable : {true, false})
      EXPECT_EQ(ERROR_ACCESS_DENIED, SwitchEntry("App", "Tray", kLocation, disable)) << state;
    EXPECT_EQ(Dword(state), Value("State", REG_DWORD));
    EXPECT_EQ("absent", Value("LastDisabledTime", REG_QWORD));
    EXPECT_EQ("absent", Value("UserEnabledStartupOnce", REG_DWORD));
  }
}

TEST_F(AppTaskActionsTest, RemoveWritesNothingAndKeepsNoRecord) {
  RegistrySandbox::SetDword(HKEY_CURRENT_USER, kKey, "State", 2);
  RemovalStore store(folder / "store");
  RemovalRecord kept;
  EXPECT_EQ(RemovalResult::NotRemoved,
            RemoveEntryKept("App", "Tray", kLocation, store, kept));
  EXPECT_TRUE(kept.id.empty());
  EXPECT_FALSE(RemoveEntry("App", "Tray", kLocation));
  EXPECT_EQ(Dword(2), Value("State", REG_DWORD));
  EXPECT_FALSE(TempFolder::Exists(folder / "store"));
}

TEST_F(AppTaskActionsTest, BackupWritesTheKeysValuesWithTheirTypes) {
  RegistrySandbox::SetDword(HKEY_CURRENT_USER, kKey, "State", 1);
  const uint64_t time = 0x01dd80ab46688200ull;
  RegistrySandbox::SetValue(HKEY_CURRENT_USER, kKey, "LastDisabledTime", REG_QWORD, &time, 8);
  ChosenPathPrompts prompts(folder / "tray.reg");
  BackupEntry("App", "Tray", kLocation, prompts);
  EXPECT_TRUE(prompts.warnings.empty());
  const std::wstring text =
      L"\xFEFFWindows Registry Editor Version 5.00\r\n\r\n"
      L"[HKEY_CURRENT_USER\\Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\"
      L"CurrentVersion\\AppModel\\SystemAppData\\Tray_pubid\\Run]\r\n"
      L"\"LastDisabledTime\"=hex(b):00,82,68,46,ab,80,dd,01\r\n"
      L"\"State\"=dword:00000001\r\n\r\n";
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2),
            TempFolder::ReadFile(folder / "tray.reg"));
}

}  // namespace
