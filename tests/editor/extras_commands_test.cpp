// The Extras commands: where each system file is looked for, "Not Available!"
// for every failure, and the editor run from the main window over a
// sandboxed registry and temporary folders.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/lumivane_app.h"
#include "app/lumivane_dlg.h"
#include "editor/system_files.h"
#include "resource.h"
#include "support/file_faults.h"
#include "support/import_patch.h"
#include "support/modal_script.h"
#include "support/registry_sandbox.h"
#include "support/scripted_prompts.h"
#include "support/temp_folder.h"
#include "util/file_utils.h"

namespace {

const char kSetup[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Setup";
const char kSpacedSetup[] = "Software\\Microsoft\\Windows\\Current Version\\Setup";
const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::string SystemCallFolder(UINT(WINAPI* query)(LPSTR, UINT)) {
  char buffer[MAX_PATH] = "";
  query(buffer, MAX_PATH);
  return std::string(buffer) + "\\";
}

void ExpectNotAvailable(const ScriptedPrompts& prompts, HWND owner) {
  ASSERT_EQ(1u, prompts.messageBoxes.size());
  EXPECT_EQ(owner, prompts.messageBoxes[0].owner);
  EXPECT_EQ("Not Available!", prompts.messageBoxes[0].text);
  EXPECT_EQ("Warning", prompts.messageBoxes[0].caption);
  EXPECT_EQ(0x30u, prompts.messageBoxes[0].type);
}

// "BootDir" as it may be found: under either spelling of the Setup key, both,
// neither, empty, or not text at all.
struct BootDirCase {
  const char* name;
  std::vector<std::pair<const char*, std::string>> strings;  // key, value
  bool dwordUnderSetup;
  bool located;
  std::string folder;
};

class BootFolderTest : public ::testing::TestWithParam<BootDirCase> {};

TEST_P(BootFolderTest, ReadsTheSetupKeys) {
  RegistrySandbox sandbox;
  const BootDirCase& c = GetParam();
  for (const auto& [key, value] : c.strings)
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, key, "BootDir", value);
  if (c.dwordUnderSetup) RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, kSetup, "BootDir", 3);

  std::string folder = "untouched";
  EXPECT_EQ(c.located, ReadBootFolder(folder));
  EXPECT_EQ(c.located ? c.folder : "untouched", folder);

  std::string path;
  ASSERT_EQ(c.located, LocateSystemFile(BootIniFile, path));
  if (c.located) {
    EXPECT_EQ(c.folder + "Boot.ini", path);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Values, BootFolderTest,
    ::testing::Values(
        BootDirCase{"DriveWithBackslash", {{kSetup, "D:\\"}}, false, true, "D:\\"},
        BootDirCase{"DriveWithoutBackslash", {{kSetup, "D:"}}, false, true, "D:\\"},
        BootDirCase{"Folder", {{kSetup, "C:\\boot"}}, false, true, "C:\\boot\\"},
        BootDirCase{"OnlyUnderTheSpacedKey", {{kSpacedSetup, "E:"}}, false, true, "E:\\"},
        BootDirCase{
            "UnspacedKeyFirst", {{kSetup, "C:\\"}, {kSpacedSetup, "E:\\"}}, false, true, "C:\\"},
        BootDirCase{"Nowhere", {}, false, false, ""},
        BootDirCase{"Empty", {{kSetup, ""}}, false, false, ""},
        BootDirCase{"EmptyUnderTheSpacedKey", {{kSpacedSetup, ""}}, false, false, ""},
        // A value that reads at all ends the search, even an empty one.
        BootDirCase{
            "EmptyBeforeAGoodOne", {{kSetup, ""}, {kSpacedSetup, "E:\\"}}, false, false, ""},
        BootDirCase{"NotText", {}, true, false, ""},
        BootDirCase{"NotTextBeforeAGoodOne", {{kSpacedSetup, "E:\\"}}, true, false, ""}),
    [](const ::testing::TestParamInfo<BootDirCase>& info) { return std::string(info.param.name); });

TEST(LocateSystemFile, FoldersAndNamesOfTheSevenFiles) {
  RegistrySandbox sandbox;
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kSetup, "BootDir", "B:");
  const std::string windows = SystemCallFolder(GetWindowsDirectoryA);
  const std::string system = SystemCallFolder(GetSystemDirectoryA);
  const struct {
    const SystemFile& file;
    std::string path;
  } cases[] = {
      {AutoexecBatFile, "B:\\Autoexec.bat"},   {AutoexecNtFile, system + "Autoexec.nt"},
      {ConfigSysFile, "B:\\Config.sys"},       {ConfigNtFile, system + "Config.nt"},
      {SystemIniFile, windows + "System.ini"}, {WinIniFile, windows + "Win.ini"},
      {BootIniFile, "B:\\Boot.ini"},
  };
  for (const auto& c : cases) {
    std::string path;
    EXPECT_TRUE(LocateSystemFile(c.file, path)) << c.path;
    EXPECT_EQ(c.path, path);
  }
}

TEST(IsRegularFile, OnlyFiles) {
  TempFolder temp;
  EXPECT_TRUE(IsRegularFile(temp.WriteFile("Win.ini", "[windows]\r\n")));
  EXPECT_TRUE(IsRegularFile(temp.WriteFile("empty.ini", "")));
  EXPECT_FALSE(IsRegularFile(temp.MakeFolder("folder\\System.ini")));
  EXPECT_FALSE(IsRegularFile(temp / "missing.ini"));
  EXPECT_FALSE(IsRegularFile(temp / "missing\\Win.ini"));
  EXPECT_FALSE(IsRegularFile(""));
}

struct Row {
  std::string texts[4];
  bool operator==(const Row& o) const {
    for (int i = 0; i < 4; ++i)
      if (texts[i] != o.texts[i]) return false;
    return true;
  }
};

std::vector<Row> RowsOf(CListCtrl& list) {
  std::vector<Row> rows;
  for (int i = 0; i < list.GetItemCount(); ++i) {
    Row row;
    for (int c = 0; c < 4; ++c) row.texts[c] = list.GetItemText(i, c);
    rows.push_back(row);
  }
  return rows;
}

struct EditorSeen {
  HWND window = nullptr;
  std::string title;
  HWND owner = nullptr;
  HWND mainWindow = nullptr;
  bool mainEnabled = true;
  std::vector<std::string> lines;
};

BOOL CALLBACK FindQuillpane(HWND window, LPARAM found) {
  char title[MAX_PATH + 64] = "";
  GetWindowTextA(window, title, sizeof title);
  if (std::string(title).rfind("Quillpane v1.0.0", 0) == 0 && IsWindowVisible(window)) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

HWND OpenEditor() {
  HWND found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindQuillpane, reinterpret_cast<LPARAM>(&found));
  return found;
}

class ExtrasCommandTest : public ::testing::Test {
 protected:
  RegistrySandbox sandbox;
  TempFolder temp;
  ScriptedPrompts prompts;
  CLumivaneApp app;
  CLumivaneDlg dialog;

  void SetUp() override {
    app.m_hAccelTable =
        LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAIN_ACCELERATORS));
    app.m_pMainWnd = &dialog;
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Updater", "updater.exe /quiet");
    RegistrySandbox::SetString(HKEY_CURRENT_USER, kRun, "Tray", "tray.exe");
  }

  // Chooses the Extras menu item `command` in the running main window. An
  // editor that opens is looked at, `whileOpen` runs in it, and it is closed.
  EditorSeen Choose(UINT command, std::function<void(HWND)> whileOpen = nullptr) {
    EditorSeen seen;
    RunModal(dialog, {[&] {
                        seen.mainWindow = dialog.m_hWnd;
                        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(command, 0), 0);
                      },
                      [&] {
                        seen.window = OpenEditor();
                        if (!seen.window) return;
                        char title[MAX_PATH + 64] = "";
                        GetWindowTextA(seen.window, title, sizeof title);
                        seen.title = title;
                        seen.owner = GetWindow(seen.window, GW_OWNER);
                        seen.mainEnabled = IsWindowEnabled(dialog) != 0;
                        HWND list = GetDlgItem(seen.window, IDC_LINES);
                        CListCtrl lines;
                        lines.m_hWnd = list;
                        for (int i = 0; i < lines.GetItemCount(); ++i)
                          seen.lines.push_back(lines.GetItemText(i, 0));
                        if (whileOpen) whileOpen(seen.window);
                        PostMessageA(seen.window, WM_COMMAND, IDC_EXIT_EDITOR, 0);
                      },
                      [] { /* the editor closes */ }});
    return seen;
  }
};

TEST_F(ExtrasCommandTest, BootIniOpensInTheEditorOwnedByTheMainWindow) {
  temp.WriteFile("Boot.ini", "[boot loader]\r\ntimeout=30\r\n");
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kSetup, "BootDir", temp.Path());
  const EditorSeen seen = Choose(ID_EXTRAS_BOOT_INI);
  ASSERT_NE(nullptr, seen.window);
  EXPECT_EQ("Quillpane v1.0.0 - [" + temp.Path() + "\\Boot.ini]", seen.title);
  EXPECT_EQ((std::vector<std::string>{"[boot loader]", "timeout=30"}), seen.lines);
  EXPECT_EQ(seen.mainWindow, seen.owner);
  EXPECT_FALSE(seen.mainEnabled);
  EXPECT_TRUE(prompts.messageBoxes.empty());
}

// GetWindowsDirectoryA and GetSystemDirectoryA answer with folders of the
// test's own, for the life of the object.
class MovedSystemFolders {
 public:
  MovedSystemFolders(std::string windows, std::string system)
      : windows_(std::move(windows)), system_(std::move(system)) {
    active_ = this;
    windowsPatch_ = std::make_unique<ImportPatch>("kernel32.dll", "GetWindowsDirectoryA",
                                                  reinterpret_cast<void*>(&Windows));
    systemPatch_ = std::make_unique<ImportPatch>("kernel32.dll", "GetSystemDirectoryA",
                                                 reinterpret_cast<void*>(&System));
  }
  ~MovedSystemFolders() { active_ = nullptr; }
  bool applied() const { return windowsPatch_->applied() && systemPatch_->applied(); }

 private:
  static UINT Copy(const std::string& folder, LPSTR buffer, UINT size) {
    if (folder.size() >= size) return static_cast<UINT>(folder.size() + 1);
    folder.copy(buffer, folder.size());
    buffer[folder.size()] = '\0';
    return static_cast<UINT>(folder.size());
  }
  static UINT WINAPI Windows(LPSTR buffer, UINT size) {
    return Copy(active_->windows_, buffer, size);
  }
  static UINT WINAPI System(LPSTR buffer, UINT size) {
    return Copy(active_->system_, buffer, size);
  }

  static inline MovedSystemFolders* active_ = nullptr;
  std::string windows_, system_;
  std::unique_ptr<ImportPatch> windowsPatch_, systemPatch_;
};

// Each command of the menu opens its own file: the seven files, each with a
// text of its own, lie in a boot, a Windows and a system folder of the test.
struct CommandCase {
  const char* name;
  UINT command;
  const char* folder;  // under the test's folder
  const char* fileName;
};

class ExtrasEachCommandTest : public ExtrasCommandTest,
                              public ::testing::WithParamInterface<CommandCase> {};

TEST_P(ExtrasEachCommandTest, OpensItsOwnFile) {
  const CommandCase& c = GetParam();
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kSpacedSetup, "BootDir", temp / "boot\\");
  const std::pair<const char*, const char*> files[] = {
      {"boot", "Autoexec.bat"}, {"system", "Autoexec.nt"}, {"boot", "Config.sys"},
      {"system", "Config.nt"},  {"windows", "System.ini"}, {"windows", "Win.ini"},
      {"boot", "Boot.ini"},
  };
  for (const auto& [folder, name] : files)
    temp.WriteFile(std::string(folder) + "\\" + name, std::string("; ") + name + "\r\n");
  MovedSystemFolders moved(temp / "windows", temp / "system");
  ASSERT_TRUE(moved.applied());

  const EditorSeen seen = Choose(c.command);
  ASSERT_NE(nullptr, seen.window);
  EXPECT_EQ("Quillpane v1.0.0 - [" + temp / c.folder + "\\" + c.fileName + "]", seen.title);
  EXPECT_EQ(std::vector<std::string>{std::string("; ") + c.fileName}, seen.lines);
  EXPECT_TRUE(prompts.messageBoxes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Menu, ExtrasEachCommandTest,
    ::testing::Values(CommandCase{"AutoexecBat", 32792, "boot", "Autoexec.bat"},
                      CommandCase{"AutoexecNt", 32793, "system", "Autoexec.nt"},
                      CommandCase{"ConfigSys", 32794, "boot", "Config.sys"},
                      CommandCase{"ConfigNt", 32795, "system", "Config.nt"},
                      CommandCase{"SystemIni", 32789, "windows", "System.ini"},
                      CommandCase{"WinIni", 32790, "windows", "Win.ini"},
                      CommandCase{"BootIni", 32791, "boot", "Boot.ini"}),
    [](const ::testing::TestParamInfo<CommandCase>& info) { return std::string(info.param.name); });

// The 32-bit program on 64-bit Windows reads and saves with redirection off.
struct Redirection {
  static inline int turnedOff = 0, turnedOn = 0;
  static BOOL WINAPI Disable(PVOID*) { return ++turnedOff; }
  static BOOL WINAPI Revert(PVOID) { return ++turnedOn; }
};

TEST_F(ExtrasCommandTest, SystemFolderIsReachedWithRedirectionOff) {
  temp.WriteFile("system\\Config.nt", "dos=high\r\n");
  MovedSystemFolders moved(temp / "windows", temp / "system");
  ImportPatchSet patches("kernel32.dll");
  patches.Add("Wow64DisableWow64FsRedirection", reinterpret_cast<void*>(&Redirection::Disable));
  patches.Add("Wow64RevertWow64FsRedirection", reinterpret_cast<void*>(&Redirection::Revert));
  ASSERT_TRUE(moved.applied() && patches.applied());
  Choose(ID_EXTRAS_CONFIG_NT, [](HWND w) {  // an edit: an unedited file is not written
    PostMessageA(w, WM_COMMAND, IDC_ADD_LINE, 0);
    PostMessageA(w, WM_COMMAND, IDC_SAVE_FILE, 0);
  });
  EXPECT_EQ(2, Redirection::turnedOff);  // read, and saved
  EXPECT_EQ(2, Redirection::turnedOn);
}

// Every way of not finding the file ends in the same message and no editor.
struct MissingCase {
  const char* name;
  std::function<void(const TempFolder&)> arrange;
};

class ExtrasNotAvailableTest : public ExtrasCommandTest,
                               public ::testing::WithParamInterface<MissingCase> {};

TEST_P(ExtrasNotAvailableTest, SaysNotAvailable) {
  GetParam().arrange(temp);
  const EditorSeen seen = Choose(ID_EXTRAS_BOOT_INI);
  EXPECT_EQ(nullptr, seen.window);
  ExpectNotAvailable(prompts, seen.mainWindow);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtrasNotAvailableTest,
    ::testing::Values(
        MissingCase{"NoBootDir", [](const TempFolder& t) { t.WriteFile("Boot.ini", "x\r\n"); }},
        MissingCase{"EmptyBootDir",
                    [](const TempFolder&) {
                      RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kSetup, "BootDir", "");
                    }},
        MissingCase{"MissingFile",
                    [](const TempFolder& t) {
                      RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kSetup, "BootDir", t.Path());
                    }},
        MissingCase{"FolderOfThatName",
                    [](const TempFolder& t) {
                      t.MakeFolder("Boot.ini");
                      RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kSetup, "BootDir", t.Path());
                    }},
        MissingCase{"MissingBootFolder",
                    [](const TempFolder& t) {
                      RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kSetup, "BootDir",
                                                 t / "gone\\");
                    }}),
    [](const ::testing::TestParamInfo<MissingCase>& info) { return std::string(info.param.name); });

// The check itself, for a folder named like the file where the Windows
// folder's Win.ini would be.
TEST_F(ExtrasCommandTest, FolderNamedWinIniIsNotAvailable) {
  const std::string folder = temp.MakeFolder("Win.ini");
  HWND main = nullptr, editor = nullptr;
  RunModal(dialog, {[&] {
             main = dialog.m_hWnd;
             EditFileIfPresent(dialog, folder);
             editor = OpenEditor();
           }});
  EXPECT_EQ(nullptr, editor);
  ExpectNotAvailable(prompts, main);
}

// A file that cannot be read whole is not offered for editing: Save would
// cut it to the short or empty list shown. Held open without sharing (true),
// or failing at its second read (false).
class ExtrasUnreadableTest : public ExtrasCommandTest,
                             public ::testing::WithParamInterface<bool> {};

TEST_P(ExtrasUnreadableTest, FileThatCannotBeReadWholeIsNotAvailable) {
  const std::string content(200000, 'b');  // more than one read
  const std::string boot = temp.WriteFile("Boot.ini", content);
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kSetup, "BootDir", temp.Path());
  HANDLE lock = INVALID_HANDLE_VALUE;
  if (GetParam()) {
    lock = CreateFileA(boot.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
  }
  FileFaults faults;
  ASSERT_TRUE(faults.applied());
  if (!GetParam())
    faults.failRead = [&faults]() -> DWORD {
      return faults.reads >= 2 ? ERROR_NETNAME_DELETED : 0;
    };
  const EditorSeen seen = Choose(ID_EXTRAS_BOOT_INI);
  if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
  EXPECT_EQ(nullptr, seen.window);
  ExpectNotAvailable(prompts, seen.mainWindow);
  EXPECT_EQ(content, TempFolder::ReadFile(boot));
}

INSTANTIATE_TEST_SUITE_P(LockedOrFailingRead, ExtrasUnreadableTest, ::testing::Bool());

TEST_F(ExtrasCommandTest, ClosingTheEditorLeavesTheMainListAsItWas) {
  const std::string boot = temp.WriteFile("Boot.ini", "[boot loader]\r\n");
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kSetup, "BootDir", temp.Path());
  std::vector<Row> before, after;
  int selectedBefore = -2, selectedAfter = -2;
  bool enabledAfter = false;
  RunModal(dialog, {[&] {
                      dialog.EntryList().SetItemState(1, LVIS_SELECTED | LVIS_FOCUSED,
                                                      LVIS_SELECTED | LVIS_FOCUSED);
                      before = RowsOf(dialog.EntryList());
                      selectedBefore = dialog.EntryList().GetNextItem(-1, LVNI_SELECTED);
                      // Changed behind the list's back: only a refresh would show it.
                      RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Later", "later.exe");
                      PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(ID_EXTRAS_BOOT_INI, 0), 0);
                    },
                    [&] {
                      HWND editor = OpenEditor();
                      ASSERT_NE(nullptr, editor);
                      // Saved and left by the Exit button; the main window's F5 and F8
                      // do not reach it meanwhile.
                      SetDlgItemTextA(editor, IDC_LINE_TEXT, "timeout=30");
                      SendMessageA(GetDlgItem(editor, IDC_ADD_LINE), BM_CLICK, 0, 0);
                      SendMessageA(GetDlgItem(editor, IDC_SAVE_FILE), BM_CLICK, 0, 0);
                      PostKey(GetDlgItem(editor, IDC_LINES), VK_F5);
                      PostKey(GetDlgItem(editor, IDC_LINES), VK_F8);
                    },
                    [&] {
                      HWND editor = OpenEditor();
                      ASSERT_NE(nullptr, editor);
                      PostMessageA(GetDlgItem(editor, IDC_EXIT_EDITOR), BM_CLICK, 0, 0);
                    },
                    [&] {
                      after = RowsOf(dialog.EntryList());
                      selectedAfter = dialog.EntryList().GetNextItem(-1, LVNI_SELECTED);
                      enabledAfter = IsWindowEnabled(dialog) != 0;
                    }});
  EXPECT_EQ("[boot loader]\r\ntimeout=30\r\n", TempFolder::ReadFile(boot));
  EXPECT_GE(before.size(), 2u);
  EXPECT_TRUE(before == after);
  EXPECT_EQ(1, selectedBefore);
  EXPECT_EQ(1, selectedAfter);
  EXPECT_TRUE(enabledAfter);
  EXPECT_TRUE(prompts.messageBoxes.empty());
}

}  // namespace
