// The main window driven through its own modal loop, against a sandboxed registry.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/lumivane_app.h"
#include "app/lumivane_dlg.h"
#include "resource.h"
#include "support/child_process.h"
#include "support/import_patch.h"
#include "support/modal_script.h"
#include "support/registry_sandbox.h"
#include "support/scripted_prompts.h"
#include "support/temp_folder.h"

namespace {

const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunOnceSpaced[] = "Software\\Microsoft\\Windows\\Current Version\\RunOnce";

struct Row {
  std::string type, name, action, location;
  int image;
  bool operator==(const Row& o) const {
    return type == o.type && name == o.name && action == o.action && location == o.location &&
           image == o.image;
  }
};

std::ostream& operator<<(std::ostream& out, const Row& r) {
  return out << "{" << r.type << " | " << r.name << " | " << r.action << " | " << r.location
             << " | " << r.image << "}";
}

std::vector<Row> RowsOf(CListCtrl& list) {
  std::vector<Row> rows;
  for (int i = 0; i < list.GetItemCount(); ++i) {
    LVITEMA item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = i;
    list.GetItem(&item);
    rows.push_back({list.GetItemText(i, 0), list.GetItemText(i, 1), list.GetItemText(i, 2),
                    list.GetItemText(i, 3),
                    // A missing program's crossed-out picture follows with the details.
                    item.iImage % kMissingProgramImageOffset});
  }
  return rows;
}

void SeedSampleEntries() {
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Updater", "C:\\Tools\\updater.exe /quiet");
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Agent", "%ProgramFiles%\\agent.exe",
                             REG_EXPAND_SZ);
  RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, kRun, "Counter", 7);
  RegistrySandbox::SetString(HKEY_CURRENT_USER, kRunOnceSpaced, "", "setup.exe");
  RegistrySandbox::SetString(HKEY_USERS, std::string("S-1-5-21-7\\") + kRun, "Tray", "tray.exe");
}

const std::vector<Row> kSampleRows = {
    {"Registry", "Updater", "C:\\Tools\\updater.exe /quiet",
     "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0},
    {"Registry", "Agent", "%ProgramFiles%\\agent.exe",
     "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0},
    {"Registry", "", "setup.exe",
     "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\Current Version\\RunOnce", 0},
    {"Registry", "Tray", "tray.exe",
     "HKEY_USERS\\S-1-5-21-7\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0},
};

class MainWindowTest : public ::testing::Test {
 protected:
  RegistrySandbox sandbox;
  CLumivaneApp app;  // the application object the dialog loop consults
  CLumivaneDlg dialog;

  void SetUp() override {
    app.m_hAccelTable =
        LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAIN_ACCELERATORS));
    app.m_pMainWnd = &dialog;
  }
};

TEST_F(MainWindowTest, ColumnsStylesAndImagesAfterInit) {
  std::vector<std::string> headings;
  std::vector<int> widths;
  DWORD style = 0;
  int images = 0;
  RunModal(dialog, {[&] {
             CListCtrl& list = dialog.EntryList();
             for (int c = 0; c < list.GetColumnCount(); ++c) {
               char text[64] = "";
               LVCOLUMNA column = {};
               column.mask = LVCF_TEXT | LVCF_FMT;
               column.pszText = text;
               column.cchTextMax = sizeof text;
               list.SendMessage(LVM_GETCOLUMNA, c, reinterpret_cast<LPARAM>(&column));
               EXPECT_EQ(LVCFMT_LEFT, column.fmt & LVCFMT_JUSTIFYMASK);
               headings.push_back(text);
               widths.push_back(list.GetColumnWidth(c));
             }
             style = list.GetExtendedStyle();
             images = ImageList_GetImageCount(list.GetImageList(LVSIL_SMALL));
           }});
  EXPECT_EQ((std::vector<std::string>{"Type", "ID <=> Name", "Action <=> Property", "Location",
                                      "Publisher", "Image Path"}),
            headings);
  EXPECT_EQ((std::vector<int>{82, 160, 268, 159, 150, 250}), widths);
  EXPECT_EQ(0x421u, style & 0x421u);
  EXPECT_EQ(20, images);  // the five pictures, their greyed copies, all ten crossed out
}

// What the window's lengths and pictures measure, in pixels.
struct Sizes {
  std::vector<int> columns;
  int listPicture = 0;  // width of the list's small images
  int listDepth = 0;    // bits per pixel of the list's images
  std::vector<int> buttonPictures;
  bool operator==(const Sizes& o) const {
    return columns == o.columns && listPicture == o.listPicture && listDepth == o.listDepth &&
           buttonPictures == o.buttonPictures;
  }
};

std::ostream& operator<<(std::ostream& out, const Sizes& s) {
  out << "columns";
  for (int width : s.columns) out << " " << width;
  out << ", list " << s.listPicture << " px in " << s.listDepth << " bits, buttons";
  for (int size : s.buttonPictures) out << " " << size;
  return out;
}

int IconWidth(HICON icon) {
  ICONINFO info = {};
  if (!icon || !GetIconInfo(icon, &info)) return 0;
  BITMAP bitmap = {};
  GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  return bitmap.bmWidth;
}

Sizes SizesOf(CLumivaneDlg& dialog) {
  Sizes sizes;
  CListCtrl& list = dialog.EntryList();
  for (int c = 0; c < list.GetColumnCount(); ++c) sizes.columns.push_back(list.GetColumnWidth(c));
  HIMAGELIST images = list.GetImageList(LVSIL_SMALL);
  int height = 0;
  ImageList_GetIconSize(images, &sizes.listPicture, &height);
  IMAGEINFO image = {};
  BITMAP bitmap = {};
  if (ImageList_GetImageInfo(images, 0, &image) &&
      GetObjectA(image.hbmImage, sizeof bitmap, &bitmap))
    sizes.listDepth = bitmap.bmBitsPixel;
  for (int id : {IDC_REMOVE, IDC_BACKUP, IDC_REFRESH, IDC_EXIT}) {
    sizes.buttonPictures.push_back(IconWidth(
        reinterpret_cast<HICON>(SendMessageA(dialog.GetDlgItem(id), BM_GETIMAGE, IMAGE_ICON, 0))));
  }
  return sizes;
}

// At 96 dots per inch as written; at 144 (150 %) half as large again. The list
// pictures are drawn in 32-bit colour, for their alpha channel.
const Sizes kSizesAt96 = {{82, 160, 268, 159, 150, 250}, 16, 32, {32, 32, 32, 32}};
const Sizes kSizesAt144 = {{123, 240, 402, 239, 225, 375}, 24, 32, {48, 48, 48, 48}};

// Moved to a monitor of another DPI, the window scales what it sized itself,
// and back again.
TEST_F(MainWindowTest, FollowsAChangeOfDpi) {
  Sizes atStart, at144, backAt96;
  RECT placeAt144 = {}, suggested = {};
  RunModal(dialog, {[&] {
             atStart = SizesOf(dialog);
             GetWindowRect(dialog, &suggested);
             OffsetRect(&suggested, 10, 20);
             suggested.right = suggested.left + (suggested.right - suggested.left) * 3 / 2;
             suggested.bottom = suggested.top + (suggested.bottom - suggested.top) * 3 / 2;
             dialog.SendMessage(WM_DPICHANGED, MAKEWPARAM(144, 144),
                                reinterpret_cast<LPARAM>(&suggested));
             at144 = SizesOf(dialog);
             GetWindowRect(dialog, &placeAt144);
             RECT back = placeAt144;
             dialog.SendMessage(WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&back));
             backAt96 = SizesOf(dialog);
           }});
  EXPECT_EQ(kSizesAt96, atStart);
  EXPECT_EQ(kSizesAt144, at144);
  EXPECT_EQ(kSizesAt96, backAt96);
  EXPECT_TRUE(EqualRect(&suggested, &placeAt144));
}

// Run only as a child of StartsScaledToTheDpiOfTheScreen: writes the sizes
// the window had when it first showed.
TEST_F(MainWindowTest, DISABLED_DpiProbe) {
  const char* report = std::getenv("LUMIVANE_DPI_PROBE");
  ASSERT_NE(nullptr, report);
  Sizes sizes;
  RunModal(dialog, {[&] { sizes = SizesOf(dialog); }});
  std::ofstream(report, std::ios::binary) << sizes;
}

// Started at 150 % (LogPixels 144, which Wine reads when a program starts),
// in a child. It changes the setting every program reads, so it runs only as
// its own ctest entry, alone (LUMIVANE_DPI_TEST=1).
TEST(MainWindowDpi, StartsScaledToTheDpiOfTheScreen) {
  if (!std::getenv("LUMIVANE_DPI_TEST")) GTEST_SKIP() << "runs as the test app_dpi_tests";
  const char kDesktop[] = "Control Panel\\Desktop";
  HKEY desktop = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kDesktop, 0, nullptr, 0,
                                           KEY_READ | KEY_WRITE, nullptr, &desktop, nullptr));
  DWORD saved = 0, type = 0, size = sizeof saved;
  const bool hadValue = RegQueryValueExA(desktop, "LogPixels", nullptr, &type,
                                         reinterpret_cast<BYTE*>(&saved), &size) == ERROR_SUCCESS;
  std::ostringstream expected;
  expected << kSizesAt144;
  TempFolder folder;
  const DWORD dpi = 144;
  RegSetValueExA(desktop, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                 sizeof dpi);
  SetEnvironmentVariableA("LUMIVANE_DPI_PROBE", (folder / "sizes.txt").c_str());
  const ChildRun run = RunThisProgram(
      "app_tests --gtest_also_run_disabled_tests --gtest_filter=MainWindowTest.DISABLED_DpiProbe",
      folder.Path());
  SetEnvironmentVariableA("LUMIVANE_DPI_PROBE", nullptr);
  if (hadValue)
    RegSetValueExA(desktop, "LogPixels", 0, type, reinterpret_cast<const BYTE*>(&saved), size);
  else
    RegDeleteValueA(desktop, "LogPixels");
  RegCloseKey(desktop);
  EXPECT_EQ(0u, run.exitCode) << run.out << run.err;
  EXPECT_EQ(expected.str(), TempFolder::ReadFile(folder / "sizes.txt"));
}

// A user without write access to HKEY_LOCAL_MACHINE: the machine's settings
// keys cannot be made, which is no concern of the user's.
ImportPatch* createKeyPatch = nullptr;

LONG WINAPI CreateKeyDeniedOnTheMachine(HKEY root, LPCSTR subKey, DWORD reserved, LPSTR keyClass,
                                        DWORD options, REGSAM access,
                                        LPSECURITY_ATTRIBUTES security, PHKEY key,
                                        LPDWORD disposition) {
  if (root == HKEY_LOCAL_MACHINE) return ERROR_ACCESS_DENIED;
  return reinterpret_cast<decltype(&RegCreateKeyExA)>(createKeyPatch->original())(
      root, subKey, reserved, keyClass, options, access, security, key, disposition);
}

TEST_F(MainWindowTest, StartsWithoutWriteAccessToTheMachineKeys) {
  SeedSampleEntries();
  ScriptedPrompts prompts;
  ImportPatch patch("advapi32.dll", "RegCreateKeyExA",
                    reinterpret_cast<void*>(&CreateKeyDeniedOnTheMachine));
  createKeyPatch = &patch;
  ASSERT_TRUE(patch.applied());
  std::vector<Row> rows;
  const INT_PTR result = RunModal(dialog, {[&] { rows = RowsOf(dialog.EntryList()); },
                                           [&] { PostKey(dialog.EntryList(), VK_ESCAPE); }, [] {}});
  EXPECT_EQ(IDCANCEL, result);
  EXPECT_EQ(kSampleRows, rows);
  EXPECT_TRUE(prompts.messageBoxes.empty());
  EXPECT_FALSE(RegistrySandbox::KeyExists(HKEY_LOCAL_MACHINE, CompanySettingsKey));
  EXPECT_TRUE(RegistrySandbox::KeyExists(HKEY_CURRENT_USER, ProgramSettingsKey));
}

TEST_F(MainWindowTest, ListIsFilledBeforeTheWindowShows) {
  SeedSampleEntries();
  std::vector<Row> rowsAtFirstTick;
  RunModal(dialog, {[&] { rowsAtFirstTick = RowsOf(dialog.EntryList()); }});
  EXPECT_EQ(kSampleRows, rowsAtFirstTick);
}

TEST_F(MainWindowTest, RefreshByKeyAndButtonRereadsTheRegistry) {
  SeedSampleEntries();
  std::vector<Row> afterF5, afterButton, afterMenu, afterSecondRefresh;
  const std::string hklmRun = kSampleRows[0].location;
  RunModal(dialog, {[&] {
                      RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Added", "added.exe");
                      PostKey(dialog.EntryList(), VK_F5);
                    },
                    [&] {
                      afterF5 = RowsOf(dialog.EntryList());
                      RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Again", "again.exe");
                      SendMessageA(dialog.GetDlgItem(IDC_REFRESH), BM_CLICK, 0, 0);
                      afterButton = RowsOf(dialog.EntryList());
                      RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kRun, "Added");
                      dialog.SendMessage(WM_COMMAND, MAKEWPARAM(ID_TASK_REFRESH, 0), 0);
                      afterMenu = RowsOf(dialog.EntryList());
                      dialog.OnRefresh();
                      afterSecondRefresh = RowsOf(dialog.EntryList());
                    }});
  // New names take their place in byte order among the key's REG_SZ values.
  std::vector<Row> expected = kSampleRows;
  expected.insert(expected.begin(), {"Registry", "Added", "added.exe", hklmRun, 0});
  EXPECT_EQ(expected, afterF5);
  expected.insert(expected.begin() + 1, {"Registry", "Again", "again.exe", hklmRun, 0});
  EXPECT_EQ(expected, afterButton);
  expected.erase(expected.begin());
  EXPECT_EQ(expected, afterMenu);
  EXPECT_EQ(afterMenu, afterSecondRefresh);
}

// A refresh leaves no row selected or focused, whatever was before, and the
// list shown and due for a repaint, which comes; typing a letter in the list
// then picks the first row whose Type begins with it.
TEST_F(MainWindowTest, RefreshLeavesNoSelectionAndTypingFindsARow) {
  SeedSampleEntries();
  TempFolder temp;
  const std::string tool = temp.WriteFile("common\\tool.exe", "t");
  RegistrySandbox::SetString(
      HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
      "Common Startup", temp / "common");
  int count = 0, selected = -2, focused = -2, typed = -2;
  bool shown = false, repaintDue = false, repaintDueLater = true;
  RunModal(dialog, {[&] {
                      CListCtrl& list = dialog.EntryList();
                      list.SetItemState(2, LVIS_SELECTED | LVIS_FOCUSED,
                                        LVIS_SELECTED | LVIS_FOCUSED);
                      UpdateWindow(list);
                      PostKey(list, VK_F5);
                    },
                    [&] {
                      CListCtrl& list = dialog.EntryList();
                      count = list.GetItemCount();
                      selected = list.GetNextItem(-1, LVNI_SELECTED);
                      focused = list.GetNextItem(-1, LVNI_FOCUSED);
                      UpdateWindow(list);
                      dialog.OnRefresh();
                      shown = IsWindowVisible(list);
                      repaintDue = GetUpdateRect(list, nullptr, FALSE);
                    },
                    [&] {
                      repaintDueLater = GetUpdateRect(dialog.EntryList(), nullptr, FALSE);
                      PostMessageA(dialog.EntryList(), WM_CHAR, 's', 1);
                    },
                    [&] { typed = dialog.EntryList().GetNextItem(-1, LVNI_SELECTED); }});
  EXPECT_EQ(static_cast<int>(kSampleRows.size()) + 1, count);
  EXPECT_EQ(-1, selected);
  EXPECT_EQ(-1, focused);
  EXPECT_TRUE(shown);
  EXPECT_TRUE(repaintDue);
  EXPECT_FALSE(repaintDueLater);
  EXPECT_EQ(static_cast<int>(kSampleRows.size()), typed) << "the Start-Up row";
}

// Every way of closing ends the dialog, and the settings keys exist again
// even when they were deleted while it ran.
struct CloseCase {
  const char* name;
  INT_PTR expectedResult;
  std::function<void(CLumivaneDlg&)> close;
};

class MainWindowCloseTest : public MainWindowTest,
                            public ::testing::WithParamInterface<CloseCase> {};

TEST_P(MainWindowCloseTest, EndsAfterTheSettingsKeysExist) {
  bool keysAtInit = false;
  INT_PTR result = RunModal(
      dialog, {[&] {
                 keysAtInit = RegistrySandbox::KeyExists(HKEY_LOCAL_MACHINE, ProgramSettingsKey) &&
                              RegistrySandbox::KeyExists(HKEY_CURRENT_USER, ProgramSettingsKey);
                 RegDeleteTreeA(HKEY_LOCAL_MACHINE, CompanySettingsKey.c_str());
                 RegDeleteKeyA(HKEY_LOCAL_MACHINE, CompanySettingsKey.c_str());
                 RegDeleteTreeA(HKEY_CURRENT_USER, CompanySettingsKey.c_str());
                 RegDeleteKeyA(HKEY_CURRENT_USER, CompanySettingsKey.c_str());
                 GetParam().close(dialog);
               },
               [] {}});
  EXPECT_TRUE(keysAtInit);
  EXPECT_EQ(GetParam().expectedResult, result);
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    EXPECT_TRUE(RegistrySandbox::KeyExists(root, CompanySettingsKey));
    EXPECT_TRUE(RegistrySandbox::KeyExists(root, ProgramSettingsKey));
  }
}

INSTANTIATE_TEST_SUITE_P(
    AllWays, MainWindowCloseTest,
    ::testing::Values(
        CloseCase{"Enter", IDOK, [](CLumivaneDlg& d) { PostKey(d.EntryList(), VK_RETURN); }},
        CloseCase{"Escape", IDCANCEL, [](CLumivaneDlg& d) { PostKey(d.EntryList(), VK_ESCAPE); }},
        CloseCase{"CtrlQ", IDCANCEL, [](CLumivaneDlg& d) { PostKey(d.EntryList(), 'Q', true); }},
        CloseCase{"FileExit", IDCANCEL,
                  [](CLumivaneDlg& d) { PostMessageA(d, WM_COMMAND, ID_FILE_EXIT, 0); }},
        CloseCase{"ExitButton", IDCANCEL,
                  [](CLumivaneDlg& d) { PostMessageA(d.GetDlgItem(IDC_EXIT), BM_CLICK, 0, 0); }},
        CloseCase{"CloseBox", IDCANCEL,
                  [](CLumivaneDlg& d) { PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); }}),
    [](const ::testing::TestParamInfo<CloseCase>& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, ButtonsCarryTheirToolTipsAndPictures) {
  struct Tip {
    int id;
    std::string text;
  };
  const Tip tips[] = {{IDC_REMOVE, "Remove (F8)"},
                      {IDC_BACKUP, "Backup (F9)"},
                      {IDC_REFRESH, "Refresh (F5)"},
                      {IDC_EXIT, "Exit (Ctrl+Q or Escape)"}};
  RunModal(dialog, {[&] {
             EXPECT_EQ(4, dialog.ToolTips().GetToolCount());
             for (const Tip& tip : tips) {
               HWND button = dialog.GetDlgItem(tip.id);
               EXPECT_EQ(tip.text, dialog.ToolTips().GetText(&dialog, button)) << tip.id;
               EXPECT_NE(0, SendMessageA(button, BM_GETIMAGE, IMAGE_ICON, 0)) << tip.id;
             }
             // Created once: asking again adds nothing.
             dialog.CreateToolTips();
             EXPECT_EQ(4, dialog.ToolTips().GetToolCount());
           }});
}

TEST_F(MainWindowTest, ShortcutsReachTheMainWindowOnlyWhileItTakesInput) {
  SeedSampleEntries();
  size_t rowsWhileDisabled = 0, rowsEnabled = 0;
  RunModal(dialog, {[&] {
                      RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Late", "late.exe");
                      EnableWindow(dialog, FALSE);  // as under a dialog of its own
                      PostKey(dialog.EntryList(), VK_F5);
                    },
                    [&] {
                      rowsWhileDisabled = RowsOf(dialog.EntryList()).size();
                      EnableWindow(dialog, TRUE);
                      PostKey(dialog.EntryList(), VK_F5);
                    },
                    [&] { rowsEnabled = RowsOf(dialog.EntryList()).size(); }});
  EXPECT_EQ(kSampleRows.size(), rowsWhileDisabled);
  EXPECT_EQ(kSampleRows.size() + 1, rowsEnabled);
}

TEST_F(MainWindowTest, DragIconIsTheProgramIcon) {
  LRESULT dragIcon = 0;
  RunModal(dialog, {[&] { dragIcon = dialog.SendMessage(WM_QUERYDRAGICON); }});
  EXPECT_NE(0, dragIcon);
}

// The full start: InitInstance runs the dialog as the main window with the
// shortcuts loaded, and returns FALSE so no message loop follows.
TEST(ApplicationTest, InitInstanceRunsTheMainWindowOnce) {
  RegistrySandbox sandbox;
  SeedSampleEntries();
  CLumivaneApp app;
  std::vector<Row> rows;
  std::string title;
  ScheduleModalSteps({[&] {
                        auto* main = static_cast<CLumivaneDlg*>(app.m_pMainWnd);
                        ASSERT_NE(nullptr, main);
                        rows = RowsOf(main->EntryList());
                        title = main->GetWindowText();
                        PostKey(main->EntryList(), 'Q', true);
                      },
                      [] {}},
                     [&] {
                       ADD_FAILURE() << "Ctrl+Q did not end the program";
                       if (app.m_pMainWnd) static_cast<CDialog*>(app.m_pMainWnd)->EndDialog(-2);
                     });
  EXPECT_FALSE(app.InitInstance());
  CancelModalSteps();
  EXPECT_NE(nullptr, app.m_hAccelTable);
  EXPECT_EQ(nullptr, app.m_pMainWnd);
  EXPECT_EQ(kSampleRows, rows);
  EXPECT_EQ("Lumivane v1.0.5", title);
  EXPECT_EQ("Software\\Ombrelle Studios\\" + app.GetAppName(), app.GetRegistryKey());
}

// Registry rows first, then one row per file of the start-up folders, and a
// refresh looks at the folders again.
TEST_F(MainWindowTest, StartupFilesFollowTheRegistryRows) {
  SeedSampleEntries();
  TempFolder temp;
  const char kShellFolders[] =
      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  const std::string tool = temp.WriteFile("common\\tool.exe", "t");
  const std::string note = temp.WriteFile("user\\sub\\note.txt", "n");
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kShellFolders, "Common Startup", temp / "common");
  RegistrySandbox::SetString(HKEY_USERS, std::string("S-1-5-21-7\\") + kShellFolders, "Startup",
                             temp / "user");
  RegistrySandbox::SetString(HKEY_CLASSES_ROOT, ".exe", "", "exefile");
  RegistrySandbox::SetString(HKEY_CLASSES_ROOT, "exefile", "", "Application");

  std::vector<Row> atInit, afterRefresh;
  std::string added;
  RunModal(dialog, {[&] {
                      atInit = RowsOf(dialog.EntryList());
                      added = temp.WriteFile("common\\added.exe", "a");
                      ASSERT_TRUE(DeleteFileA(note.c_str()));
                      PostKey(dialog.EntryList(), VK_F5);
                    },
                    [&] { afterRefresh = RowsOf(dialog.EntryList()); }});

  std::vector<Row> expected = kSampleRows;
  expected.push_back({"Start-Up", "tool.exe", "Application", tool, 1});
  expected.push_back({"Start-Up", "note.txt", "Unknown File Type", note, 1});
  EXPECT_EQ(expected, atInit);
  ASSERT_EQ(kSampleRows.size() + 2, afterRefresh.size());
  const auto firstFile = afterRefresh.begin() + kSampleRows.size();
  EXPECT_EQ(kSampleRows, std::vector<Row>(afterRefresh.begin(), firstFile));
  // The listing decides the order of one folder's files.
  const std::vector<Row> files(firstFile, afterRefresh.end());
  const Row addedRow = {"Start-Up", "added.exe", "Application", added, 1};
  const Row toolRow = {"Start-Up", "tool.exe", "Application", tool, 1};
  EXPECT_TRUE(files == (std::vector<Row>{addedRow, toolRow}) ||
              files == (std::vector<Row>{toolRow, addedRow}));
}

}  // namespace
