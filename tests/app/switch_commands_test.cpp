// Task > Disable / Enable driven through the running main window, by the menu
// command and by F7, against a sandboxed registry: the raw bytes of Windows'
// switch, the menu text, the row's picture, selection and infotip.
#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/entry_list.h"
#include "app/lumivane_app.h"
#include "app/lumivane_dlg.h"
#include "scan/registry_access.h"
#include "support/import_patch.h"
#include "resource.h"
#include "support/modal_script.h"
#include "support/registry_sandbox.h"
#include "support/scripted_prompts.h"
#include "support/temp_folder.h"
#include "util/time_text.h"

namespace {

const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kApproved =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\";
const char kShell[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kHive[] = "S-1-5-21-7";

uint64_t Now() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

uint64_t TimeOf(const std::string& bytes) {
  uint64_t time = 0;
  for (int i = 11; i >= 4; --i) time = (time << 8) | static_cast<unsigned char>(bytes[i]);
  return time;
}

// One entry and where its switch lives.
struct Target {
  std::string type, name, location;
  HKEY root;
  std::string key, value;
};

// What the window shows of the selected row, and the switch's bytes, after a step.
struct Seen {
  std::string menuText;
  bool menuGreyed = false;
  std::string type, name, location;  // of the selected row
  int image = -1;
  std::string tip;
  bool stored = false;
  std::string bytes;
};

class SwitchCommandsTest : public ::testing::Test {
 protected:
  RegistrySandbox sandbox;
  TempFolder folder;
  CLumivaneApp app;
  std::unique_ptr<CLumivaneDlg> dialog;
  ScriptedPrompts prompts;

  void SetUp() override {
    app.m_hAccelTable =
        LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAIN_ACCELERATORS));
    // Other rows around the one acted on, so that keeping the selection counts.
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Before", "before.exe");
    RegistrySandbox::SetString(HKEY_USERS, std::string(kHive) + "\\" + kRun, "Zulu", "z.exe");
  }

  void RunMainWindow(std::vector<ModalStep> steps) {
    RunNewMainWindow(app, dialog, std::move(steps));
  }

  CEntryList& List() { return dialog->EntryList(); }

  // Selects the row with these texts; false when there is none.
  bool Select(const std::string& type, const std::string& name, const std::string& location) {
    return SelectEntryRow(List(), SelectedEntry{type, name, location}, -1);
  }

  void Disable(bool byKey) {
    if (byKey)
      PostKey(List(), VK_F7);
    else
      PostMessageA(*dialog, WM_COMMAND, ID_TASK_DISABLE, 0);
  }

  // The Task menu as it opens now.
  void ReadMenu(Seen& seen) {
    HMENU task = GetSubMenu(GetMenu(*dialog), 1);
    dialog->SendMessage(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(task), MAKELPARAM(1, FALSE));
    char text[64] = "";
    GetMenuStringA(task, ID_TASK_DISABLE, text, sizeof text, MF_BYCOMMAND);
    seen.menuText = text;
    seen.menuGreyed = (GetMenuState(task, ID_TASK_DISABLE, MF_BYCOMMAND) & MF_GRAYED) != 0;
  }

  // The infotip the list would show for `row`; "(default)" when the window
  // leaves the list's own text.
  std::string TipOf(int row) {
    char text[256] = "(default)";
    NMLVGETINFOTIPA tip = {};
    tip.hdr.hwndFrom = List();
    tip.hdr.idFrom = IDC_ENTRY_LIST;
    tip.hdr.code = LVN_GETINFOTIPA;
    tip.pszText = text;
    tip.cchTextMax = sizeof text;
    tip.iItem = row;
    dialog->SendMessage(WM_NOTIFY, IDC_ENTRY_LIST, reinterpret_cast<LPARAM>(&tip));
    return text;
  }

  Seen Look(const Target& target) {
    Seen seen;
    ReadMenu(seen);
    const int row = List().GetNextItem(-1, LVNI_SELECTED);
    const SelectedEntry entry = ReadEntryRow(List(), row);
    seen.type = entry.type;
    seen.name = entry.name;
    seen.location = entry.location;
    LVITEMA item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    List().GetItem(&item);
    seen.image = row < 0 ? -1 : item.iImage;
    seen.tip = TipOf(row);
    DWORD type = REG_NONE;
    seen.stored =
        RegistrySandbox::ReadValue(target.root, target.key, target.value, type, seen.bytes);
    if (seen.stored && type != REG_BINARY) seen.bytes = "(type " + std::to_string(type) + ")";
    return seen;
  }
};

struct RoundTripCase {
  const char* label;
  std::function<Target(TempFolder&)> seed;
};

void PrintTo(const RoundTripCase& c, std::ostream* out) {
  *out << c.label;
}

class SwitchRoundTripTest : public SwitchCommandsTest,
                            public ::testing::WithParamInterface<RoundTripCase> {};

TEST_P(SwitchRoundTripTest, DisablesAndEnablesTheSelectedEntry) {
  if (std::string(GetParam().label) == "MachineRunOf32BitView" && !MachineHas32BitRegistryView())
    GTEST_SKIP() << "32-bit Windows: one registry view";
  const Target target = GetParam().seed(folder);
  const bool file = target.type == "Start-Up";
  const int picture = file ? 1 : 0, greyed = file ? 6 : 5;  // five pictures, then their greyed copies
  // Disable by the menu, Enable by F7, Disable by F7, Enable by the menu;
  // what the window shows is looked at before the first and after each.
  const bool byKey[] = {false, true, true, false};
  std::vector<Seen> seen;
  std::vector<uint64_t> times;  // just before and just after each command
  std::vector<ModalStep> steps;
  for (size_t step = 0; step <= std::size(byKey); ++step) {
    steps.push_back([&, step] {
      if (step == 0) {
        ASSERT_TRUE(Select(target.type, target.name, target.location));
      }
      if (step > 0) times.push_back(Now());
      seen.push_back(Look(target));
      if (step == std::size(byKey)) return;
      times.push_back(Now());
      Disable(byKey[step]);
    });
  }
  RunMainWindow(std::move(steps));
  ASSERT_EQ(5u, seen.size());
  ASSERT_EQ(8u, times.size());
  EXPECT_TRUE(prompts.messageBoxes.empty());

  const std::string enabledBytes("\x02\0\0\0\0\0\0\0\0\0\0\0", 12);
  for (size_t step = 0; step < seen.size(); ++step) {
    SCOPED_TRACE("after step " + std::to_string(step));
    const Seen& s = seen[step];
    const bool disabled = step % 2 == 1;
    // The same row stays selected through every refresh.
    EXPECT_EQ(target.type, s.type);
    EXPECT_EQ(target.name, s.name);
    EXPECT_EQ(target.location, s.location);
    EXPECT_FALSE(s.menuGreyed);
    EXPECT_EQ(disabled ? "&Enable\tF7" : "&Disable\tF7", s.menuText);
    EXPECT_EQ(disabled ? greyed : picture, s.image);
    if (step == 0) {
      EXPECT_FALSE(s.stored);
    } else if (disabled) {
      ASSERT_EQ(12u, s.bytes.size());
      EXPECT_EQ(std::string("\x03\0\0\0", 4), s.bytes.substr(0, 4));
      const uint64_t time = TimeOf(s.bytes);
      EXPECT_LE(times[2 * (step - 1)], time);
      EXPECT_GE(times[2 * (step - 1) + 1], time);
      // The program's details follow on lines of their own.
      EXPECT_EQ("Disabled since " + LocalDateTimeText(time), s.tip.substr(0, s.tip.find('\r')));
    } else {
      EXPECT_EQ(enabledBytes, s.bytes);
      EXPECT_EQ(std::string::npos, s.tip.find("Disabled"));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Entries, SwitchRoundTripTest,
    ::testing::Values(
        RoundTripCase{"MachineRun",
                      [](TempFolder&) {
                        RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Updater", "u.exe");
                        return Target{
                            "Registry",         "Updater",         "HKEY_LOCAL_MACHINE\\" + kRun,
                            HKEY_LOCAL_MACHINE, kApproved + "Run", "Updater"};
                      }},
        RoundTripCase{
            "MachineRunOf32BitView",
            [](TempFolder&) {
              const std::string wow =
                  "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
              RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, wow, "Legacy", "l.exe");
              return Target{
                  "Registry",          "Legacy", "HKEY_LOCAL_MACHINE\\" + wow, HKEY_LOCAL_MACHINE,
                  kApproved + "Run32", "Legacy"};
            }},
        RoundTripCase{
            "UserRun",
            [](TempFolder&) {
              RegistrySandbox::SetString(HKEY_CURRENT_USER, kRun, "Tray", "t.exe");
              return Target{
                  "Registry",        "Tray", "HKEY_CURRENT_USER\\" + kRun, HKEY_CURRENT_USER,
                  kApproved + "Run", "Tray"};
            }},
        RoundTripCase{"HiveRun",
                      [](TempFolder&) {
                        const std::string hive = std::string(kHive) + "\\";
                        RegistrySandbox::SetString(HKEY_USERS, hive + kRun, "Agent", "a.exe");
                        return Target{"Registry",
                                      "Agent",
                                      "HKEY_USERS\\" + hive + kRun,
                                      HKEY_USERS,
                                      hive + kApproved + "Run",
                                      "Agent"};
                      }},
        RoundTripCase{
            "CommonFolderFile",
            [](TempFolder& folder) {
              const std::string file = folder.WriteFile("common\\Sync.lnk", "L");
              RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kShell, "Common Startup",
                                         folder / "common");
              return Target{
                  "Start-Up", "Sync.lnk", file, HKEY_LOCAL_MACHINE, kApproved + "StartupFolder",
                  "Sync.lnk"};
            }},
        RoundTripCase{
            "UserFolderFile",
            [](TempFolder& folder) {
              const std::string file = folder.WriteFile("user\\remind.bat", "@rem");
              RegistrySandbox::SetString(HKEY_CURRENT_USER, kShell, "Startup", folder / "user");
              return Target{
                  "Start-Up",  "remind.bat", file, HKEY_CURRENT_USER, kApproved + "StartupFolder",
                  "remind.bat"};
            }}),
    [](const ::testing::TestParamInfo<RoundTripCase>& info) {
      return std::string(info.param.label);
    });

// Rows Windows keeps no switch for, and no row at all: the command is greyed,
// and F7 writes nothing.
TEST_F(SwitchCommandsTest, GreyedWhereNoSwitchApplies) {
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun + "Once", "Setup", "setup.exe");
  const std::string policies =
      "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";
  const std::function<void()> selections[] = {
      [&] { Select("Registry", "Setup", "HKEY_LOCAL_MACHINE\\" + kRun + "Once"); },
      [&] {
        EntryListSink(List()).AddEntryRow("Registry", "Forced", "f.exe", policies.c_str(), 0, {});
        Select("Registry", "Forced", policies);
      },
      [] {},  // nothing selected
  };
  for (const auto& select : selections) {
    Seen seen;
    int rows = 0;
    RunMainWindow({[&] {
                     select();
                     ReadMenu(seen);
                     rows = List().GetItemCount();
                     PostKey(List(), VK_F7);
                     PostMessageA(*dialog, WM_COMMAND, ID_TASK_DISABLE, 0);
                   },
                   [&] { EXPECT_EQ(rows, List().GetItemCount()); }});
    EXPECT_TRUE(seen.menuGreyed);
    EXPECT_EQ("&Disable\tF7", seen.menuText);
  }
  EXPECT_TRUE(prompts.messageBoxes.empty());
  EXPECT_FALSE(RegistrySandbox::KeyExists(HKEY_LOCAL_MACHINE, kApproved + "Run"));
}

// The menu was last greyed for another selection: F7 still acts on the row
// selected now, as the shortcut asks the menu afresh.
TEST_F(SwitchCommandsTest, ShortcutFollowsTheSelectionNotTheLastMenu) {
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Updater", "u.exe");
  Seen seen;
  RunMainWindow({[&] {
                   ReadMenu(seen);  // nothing selected yet
                   ASSERT_TRUE(Select("Registry", "Updater", "HKEY_LOCAL_MACHINE\\" + kRun));
                   PostKey(List(), VK_F7);
                 },
                 [] {}});
  EXPECT_TRUE(seen.menuGreyed);
  EXPECT_TRUE(RegistrySandbox::ValueExists(HKEY_LOCAL_MACHINE, kApproved + "Run", "Updater"));
}

LONG WINAPI RefuseSetValue(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD) {
  return ERROR_ACCESS_DENIED;
}

// Without the right to write (a machine entry without elevation): a warning,
// and nothing changes.
TEST_F(SwitchCommandsTest, RefusedWriteIsReportedAndChangesNothing) {
  const std::string location = "HKEY_LOCAL_MACHINE\\" + kRun;
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Updater", "u.exe");
  ImportPatch refuse("advapi32.dll", "RegSetValueExA", reinterpret_cast<void*>(&RefuseSetValue));
  ASSERT_TRUE(refuse.applied());
  Seen after;
  const Target target{"Registry",         "Updater",         location,
                      HKEY_LOCAL_MACHINE, kApproved + "Run", "Updater"};
  RunMainWindow({[&] {
                   ASSERT_TRUE(Select("Registry", "Updater", location));
                   Disable(false);
                 },
                 [&] { after = Look(target); }});
  ASSERT_EQ(1u, prompts.messageBoxes.size());
  EXPECT_EQ("Access denied.", prompts.messageBoxes[0].text);
  EXPECT_EQ("Warning", prompts.messageBoxes[0].caption);
  EXPECT_EQ(0x30u, prompts.messageBoxes[0].type);
  EXPECT_FALSE(after.stored);
  EXPECT_EQ("Updater", after.name);
  EXPECT_EQ(0, after.image);
  EXPECT_EQ("&Disable\tF7", after.menuText);
}

// Changed after the scan: F7 does what the row shows; no switch for an entry gone.
TEST_F(SwitchCommandsTest, ActsOnTheRowAsShown) {
  const std::string key = kApproved + "Run", off("\x03\0\0\0\x10\x20\x30\x40\x50\x60\x70\x01", 12);
  for (const bool gone : {false, true}) {
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Updater", "u.exe");
    Seen after;
    RunMainWindow({[&] {
                     ASSERT_TRUE(Select("Registry", "Updater", "HKEY_LOCAL_MACHINE\\" + kRun));
                     RegistrySandbox::SetValue(HKEY_LOCAL_MACHINE, key, "Updater", 3, off.data(),
                                               12);
                     if (gone) RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kRun.c_str(), "Updater");
                     Disable(true);
                   },
                   [&] {
                     after = Look({"", "", "", HKEY_LOCAL_MACHINE, key, "Updater"});
                   }});
    const auto& boxes = prompts.messageBoxes;
    EXPECT_EQ(gone ? "Entry Not Accessible!" : "", boxes.empty() ? "" : boxes.back().text);
    EXPECT_EQ(off, after.bytes);  // as the other program left it
  }
}

}  // namespace
