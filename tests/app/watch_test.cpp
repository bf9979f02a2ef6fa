// The main window following the machine: changes made by other programs show
// without F5, and never under the user's hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "app/lumivane_app.h"
#include "app/lumivane_dlg.h"
#include "resource.h"
#include "support/child_process.h"
#include "support/modal_script.h"
#include "support/registry_sandbox.h"
#include "support/scripted_prompts.h"
#include "support/temp_folder.h"

namespace {

const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kApproved[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved";
const char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// Handles the window's messages (not the script's ticks) until `done`, or
// false after a limit no healthy run comes near.
bool PumpUntil(const std::function<bool()>& done, DWORD limit = 20000) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > limit) return false;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_TIMER && !msg.hwnd) continue;  // the script's next step waits
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  return true;
}

void PumpFor(DWORD milliseconds) {
  PumpUntil([] { return false; }, milliseconds);
}

int RowNamed(CListCtrl& list, const std::string& name) {
  for (int row = 0; row < list.GetItemCount(); ++row)
    if (list.GetItemText(row, 1) == name) return row;
  return -1;
}

std::string SelectedName(CListCtrl& list) {
  const int row = list.GetNextItem(-1, LVNI_SELECTED);
  return row < 0 ? "(none)" : list.GetItemText(row, 1);
}

std::string InfoTip(CLumivaneDlg& dialog, int row) {
  char text[128] = "";
  NMLVGETINFOTIPA tip = {};
  tip.hdr.idFrom = IDC_ENTRY_LIST;
  tip.hdr.hwndFrom = dialog.EntryList();
  tip.hdr.code = LVN_GETINFOTIPA;
  tip.pszText = text;
  tip.cchTextMax = sizeof text;
  tip.iItem = row;
  dialog.SendMessage(WM_NOTIFY, IDC_ENTRY_LIST, reinterpret_cast<LPARAM>(&tip));
  return text;
}

void SendListNotify(CLumivaneDlg& dialog, UINT code) {
  NMITEMACTIVATE click = {};
  click.hdr.idFrom = IDC_ENTRY_LIST;
  click.hdr.hwndFrom = dialog.EntryList();
  click.hdr.code = code;
  click.iItem = dialog.EntryList().GetNextItem(-1, LVNI_SELECTED);
  dialog.SendMessage(WM_NOTIFY, IDC_ENTRY_LIST, reinterpret_cast<LPARAM>(&click));
}

class WatchTest : public ::testing::Test {
 protected:
  RegistrySandbox sandbox;
  TempFolder startup;
  ScriptedPrompts prompts;
  CLumivaneApp app;
  CLumivaneDlg dialog;

  void SetUp() override {
    app.m_hAccelTable =
        LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAIN_ACCELERATORS));
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Keep", "keep.exe");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Old", "old.exe");
    RegistrySandbox::SetString(HKEY_CURRENT_USER, kShellFolders, "Startup", startup.Path());
  }
  // Runs `steps` in a window whose row "Keep" is selected.
  void RunWithKeepSelected(std::vector<ModalStep> steps, CLumivaneDlg* window = nullptr) {
    CLumivaneDlg& shown = window ? *window : dialog;
    app.m_pMainWnd = &shown;
    steps.insert(steps.begin(), [&] {
      shown.EntryList().SetItemState(RowNamed(shown.EntryList(), "Keep"), LVIS_SELECTED,
                                     LVIS_SELECTED);
    });
    RunModal(shown, std::move(steps));
  }
  bool Shows(const std::string& name, CLumivaneDlg* window = nullptr) {
    return RowNamed((window ? *window : dialog).EntryList(), name) >= 0;
  }
  void RegExe(const std::string& arguments) {
    const ChildRun run = RunChild("reg.exe " + arguments + " /f");
    EXPECT_EQ(0u, run.exitCode) << arguments << run.out << run.err;
  }
};

TEST_F(WatchTest, ChangesShowWithoutRefreshKeepingTheSelection) {
  const std::string machineRun = "\"" + sandbox.PathFor(HKEY_LOCAL_MACHINE) + "\\" + kRun + "\"";
  const std::string userRunOnce = "\"" + sandbox.PathFor(HKEY_CURRENT_USER) +
                                  "\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce\"";
  // Another user's hive is polled, not held open; so is the list of hives.
  const std::string otherRun = std::string("S-1-5-21-7-7-7-1001\\") + kRun;
  RegistrySandbox::SetString(HKEY_USERS, otherRun, "Present", "present.exe");
  TempFolder moved;
  const struct {
    const char* what;
    std::function<void()> change;
    const char* name;
    bool shown;
  } cases[] = {
      {"value added", [&] { RegExe("add " + machineRun + " /v Added /d added.exe"); }, "Added",
       true},
      {"value deleted", [&] { RegExe("delete " + machineRun + " /v Old"); }, "Old", false},
      {"key created", [&] { RegExe("add " + userRunOnce + " /v Once /d once.exe"); }, "Once", true},
      {"file created", [&] { startup.WriteFile("tool.lnk", "x"); }, "tool.lnk", true},
      {"other user's value",
       [&] { RegistrySandbox::SetString(HKEY_USERS, otherRun, "Theirs", "t"); }, "Theirs", true},
      {"hive loaded",
       [&] { RegistrySandbox::SetString(HKEY_USERS, "S-9\\" + std::string(kRun), "Later", "l"); },
       "Later", true},
      {"folder put in the place of the watched one",
       [&] {
         MoveFileA(startup.Path().c_str(), (moved / "old").c_str()) &&
             CreateDirectoryA(startup.Path().c_str(), nullptr) &&
             !startup.WriteFile("swapped.lnk", "x").empty();
       },
       "swapped.lnk", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CLumivaneDlg window;
    bool seen = false;
    std::string selected, tip;
    RunWithKeepSelected({[&] {
                          c.change();
                          seen = PumpUntil([&] { return Shows(c.name, &window) == c.shown; });
                          selected = SelectedName(window.EntryList());
                          if (c.shown) tip = InfoTip(window, RowNamed(window.EntryList(), c.name));
                        }},
                        &window);
    EXPECT_TRUE(seen);
    EXPECT_EQ("Keep", selected);
    if (c.shown) {
      EXPECT_EQ(0u, tip.find("New since ")) << tip;
    }
  }
}

TEST_F(WatchTest, DoubleClickRightAfterARefreshDoesNothing) {
  size_t asked = 0, askedLater = 0;
  prompts.answers = {IDNO};
  RunWithKeepSelected({[&] {
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Added", "added.exe");
    ASSERT_TRUE(PumpUntil([&] { return Shows("Added"); }));
    SendListNotify(dialog, NM_DBLCLK);
    SendListNotify(dialog, NM_RDBLCLK);
    asked = prompts.messageBoxes.size() + prompts.fileDialogs.size();
    Sleep(GetDoubleClickTime() + 50);
    SendListNotify(dialog, NM_DBLCLK);
    askedLater = prompts.messageBoxes.size();
  }});
  EXPECT_EQ(0u, asked);
  EXPECT_EQ(1u, askedLater);  // "Remove this item?", answered No
}

// A key meant for the selected row as it stood does nothing once a refresh
// moved it: neither the row's keys nor its buttons, for a second; F5 still works.
TEST_F(WatchTest, KeysRightAfterARefreshMovedTheSelectedRowDoNothing) {
  CListCtrl& list = dialog.EntryList();
  size_t asked = 1, askedLater = 0;
  bool copied = true, shownAfterF5 = false;
  prompts.answers = {IDNO};
  app.m_pMainWnd = &dialog;
  const INT_PTR ended = RunModal(
      dialog, {[&] {
                 list.SetItemState(RowNamed(list, "Keep"), LVIS_SELECTED, LVIS_SELECTED);
                 OpenClipboard(dialog) && EmptyClipboard() && CloseClipboard();
                 // Listed before Keep, which moves down a row.
                 RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Aaa", "aaa.exe");
                 ASSERT_TRUE(PumpUntil([&] { return Shows("Aaa"); }));
                 for (UINT key : {VK_F8, VK_F9, VK_F7, VK_RETURN}) PostKey(list, key);
                 for (int button : {IDC_REMOVE, IDC_BACKUP})
                   PostMessageA(dialog.GetDlgItem(button), BM_CLICK, 0, 0);
               },
               [&] { PostKey(list, 'C', true); },
               [&] {
                 asked = prompts.messageBoxes.size() + prompts.fileDialogs.size();
                 copied = IsClipboardFormatAvailable(CF_UNICODETEXT);
                 dialog.SendMessage(WM_COMMAND, ID_TASK_WATCH);  // off: only F5 shows the next
                 RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Fresh", "fresh.exe");
                 PostKey(list, VK_F5);
               },
               [&] {
                 shownAfterF5 = Shows("Fresh");
                 Sleep(std::max(1000u, GetDoubleClickTime()) + 50);
                 list.SetItemState(RowNamed(list, "Keep"), LVIS_SELECTED, LVIS_SELECTED);
                 PostKey(list, VK_F8);
               },
               [&] { askedLater = prompts.messageBoxes.size(); }});
  EXPECT_EQ(-2, ended) << "Enter ended the window";
  EXPECT_EQ(0u, asked);
  EXPECT_FALSE(copied);
  EXPECT_FALSE(RegistrySandbox::KeyExists(HKEY_LOCAL_MACHINE, kApproved)) << "F7 switched";
  EXPECT_TRUE(shownAfterF5);
  EXPECT_EQ(1u, askedLater);  // "Remove this item?", answered No
}

// A prompt that waits, as a user reading it would, while the registry changes.
class SlowPrompts : public ScriptedPrompts {
 public:
  std::function<void()> whileOpen;
  int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption,
                     UINT type) override {
    if (whileOpen) whileOpen();
    return ScriptedPrompts::ShowMessageBox(owner, text, caption, type);
  }
};

TEST_F(WatchTest, NoRefreshWhileAMessageBoxIsOpen) {
  SlowPrompts slow;
  slow.answers = {IDNO};
  bool shownWhileOpen = true, shownAfter = false;
  slow.whileOpen = [&] {
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Added", "added.exe");
    PumpFor(1500);
    shownWhileOpen = Shows("Added");
  };
  RunWithKeepSelected({[&] { dialog.SendMessage(WM_COMMAND, ID_TASK_REMOVE); },
                       [&] { shownAfter = PumpUntil([&] { return Shows("Added"); }); }});
  EXPECT_EQ(1u, slow.messageBoxes.size());
  EXPECT_FALSE(shownWhileOpen);
  EXPECT_TRUE(shownAfter);
  EXPECT_TRUE(RegistrySandbox::ValueExists(HKEY_LOCAL_MACHINE, kRun, "Keep"));
}

// A button held down, a menu open or the mouse captured: the list holds
// still until it is over.
TEST_F(WatchTest, NoRefreshUnderTheUsersHand) {
  auto setButton = [](BYTE state) {
    BYTE keys[256];
    GetKeyboardState(keys) && ((keys[VK_LBUTTON] = state), SetKeyboardState(keys));
  };
  const struct {
    const char* what;
    std::function<void()> hold, release;
  } cases[] = {
      {"button down", [&] { setButton(0x80); }, [&] { setButton(0); }},
      {"menu open", [&] { dialog.SendMessage(WM_ENTERMENULOOP); },
       [&] { dialog.SendMessage(WM_EXITMENULOOP); }},
      {"capture", [&] { SetCapture(dialog.EntryList()); }, [] { ReleaseCapture(); }},
  };
  std::vector<std::string> faults;
  RunWithKeepSelected({[&] {
    for (const auto& c : cases) {
      c.hold();
      RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, c.what, "added.exe");
      PumpFor(1500);
      if (Shows(c.what)) faults.push_back(c.what + std::string(": refreshed"));
      c.release();
      if (!PumpUntil([&] { return Shows(c.what); }))
        faults.push_back(c.what + std::string(": not after"));
    }
  }});
  EXPECT_EQ(std::vector<std::string>(), faults);
}

TEST_F(WatchTest, TurnedOffItStopsAndIsRememberedOffF5StillWorks) {
  UINT checked = 0;
  bool shownWhileOff = true, shownAfterF5 = false;
  RunWithKeepSelected({[&] {
    dialog.SendMessage(WM_COMMAND, ID_TASK_WATCH);
    checked = GetMenuState(GetMenu(dialog), ID_TASK_WATCH, MF_BYCOMMAND) & MF_CHECKED;
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Added", "added.exe");
    PumpFor(1500);
    shownWhileOff = Shows("Added");
    dialog.SendMessage(WM_COMMAND, ID_TASK_REFRESH);
    shownAfterF5 = Shows("Added");
  }});
  EXPECT_EQ(0u, checked);
  EXPECT_FALSE(shownWhileOff);
  EXPECT_TRUE(shownAfterF5);
  DWORD type = 0;
  std::string bytes;
  ASSERT_TRUE(RegistrySandbox::ReadValue(HKEY_CURRENT_USER, "Software\\Ombrelle Studios\\Lumivane",
                                         "Watch", type, bytes));
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
  EXPECT_EQ(std::string(4, '\0'), bytes);
}

}  // namespace
