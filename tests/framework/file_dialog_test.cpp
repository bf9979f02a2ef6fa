// CFileDialog: what it hands to the file dialog, scripted through the prompt
// seam, and the system's own save dialog when no script is installed.
#include "framework/file_dialog.h"

#include <gtest/gtest.h>

#include <dlgs.h>

#include <string>
#include <vector>

#include "framework/win_app.h"
#include "support/scripted_prompts.h"
#include "support/temp_folder.h"

namespace {

template <size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

// A plain top-level window to own the dialogs.
class PlainWindow : public CWnd {
 public:
  PlainWindow() {
    m_hWnd = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                             nullptr, nullptr);
  }
  ~PlainWindow() override { DestroyWindow(m_hWnd); }
};

TEST(FileDialogTest, FiltersBecomeNulSeparated) {
  struct Case {
    const char* filter;
    bool hasFilter;
    std::string separated;
  } cases[] = {
      {"Registry Files (*.reg)|*.reg|All Files (*.*)|*.*|", true,
       Bytes("Registry Files (*.reg)\0*.reg\0All Files (*.*)\0*.*\0\0")},
      {"All Files (*.*)|*.*|", true, Bytes("All Files (*.*)\0*.*\0\0")},
      {"Text|*.txt;*.ini", true, Bytes("Text\0*.txt;*.ini\0\0")},  // no final bar
      {"", false, ""},
      {nullptr, false, ""},
  };
  for (const Case& c : cases) {
    ScriptedPrompts prompts;
    CFileDialog dialog(FALSE, nullptr, nullptr, OFN_HIDEREADONLY, c.filter);
    EXPECT_EQ(IDCANCEL, dialog.DoModal());
    ASSERT_EQ(1u, prompts.fileDialogs.size());
    EXPECT_EQ(c.hasFilter, prompts.fileDialogs[0].hasFilter) << (c.filter ? c.filter : "null");
    EXPECT_EQ(c.separated, prompts.fileDialogs[0].filter) << (c.filter ? c.filter : "null");
  }
}

TEST(FileDialogTest, PassesFormNameExtensionAndFlags) {
  ScriptedPrompts prompts;
  CFileDialog save(FALSE, "reg", "Tool.reg", OFN_HIDEREADONLY, "A|*.a|");
  save.DoModal();
  CFileDialog open(TRUE);
  open.DoModal();
  ASSERT_EQ(2u, prompts.fileDialogs.size());
  const ScriptedPrompts::FileDialogCall& s = prompts.fileDialogs[0];
  EXPECT_TRUE(s.save);
  EXPECT_EQ(sizeof(OPENFILENAMEA), s.structSize);
  EXPECT_EQ("Tool.reg", s.fileName);
  EXPECT_GE(s.maxFile, 32768u) << "room for the longest path, not MAX_PATH bytes";
  EXPECT_TRUE(s.hasDefaultExtension);
  EXPECT_EQ("reg", s.defaultExtension);
  EXPECT_EQ(static_cast<DWORD>(OFN_HIDEREADONLY), s.flags);
  const ScriptedPrompts::FileDialogCall& o = prompts.fileDialogs[1];
  EXPECT_FALSE(o.save);
  EXPECT_EQ("", o.fileName);
  EXPECT_FALSE(o.hasDefaultExtension);
  EXPECT_EQ(static_cast<DWORD>(OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT), o.flags);
  EXPECT_FALSE(o.hasFilter);
}

TEST(FileDialogTest, ProposedNameIsKeptWhole) {
  ScriptedPrompts prompts;
  const std::string longName(40000, 'n');
  CFileDialog dialog(FALSE, "reg", longName.c_str());
  dialog.DoModal();
  ASSERT_EQ(1u, prompts.fileDialogs.size());
  EXPECT_EQ(longName, prompts.fileDialogs[0].fileName);
}

TEST(FileDialogTest, ChosenPathOrCancel) {
  ScriptedPrompts prompts;
  prompts.chosenFiles = {std::string("C:\\backups\\Tool.reg"), std::nullopt,
                         std::string(MAX_PATH, 'x')};
  CFileDialog chosen(FALSE, "reg", "Tool.reg");
  EXPECT_EQ(IDOK, chosen.DoModal());
  EXPECT_EQ("C:\\backups\\Tool.reg", chosen.GetPathName());
  CFileDialog cancelled(FALSE, "reg", "Tool.reg");
  EXPECT_EQ(IDCANCEL, cancelled.DoModal());
  CFileDialog longPath(FALSE);  // more than MAX_PATH bytes: whole
  EXPECT_EQ(IDOK, longPath.DoModal());
  EXPECT_EQ(std::string(MAX_PATH, 'x'), longPath.GetPathName());
  CFileDialog scriptDone(FALSE);
  EXPECT_EQ(IDCANCEL, scriptDone.DoModal());
  EXPECT_EQ(4u, prompts.fileDialogs.size());
}

TEST(FileDialogTest, OwnerIsTheParentElseTheMainWindow) {
  PlainWindow main, parent;
  ScriptedPrompts prompts;
  {
    CFileDialog noApp(FALSE);
    noApp.DoModal();
  }
  CWinApp app("FileDialogTest");
  {
    CFileDialog noMainWindow(FALSE);
    noMainWindow.DoModal();
  }
  app.m_pMainWnd = &main;
  CFileDialog withoutParent(FALSE);
  withoutParent.DoModal();
  CFileDialog withParent(FALSE, nullptr, nullptr, 0, nullptr, &parent);
  withParent.DoModal();
  ASSERT_EQ(4u, prompts.fileDialogs.size());
  EXPECT_EQ(nullptr, prompts.fileDialogs[0].owner);
  EXPECT_EQ(nullptr, prompts.fileDialogs[1].owner);
  EXPECT_EQ(main.m_hWnd, prompts.fileDialogs[2].owner);
  EXPECT_EQ(parent.m_hWnd, prompts.fileDialogs[3].owner);
}

// Without a script the program gets the system's save dialog. A timer that
// runs inside the dialog's own loop plays the user.
struct SystemDialogUser {
  std::string typedName;  // empty: cancel
  HWND dialog = nullptr;
  HWND owner = nullptr;
  std::vector<std::string> fileTypes;
  bool done = false;
};
SystemDialogUser user;

BOOL CALLBACK FindFileDialog(HWND window, LPARAM) {
  char className[16] = "";
  GetClassNameA(window, className, sizeof className);
  if (std::string(className) != "#32770" || !IsWindowVisible(window)) return TRUE;
  user.dialog = window;
  return FALSE;
}

void CALLBACK PlayUser(HWND, UINT, UINT_PTR timer, DWORD) {
  if (user.done) return;
  user.dialog = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindFileDialog, 0);
  if (!user.dialog) return;  // not up yet
  user.done = true;
  KillTimer(nullptr, timer);
  user.owner = GetWindow(user.dialog, GW_OWNER);
  HWND types = GetDlgItem(user.dialog, cmb1);
  const int count = static_cast<int>(SendMessageA(types, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    char text[256] = "";
    SendMessageA(types, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    user.fileTypes.push_back(text);
  }
  if (user.typedName.empty()) {
    PostMessageA(user.dialog, WM_COMMAND, IDCANCEL, 0);
    return;
  }
  HWND name = GetDlgItem(user.dialog, edt1);
  if (!name) name = GetDlgItem(user.dialog, cmb13);
  SetWindowTextA(name, user.typedName.c_str());
  PostMessageA(user.dialog, WM_COMMAND, IDOK, 0);
}

TEST(FileDialogTest, SystemSaveDialogWithoutAScript) {
  TempFolder folder;
  PlainWindow main;
  CWinApp app("FileDialogTest");
  app.m_pMainWnd = &main;
  const std::vector<std::string> types = {"Registry Files (*.reg)", "All Files (*.*)"};

  user = SystemDialogUser();
  user.typedName = folder / "backup";
  SetTimer(nullptr, 0, 50, PlayUser);
  CFileDialog save(FALSE, "reg", "Tool.reg", OFN_HIDEREADONLY,
                   "Registry Files (*.reg)|*.reg|All Files (*.*)|*.*|");
  EXPECT_EQ(IDOK, save.DoModal());
  EXPECT_EQ(main.m_hWnd, user.owner);
  EXPECT_EQ(types, user.fileTypes);
  // The platform adds the default extension to a name typed without one.
  EXPECT_EQ(folder / "backup.reg", save.GetPathName());

  user = SystemDialogUser();
  SetTimer(nullptr, 0, 50, PlayUser);
  CFileDialog cancelled(FALSE, "reg", "Tool.reg", OFN_HIDEREADONLY,
                        "Registry Files (*.reg)|*.reg|All Files (*.*)|*.*|");
  EXPECT_EQ(IDCANCEL, cancelled.DoModal());
  EXPECT_TRUE(user.done);
}

}  // namespace
