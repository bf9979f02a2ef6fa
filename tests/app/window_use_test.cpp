// The main window for everyday use: resizing, the layout kept between runs,
// sorting by a heading, Copy and the shortcut menu.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/lumivane_app.h"
#include "app/lumivane_dlg.h"
#include "app/window_layout.h"
#include "resource.h"
#include "support/modal_script.h"
#include "support/registry_sandbox.h"
#include "support/scripted_prompts.h"

namespace {

const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Runs a main window over three Run values: Zebra, App10 and App9.
class WindowUseTest : public ::testing::Test {
 protected:
  RegistrySandbox sandbox;
  ScriptedPrompts prompts;
  CLumivaneApp app;

  void SetUp() override {
    app.m_hAccelTable =
        LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAIN_ACCELERATORS));
    for (const char* name : {"Zebra", "App10", "App9"})
      RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, name, std::string(name) + ".exe");
  }
  void Run(CLumivaneDlg& dialog, std::vector<ModalStep> steps) {
    app.m_pMainWnd = &dialog;
    RunModal(dialog, std::move(steps));
  }
};

std::vector<std::string> Names(CListCtrl& list) {
  std::vector<std::string> names;
  for (int row = 0; row < list.GetItemCount(); ++row) names.push_back(list.GetItemText(row, 1));
  return names;
}

// Posts the mouse `message` to `list` over row `row`.
void PostAtRow(CListCtrl& list, UINT message, int row) {
  RECT cell = {};
  cell.left = LVIR_LABEL;
  list.SendMessage(LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&cell));
  PostMessageA(list, message, 0, MAKELPARAM(cell.left + 5, (cell.top + cell.bottom) / 2));
}

void ClickHeading(CListCtrl& list, int column) {
  RECT heading = {};
  SendMessageA(list.GetHeaderCtrl(), HDM_GETITEMRECT, column, reinterpret_cast<LPARAM>(&heading));
  const LPARAM at = MAKELPARAM((heading.left + heading.right) / 2, heading.bottom / 2);
  SendMessageA(list.GetHeaderCtrl(), WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageA(list.GetHeaderCtrl(), WM_LBUTTONUP, 0, at);
}

// The list's distances to the four edges; the Exit button's to the right and
// the top, its width and height.
std::vector<int> Margins(CLumivaneDlg& dialog) {
  RECT client, list, exit;
  GetClientRect(dialog, &client);
  GetWindowRect(dialog.EntryList(), &list);
  GetWindowRect(dialog.GetDlgItem(IDC_EXIT), &exit);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&list), 2);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&exit), 2);
  return {list.left,
          list.top,
          client.right - list.right,
          client.bottom - list.bottom,
          client.right - exit.right,
          exit.top,
          exit.right - exit.left,
          exit.bottom - exit.top};
}

// The list takes what the window grows, the buttons keep to the right edge;
// at 144 DPI every distance is half as large again. The window never gets
// smaller than at first.
TEST_F(WindowUseTest, ListGrowsAndButtonsKeepToTheRightAtAnyDpi) {
  std::vector<int> at96;
  for (int dpi : {96, 144}) {
    std::vector<int> smallest, grown;
    CLumivaneDlg dialog;
    Run(dialog, {[&] {
          RECT window, shrunk;
          GetWindowRect(dialog, &window);
          window.right = window.left + MulDiv(window.right - window.left, dpi, 96);
          window.bottom = window.top + MulDiv(window.bottom - window.top, dpi, 96);
          dialog.SendMessage(WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                             reinterpret_cast<LPARAM>(&window));
          smallest = Margins(dialog);
          SetWindowPos(dialog, nullptr, 0, 0, window.right - window.left + 200,
                       window.bottom - window.top + 100, SWP_NOMOVE | SWP_NOZORDER);
          grown = Margins(dialog);
          SetWindowPos(dialog, nullptr, 0, 0, 100, 100, SWP_NOMOVE | SWP_NOZORDER);
          GetWindowRect(dialog, &shrunk);
          EXPECT_EQ(window.right - window.left, shrunk.right - shrunk.left) << dpi;
        }});
    if (dpi == 96) at96 = smallest;
    ASSERT_EQ(at96.size(), grown.size());
    for (size_t i = 0; i < at96.size(); ++i) {
      EXPECT_NEAR(MulDiv(at96[i], dpi, 96), smallest[i], 1) << dpi << " " << i;
      EXPECT_NEAR(MulDiv(at96[i], dpi, 96), grown[i], 1) << dpi << " " << i;
    }
  }
}

// Place, widths and sort come back at the next start, and so does maximized.
TEST_F(WindowUseTest, RemembersPlaceWidthsAndSort) {
  RECT placed = {30, 40, 730, 440}, restored = {};
  CLumivaneDlg first, second, third;
  Run(first, {[&] {
                MoveWindow(first, 30, 40, 700, 400, TRUE);
                first.EntryList().SetColumnWidth(2, 300);
                ClickHeading(first.EntryList(), 1);
                ClickHeading(first.EntryList(), 1);
              },
              [&] { PostKey(first.EntryList(), VK_ESCAPE); }, [] {}});
  std::vector<int> widths;
  std::vector<std::string> names;
  Run(second, {[&] {
                 GetWindowRect(second, &restored);
                 for (int column = 0; column < 4; ++column)
                   widths.push_back(second.EntryList().GetColumnWidth(column));
                 names = Names(second.EntryList());
                 ShowWindow(second, SW_MAXIMIZE);
               },
               [&] { PostKey(second.EntryList(), VK_ESCAPE); }, [] {}});
  bool maximized = false;
  Run(third, {[&] { maximized = IsZoomed(third); }});
  EXPECT_TRUE(EqualRect(&placed, &restored));
  EXPECT_EQ((std::vector<int>{82, 160, 300, 159}), widths);
  EXPECT_EQ((std::vector<std::string>{"Zebra", "App10", "App9"}), names);
  EXPECT_TRUE(maximized);
}

// A stored value of another type or size, or out of range, leaves its part
// at the default; fewer widths than columns are taken.
TEST(WindowLayoutTest, BadStoredValuesAreIgnored) {
  WINDOWPLACEMENT noLength = {0, 0, SW_SHOWNORMAL, {}, {}, {10, 10, 600, 400}};
  const DWORD four = 4, two = 2;
  const int32_t negative[] = {82, -1}, fewer[] = {90, 170};
  struct Case {
    const char* name;
    DWORD type;
    const void* data;
    DWORD size;
    std::vector<int> widths;
    int sortColumn;  // 1 is stored with every case
  } cases[] = {
      {"WindowPlacement", REG_DWORD, &four, 4, {}, 1},
      {"WindowPlacement", REG_BINARY, &noLength, sizeof noLength - 1, {}, 1},
      {"WindowPlacement", REG_BINARY, &noLength, sizeof noLength, {}, 1},
      {"ColumnWidths", REG_BINARY, fewer, 6, {}, 1},
      {"ColumnWidths", REG_BINARY, negative, 8, {}, 1},
      {"ColumnWidths", REG_BINARY, fewer, 8, {90, 170}, 1},
      {"SortColumn", REG_DWORD, &four, 4, {}, -1},
      {"SortColumn", REG_BINARY, &two, 4, {}, -1},
      {"SortDescending", REG_DWORD, &two, 4, {}, 1},
  };
  for (const Case& c : cases) {
    RegistrySandbox sandbox;
    RegistrySandbox::SetDword(HKEY_CURRENT_USER, ProgramSettingsKey, "SortColumn", 1);
    RegistrySandbox::SetValue(HKEY_CURRENT_USER, ProgramSettingsKey, c.name, c.type, c.data,
                              c.size);
    const WindowLayout layout = ReadWindowLayout(4);
    EXPECT_FALSE(layout.hasPlacement) << c.name << " " << c.size;
    EXPECT_EQ(c.widths, layout.columnWidths) << c.name << " " << c.size;
    EXPECT_EQ(c.sortColumn, layout.sortColumn) << c.name << " " << c.size;
    EXPECT_FALSE(layout.sortDescending) << c.name;
  }
}

// A heading click sorts and keeps the selected row, F5 keeps the sort, and a
// double click just after the rows moved does nothing (later it asks). Ctrl+C
// copies the row as lumivanec writes it.
TEST_F(WindowUseTest, SortingCopyAndTheDoubleClickGuard) {
  char name[16] = "";
  WideCharToMultiByte(CP_ACP, 0, L"Caf\u00e9", -1, name, sizeof name, nullptr, nullptr);
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, name, "a\tb.exe");
  CLumivaneDlg dialog;
  CListCtrl& list = dialog.EntryList();
  std::vector<std::string> sorted, refreshed;
  size_t boxesAfterSort = 9;
  std::wstring copied;
  Run(dialog, {[&] {
                 list.SetItemState(2, LVIS_SELECTED, LVIS_SELECTED);  // the accented name, in byte order
                 ClickHeading(list, 1);
                 sorted = Names(list);
                 PostAtRow(list, WM_LBUTTONDBLCLK, 0);
                 PostKey(list, 'C', true);
               },
               [&] {
                 boxesAfterSort = prompts.messageBoxes.size();
                 PostKey(list, VK_F5);
                 OpenClipboard(dialog);
                 if (HANDLE text = GetClipboardData(CF_UNICODETEXT))
                   copied = static_cast<const wchar_t*>(GlobalLock(text));
                 CloseClipboard();
               },
               [&] {
                 refreshed = Names(list);
                 Sleep(GetDoubleClickTime() + 50);
                 PostAtRow(list, WM_LBUTTONDBLCLK, 0);
               },
               [] {}});
  EXPECT_EQ((std::vector<std::string>{"App9", "App10", name, "Zebra"}), sorted);
  EXPECT_EQ(0u, boxesAfterSort);
  EXPECT_EQ(sorted, refreshed);
  ASSERT_EQ(1u, prompts.messageBoxes.size());
  EXPECT_EQ("Remove this item?", prompts.messageBoxes[0].text);
  EXPECT_EQ(
      L"Type\tName\tCommand\tLocation\tState\r\nRegistry\tCaf\u00e9\ta\\tb.exe\tHKEY_LOCAL_"
      L"MACHINE\\\\Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Run\tenabled\r\n",
      copied);
}

// The context-menu key opens the menu at once, a single right click only
// after the double-click time; a right double click backs up, with no menu.
TEST_F(WindowUseTest, ShortcutMenuByKeyAndByASingleRightClickOnly) {
  const std::vector<std::string> items = {"&Remove\tF8", "&Backup\tF9", "&Copy\tCtrl+C",
                                          "&Disable\tF7"};
  struct Case {
    std::vector<UINT> messages;  // 0 for the context-menu key
    size_t menusAtOnce, menusLater;
  } cases[] = {{{0}, 1, 1},
               {{WM_RBUTTONDOWN, WM_RBUTTONUP}, 0, 1},
               {{WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDBLCLK, WM_RBUTTONUP}, 0, 0}};
  for (const Case& c : cases) {
    ScriptedPrompts answers;
    answers.menuAnswers = {ID_TASK_BACKUP};
    CLumivaneDlg dialog;
    size_t menusAtOnce = 9;
    Run(dialog, {[&] {
                   dialog.EntryList().SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
                   for (UINT message : c.messages)
                     message ? PostAtRow(dialog.EntryList(), message, 1)
                             : PostKey(dialog.EntryList(), VK_APPS);
                 },
                 [&] {
                   menusAtOnce = answers.menus.size();
                   Sleep(GetDoubleClickTime() + 50);
                 },
                 [] {}, [] {}});
    EXPECT_EQ(c.menusAtOnce, menusAtOnce) << c.messages.size();
    ASSERT_EQ(c.menusLater, answers.menus.size()) << c.messages.size();
    if (c.menusLater) {
      EXPECT_EQ(items, answers.menus[0]);
    }
    EXPECT_EQ(1u, answers.fileDialogs.size()) << c.messages.size() << ": Backup, by menu or not";
  }
}

}  // namespace
