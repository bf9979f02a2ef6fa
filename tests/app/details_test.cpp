// The rows' details in the main window: the two columns, the crossed-out
// picture of a missing program, and the jump commands.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/lumivane_app.h"
#include "app/lumivane_dlg.h"
#include "resource.h"
#include "support/blocking_open.h"
#include "support/details_wait.h"
#include "support/modal_script.h"
#include "support/registry_sandbox.h"
#include "support/scripted_prompts.h"
#include "support/temp_folder.h"

namespace {

const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

class ShellRecorder : public ScriptedPrompts {
 public:
  std::vector<std::string> opened;  // file and parameters
  INT_PTR ShellOpen(HWND, const char*, const char* file, const char* parameters, const char*,
                    int) override {
    opened.push_back(std::string(file) + " " + (parameters ? parameters : ""));
    return 42;
  }
};

bool MenuItemGreyed(CLumivaneDlg& dialog, UINT id) {
  dialog.SendMessage(WM_INITMENUPOPUP, 0, 0);
  return (GetMenuState(GetMenu(dialog), id, MF_BYCOMMAND) & MF_GRAYED) != 0;
}

TEST(EntryDetailsWindow, MissingProgramsAndJumps) {
  RegistrySandbox sandbox;
  TempFolder temp;
  const std::string here = temp.WriteFile("here.exe", "h");
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Gone", "C:\\Nowhere\\gone.exe /x");
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Here", "\"" + here + "\" -q");
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Unknown", "nosuchtool");
  const std::string off("\x03\0\0\0\0\0\0\0\0\0\0\0", 12);
  RegistrySandbox::SetValue(
      HKEY_LOCAL_MACHINE,
      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run", "Gone",
      REG_BINARY, off.data(), 12);
  ShellRecorder shell;
  CLumivaneApp app;
  CLumivaneDlg dialog;
  app.m_pMainWnd = &dialog;
  struct Seen {
    std::string publisher, imagePath;
    int image;
    bool jumpGreyed, openGreyed;
  };
  std::vector<Seen> seen;
  RunModal(dialog, {[&] {
    WaitForDetails(dialog);
    CEntryList& list = dialog.EntryList();
    for (int row = 0; row < list.GetItemCount(); ++row) {
      list.SetItemState(row, LVIS_SELECTED, LVIS_SELECTED);
      seen.push_back({list.GetItemText(row, 4), list.GetItemText(row, 5), list.Row(row)->Image(),
                      MenuItemGreyed(dialog, ID_TASK_JUMP_TO_ENTRY),
                      MenuItemGreyed(dialog, ID_TASK_OPEN_FILE_LOCATION)});
      dialog.SendMessage(WM_COMMAND, ID_TASK_JUMP_TO_ENTRY);
      dialog.SendMessage(WM_COMMAND, ID_TASK_OPEN_FILE_LOCATION);
    }
  }});
  // Disabled and missing shows both; a bare name found nowhere is no path.
  ASSERT_EQ(3u, seen.size());
  const int missingDisabled = DisabledRegistryEntryImage + kMissingProgramImageOffset;
  EXPECT_EQ("File not found: C:\\Nowhere\\gone.exe", seen[0].imagePath);
  EXPECT_EQ(missingDisabled, seen[0].image);
  EXPECT_EQ(here, seen[1].imagePath);
  EXPECT_EQ(RegistryEntryImage, seen[1].image);
  EXPECT_EQ("", seen[2].imagePath);
  EXPECT_EQ(RegistryEntryImage, seen[2].image);
  for (const Seen& s : seen) {
    EXPECT_EQ("", s.publisher);  // unsigned, without a version resource
    EXPECT_FALSE(s.jumpGreyed);
  }
  EXPECT_TRUE(seen[0].openGreyed);
  EXPECT_FALSE(seen[1].openGreyed);
  EXPECT_TRUE(seen[2].openGreyed);

  // Each row's key for regedit, the one program there for Explorer.
  EXPECT_EQ((std::vector<std::string>{"regedit.exe -m", "regedit.exe -m",
                                      "explorer.exe /select,\"" + here + "\"", "regedit.exe -m"}),
            shell.opened);
  std::string lastKey;
  DWORD type = 0;
  ASSERT_TRUE(RegistrySandbox::ReadValue(
      HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Regedit",
      "LastKey", type, lastKey));
  EXPECT_EQ(std::string("Computer\\HKEY_LOCAL_MACHINE\\") + kRun + '\0', lastKey);
}

// Start-up files that are their own programs share their (equal) details:
// each row still shows, and gives, its own path.
TEST(EntryDetailsWindow, StartupFilesShowTheirOwnPaths) {
  RegistrySandbox sandbox;
  TempFolder temp;
  const std::vector<std::string> files = {temp.WriteFile("startup\\one.txt", "1"),
                                          temp.WriteFile("startup\\two.txt", "2")};
  RegistrySandbox::SetString(
      HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
      "Common Startup", temp / "startup");
  CLumivaneApp app;
  CLumivaneDlg dialog;
  app.m_pMainWnd = &dialog;
  std::vector<std::string> shown, given;
  RunModal(dialog, {[&] {
    WaitForDetails(dialog);
    CEntryList& list = dialog.EntryList();
    for (int row = 0; row < list.GetItemCount(); ++row) {
      shown.push_back(list.GetItemText(row, 5));
      given.push_back(list.Row(row)->Details()->imagePath);
    }
  }});
  EXPECT_EQ(files, shown);
  EXPECT_EQ(files, given);
}

// A program file that never answers: the window's thread never looks at it;
// Save List waits until Esc; F5 and closing cancel the worker's open, or
// leave a worker that does not heed it behind (the next waits for its end).
TEST(EntryDetailsWindow, AProgramFileThatNeverAnswers) {
  for (const bool heedsCancel : {true, false}) {
    SCOPED_TRACE(heedsCancel ? "cancelled" : "left behind");
    RegistrySandbox sandbox;
    TempFolder temp;
    const std::string stuck = temp.WriteFile("stuck-share.exe", "s");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Stuck", "\"" + stuck + "\" /x");
    BlockingOpen blocking("stuck-share", heedsCancel);
    ASSERT_TRUE(blocking.applied());
    blocking.watched = GetCurrentThreadId();
    ShellRecorder shell;
    CLumivaneApp app;
    CLumivaneDlg dialog;
    app.m_pMainWnd = &dialog;
    bool openGreyed = false;
    RunModal(dialog, {[&] {
                        ASSERT_TRUE(blocking.WaitUntilBlocked());
                        dialog.EntryList().SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
                        openGreyed = MenuItemGreyed(dialog, ID_TASK_OPEN_FILE_LOCATION);
                        dialog.SendMessage(WM_COMMAND, ID_TASK_COPY);
                        dialog.SendMessage(WM_COMMAND, ID_TASK_OPEN_FILE_LOCATION);
                        PostKey(dialog, VK_ESCAPE);
                        dialog.SendMessage(WM_COMMAND, ID_FILE_SAVE_LIST);
                        dialog.OnRefresh();
                      },
                      [&] {
                        MSG m;  // the next worker starts once the last has ended
                        for (int i = 0; i < 400 && blocking.blocked < 2; ++i, Sleep(5))
                          if (PeekMessageA(&m, dialog, WM_ENTRY_DETAILS, WM_ENTRY_DETAILS, PM_REMOVE))
                            DispatchMessageA(&m);
                      },
                      [&] { dialog.SendMessage(WM_COMMAND, IDCANCEL); }});
    EXPECT_EQ(0, blocking.byWatched);
    EXPECT_TRUE(openGreyed);
    EXPECT_EQ(heedsCancel ? 2 : 1, blocking.blocked);
    EXPECT_EQ(heedsCancel ? 2 : 0, blocking.cancelled);
  }
}

}  // namespace
