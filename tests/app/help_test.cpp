// The Help menu: F1 hands the manual beside the program to the shell or says
// it is missing; About shows a modal box with the program's picture.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/about_dlg.h"
#include "app/lumivane_app.h"
#include "app/lumivane_dlg.h"
#include "resource.h"
#include "support/child_process.h"
#include "support/dialog_template.h"
#include "support/modal_script.h"
#include "support/registry_sandbox.h"
#include "support/scripted_prompts.h"
#include "support/temp_folder.h"

namespace {

// Message boxes and the shell, both scripted and recorded.
class ScriptedShell : public ScriptedPrompts {
 public:
  struct ShellCall {
    HWND owner;
    std::string verb, file;
    bool hasParameters, hasDirectory;
    int showCommand;
  };
  std::vector<ShellCall> shellCalls;
  // Results given in order. With none left the file decides: an existing one
  // counts as opened (no viewer is started), a missing one goes to the real
  // shell, which has nothing to open and fails.
  std::deque<INT_PTR> shellResults;

  INT_PTR ShellOpen(HWND owner, const char* verb, const char* file, const char* parameters,
                    const char* directory, int showCommand) override {
    shellCalls.push_back({owner, verb ? verb : "(null)", file ? file : "(null)",
                          parameters != nullptr, directory != nullptr, showCommand});
    if (!shellResults.empty()) {
      INT_PTR result = shellResults.front();
      shellResults.pop_front();
      return result;
    }
    if (file && GetFileAttributesA(file) != INVALID_FILE_ATTRIBUTES) return 42;
    return PromptHandler::ShellOpen(owner, verb, file, parameters, directory, showCommand);
  }
};

std::string FolderOfThisProgram() {
  char path[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder = path;
  return folder.substr(0, folder.find_last_of('\\'));
}

class HelpTest : public ::testing::Test {
 protected:
  RegistrySandbox sandbox;  // the main window scans an empty registry
  CLumivaneApp app;
  CLumivaneDlg dialog;
  ScriptedShell prompts;

  void SetUp() override {
    app.m_hAccelTable =
        LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAIN_ACCELERATORS));
    app.m_pMainWnd = &dialog;
  }

  HWND mainWindow = nullptr;  // the dialog's window while it ran

  // F1 pressed in the running main window; the window stays open.
  void PressF1() {
    INT_PTR result = RunModal(dialog, {[&] {
                                         mainWindow = dialog.m_hWnd;
                                         PostKey(dialog.EntryList(), VK_F1);
                                       },
                                       [] { /* let F1 land */ }});
    EXPECT_EQ(-2, result) << "F1 must not close the main window";
  }
};

// The shell's answer decides whether the user hears of it: 32 and below are
// error codes, anything above is a started viewer.
struct ShellAnswer {
  INT_PTR result;
  bool failed;
};

void PrintTo(const ShellAnswer& answer, std::ostream* out) {
  *out << "shell result " << answer.result;
}

class ManualShellAnswerTest : public HelpTest, public ::testing::WithParamInterface<ShellAnswer> {};

TEST_P(ManualShellAnswerTest, F1OpensTheManualBesideTheProgram) {
  prompts.shellResults = {GetParam().result};
  PressF1();

  ASSERT_EQ(1u, prompts.shellCalls.size());
  const ScriptedShell::ShellCall& call = prompts.shellCalls[0];
  EXPECT_EQ(mainWindow, call.owner);
  EXPECT_EQ("open", call.verb);
  EXPECT_EQ(FolderOfThisProgram() + "\\Manual.html", call.file);
  EXPECT_FALSE(call.hasParameters);
  EXPECT_FALSE(call.hasDirectory);
  EXPECT_EQ(SW_SHOWNORMAL, call.showCommand);

  if (!GetParam().failed) {
    EXPECT_TRUE(prompts.messageBoxes.empty());
    return;
  }
  ASSERT_EQ(1u, prompts.messageBoxes.size());
  const ScriptedPrompts::MessageBoxCall& box = prompts.messageBoxes[0];
  EXPECT_EQ(mainWindow, box.owner);
  EXPECT_EQ("No help is available!", box.text);
  EXPECT_EQ("Help Is Not Installed", box.caption);
  EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONHAND), box.type);
}

INSTANTIATE_TEST_SUITE_P(Results, ManualShellAnswerTest,
                         ::testing::Values(ShellAnswer{42, false}, ShellAnswer{33, false},
                                           ShellAnswer{32, true}, ShellAnswer{SE_ERR_NOASSOC, true},
                                           ShellAnswer{ERROR_FILE_NOT_FOUND, true},
                                           ShellAnswer{0, true}));

TEST_F(HelpTest, MenuItemOpensTheManualLikeF1) {
  prompts.shellResults = {ERROR_FILE_NOT_FOUND};
  RunModal(dialog,
           {[&] { PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(ID_HELP_MANUAL, 0), 0); }, [] {}});
  ASSERT_EQ(1u, prompts.shellCalls.size());
  EXPECT_EQ(FolderOfThisProgram() + "\\Manual.html", prompts.shellCalls[0].file);
  EXPECT_EQ(1u, prompts.messageBoxes.size());
}

// The test program has no manual beside it: the real shell refuses.
TEST_F(HelpTest, MissingManualReachesTheRealShellAndShowsTheMessage) {
  const std::string manual = FolderOfThisProgram() + "\\Manual.html";
  ASSERT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(manual.c_str())) << manual;
  PressF1();
  ASSERT_EQ(1u, prompts.shellCalls.size());
  ASSERT_EQ(1u, prompts.messageBoxes.size());
  EXPECT_EQ("No help is available!", prompts.messageBoxes[0].text);
}

// Run only as a child of ProgramFolderTest, started under another program
// path: presses F1 and writes what the shell was asked and what was shown.
TEST_F(HelpTest, DISABLED_ManualProbe) {
  const char* report = std::getenv("LUMIVANE_MANUAL_PROBE");
  ASSERT_NE(nullptr, report);
  PressF1();
  std::ofstream out(report, std::ios::binary);
  for (const auto& call : prompts.shellCalls) out << "shell " << call.file << "\n";
  for (const auto& box : prompts.messageBoxes) out << "box " << box.text << "\n";
}

// Runs the probe above in a copy of this process whose first command-line word
// is `programWord`, in `folder`; returns the probe's report.
std::string RunManualProbe(const std::string& programWord, const TempFolder& folder) {
  const std::string report = folder / "probe.txt";
  SetEnvironmentVariableA("LUMIVANE_MANUAL_PROBE", report.c_str());
  const ChildRun run = RunThisProgram("\"" + programWord +
                                          "\" --gtest_also_run_disabled_tests"
                                          " --gtest_filter=HelpTest.DISABLED_ManualProbe",
                                      folder.Path());
  SetEnvironmentVariableA("LUMIVANE_MANUAL_PROBE", nullptr);
  EXPECT_EQ(0u, run.exitCode) << run.out << run.err;
  return TempFolder::ReadFile(report);
}

std::string Slashed(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

// The manual is looked for in the folder of the program's first command-line
// word, whichever separator it uses; a bare name has no folder, so the name
// itself is taken as one and nothing is found there.
struct ProgramWordCase {
  const char* name;
  std::function<std::string(const std::string& folder)> programWord;
  std::function<std::string(const std::string& folder)> manualTried;
  bool opensWhenPresent;
};

void PrintTo(const ProgramWordCase& c, std::ostream* out) {
  *out << c.name;
}

class ProgramFolderTest : public ::testing::TestWithParam<ProgramWordCase> {};

TEST_P(ProgramFolderTest, ManualPathAndOutcome) {
  const ProgramWordCase& c = GetParam();
  for (bool present : {true, false}) {
    SCOPED_TRACE(present ? "Manual.html present" : "Manual.html missing");
    TempFolder folder;
    // In the current folder too, where a bare name must still not find it.
    if (present) folder.WriteFile("Manual.html", "<!DOCTYPE html><title>Manual</title>");
    const std::string expectedShell = "shell " + c.manualTried(folder.Path()) + "\n";
    const std::string report = RunManualProbe(c.programWord(folder.Path()), folder);
    if (present && c.opensWhenPresent)
      EXPECT_EQ(expectedShell, report);
    else
      EXPECT_EQ(expectedShell + "box No help is available!\n", report);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Words, ProgramFolderTest,
    ::testing::Values(
        ProgramWordCase{"Backslashes", [](const std::string& f) { return f + "\\lumivane.exe"; },
                        [](const std::string& f) { return f + "\\Manual.html"; }, true},
        ProgramWordCase{"ForwardSlashes",
                        [](const std::string& f) { return Slashed(f) + "/lumivane.exe"; },
                        [](const std::string& f) { return Slashed(f) + "\\Manual.html"; }, true},
        ProgramWordCase{"BareName", [](const std::string&) { return std::string("lumivane"); },
                        [](const std::string&) { return std::string("lumivane\\Manual.html"); },
                        false},
        // An empty first word: the program's own path, never the drive's root.
        ProgramWordCase{"EmptyWord", [](const std::string&) { return std::string(); },
                        [](const std::string&) { return FolderOfThisProgram() + "\\Manual.html"; },
                        false}),
    [](const ::testing::TestParamInfo<ProgramWordCase>& info) {
      return std::string(info.param.name);
    });

TEST(AboutTemplate, FrameFontAndControls) {
  DialogTemplate about;
  ASSERT_TRUE(LoadDialogTemplate(IDD_ABOUTBOX, about));
  EXPECT_EQ("About Lumivane", about.title);
  EXPECT_EQ("Courier New", about.fontName);
  EXPECT_EQ(8, about.pointSize);
  EXPECT_EQ(FW_NORMAL, about.weight);
  EXPECT_EQ(0, about.x);
  EXPECT_EQ(0, about.y);
  EXPECT_EQ(173, about.cx);
  EXPECT_EQ(167, about.cy);
  EXPECT_EQ(0, about.menuId);
  // Not centred and not visible by itself: DoModal shows it.
  EXPECT_EQ(static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT |
                               DS_3DLOOK),
            about.style);
  EXPECT_EQ(0u, about.exStyle);

  const DWORD child = WS_CHILD | WS_VISIBLE;
  const std::string picture = "#" + std::to_string(IDB_ABOUT);
  const DialogItemTemplate expected[] = {
      {child | SS_BITMAP | SS_CENTERIMAGE | SS_SUNKEN, 0, 1, 1, 171, 144, -1, "Static", picture},
      {child | SS_WHITERECT | SS_CENTERIMAGE | SS_SUNKEN, WS_EX_TRANSPARENT, 1, 147, 171, 1, -1,
       "Static", ""},
      {child | BS_PUSHBUTTON | BS_CENTER | BS_VCENTER | WS_GROUP | WS_TABSTOP, WS_EX_STATICEDGE, 1,
       150, 171, 16, IDOK, "Button", "Lumivane is a &FREEWARE"},
  };
  ExpectControls(expected, about);
}

TEST(AboutPicture, Is300By250In24Bits) {
  HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(IDB_ABOUT), MAKEINTRESOURCEA(2));
  ASSERT_NE(nullptr, found);  // RT_BITMAP
  const auto* header =
      static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(nullptr, found)));
  ASSERT_NE(nullptr, header);
  EXPECT_EQ(300, header->biWidth);
  EXPECT_EQ(250, std::abs(header->biHeight));
  EXPECT_EQ(24, header->biBitCount);
  EXPECT_EQ(static_cast<DWORD>(BI_RGB), header->biCompression);
}

BOOL CALLBACK MatchAboutBox(HWND window, LPARAM found) {
  char title[64] = "";
  GetWindowTextA(window, title, sizeof title);
  if (std::string(title) != "About Lumivane") return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

HWND FindAboutBox() {
  HWND found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), MatchAboutBox, reinterpret_cast<LPARAM>(&found));
  return found;
}

// Every way of closing the about box; the main window goes on.
struct AboutCloser {
  const char* name;
  INT_PTR result;  // what DoModal gives back
  std::function<void(HWND about)> close;
};

const AboutCloser kAboutClosers[] = {
    {"Button", IDOK, [](HWND a) { PostMessageA(GetDlgItem(a, IDOK), BM_CLICK, 0, 0); }},
    {"Enter", IDOK, [](HWND a) { PostKey(GetDlgItem(a, IDOK), VK_RETURN); }},
    {"Escape", IDCANCEL, [](HWND a) { PostKey(GetDlgItem(a, IDOK), VK_ESCAPE); }},
    {"CloseBox", IDCANCEL, [](HWND a) { PostMessageA(a, WM_SYSCOMMAND, SC_CLOSE, 0); }},
};

void PrintTo(const AboutCloser& closer, std::ostream* out) {
  *out << closer.name;
}

class AboutFromMainWindowTest : public HelpTest,
                                public ::testing::WithParamInterface<AboutCloser> {};

TEST_P(AboutFromMainWindowTest, OpensModallyAndCloses) {
  HWND about = nullptr;
  bool mainEnabledWhileOpen = true, visible = false, hasPicture = false;
  HWND owner = nullptr, focus = nullptr, buttonWindow = nullptr;
  std::string button;
  bool closed = false, mainEnabledAfter = false;
  INT_PTR result =
      RunModal(dialog, {[&] {
                          mainWindow = dialog.m_hWnd;
                          PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(ID_HELP_ABOUT, 0), 0);
                        },
                        [&] {
                          about = FindAboutBox();
                          ASSERT_NE(nullptr, about);
                          visible = IsWindowVisible(about);
                          owner = GetWindow(about, GW_OWNER);
                          mainEnabledWhileOpen = IsWindowEnabled(dialog);
                          focus = GetFocus();
                          buttonWindow = GetDlgItem(about, IDOK);
                          char text[64] = "";
                          GetDlgItemTextA(about, IDOK, text, sizeof text);
                          button = text;
                          HWND picture = GetWindow(about, GW_CHILD);
                          hasPicture = SendMessageA(picture, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0;
                          // The main window's shortcuts stay with it while the box is open.
                          PostKey(GetDlgItem(about, IDOK), VK_F1);
                        },
                        [&] { GetParam().close(about); },
                        [&] {
                          closed = !IsWindow(about);
                          mainEnabledAfter = IsWindowEnabled(dialog);
                          // Any box still open would keep the main window's loop from ending.
                          if (HWND left = FindAboutBox())
                            PostMessageA(left, WM_COMMAND, IDCANCEL, 0);
                        },
                        [] {}});
  EXPECT_EQ(-2, result) << "closing the about box must leave the main window open";
  ASSERT_NE(nullptr, about);
  EXPECT_TRUE(visible);
  EXPECT_EQ(mainWindow, owner);
  EXPECT_FALSE(mainEnabledWhileOpen);
  EXPECT_EQ(buttonWindow, focus) << "the button is the first tab stop";
  EXPECT_EQ("Lumivane is a &FREEWARE", button);
  EXPECT_TRUE(hasPicture);
  EXPECT_TRUE(prompts.shellCalls.empty()) << "F1 in the about box reached the main window";
  EXPECT_TRUE(closed);
  EXPECT_TRUE(mainEnabledAfter);
  EXPECT_EQ(nullptr, FindAboutBox());
}

INSTANTIATE_TEST_SUITE_P(Ways, AboutFromMainWindowTest, ::testing::ValuesIn(kAboutClosers),
                         [](const ::testing::TestParamInfo<AboutCloser>& info) {
                           return std::string(info.param.name);
                         });

class AboutAloneTest : public ::testing::TestWithParam<AboutCloser> {};

TEST_P(AboutAloneTest, DoModalGivesTheClosingCommand) {
  CAboutDlg about;
  INT_PTR result = RunModal(about, {[&] { GetParam().close(about); }, [] {}});
  EXPECT_EQ(GetParam().result, result);
}

INSTANTIATE_TEST_SUITE_P(Ways, AboutAloneTest, ::testing::ValuesIn(kAboutClosers),
                         [](const ::testing::TestParamInfo<AboutCloser>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
