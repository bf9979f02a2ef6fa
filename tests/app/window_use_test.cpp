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

class WindowUseTest : public ::testing::Test {
 protected:
  RegistrySandbox sandbox;
  ScriptedPrompts prompts;
  CLumivaneApp app;
  CLumivaneDlg dialog;

  void SetUp() override {
    app.m_hAccelTable =
        LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAIN_ACCELERATORS));
    app.m_pMainWnd = &dialog;
    for (const char* name : {"Zebra", "App10", "App9"})
      RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, name, std::string(name) + ".exe");
  }
  CListCtrl& List() { return dialog.EntryList(); }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (int row = 0; row < List().GetItemCount(); ++row)
      names.push_back(List().GetItemText(row, 1));
    return names;
  }
};

// Posts the mouse `message` to `list` at the middle of row `row`'s name.
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

// The list's distances to the four edges, and the Exit button's to the right
// and the top with its width and height.
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

// The list takes what the window grows; the buttons keep to the right edge.
// At 144 DPI every distance is half as large again; the window never gets
// smaller than at first.
TEST_F(WindowUseTest, ListGrowsAndButtonsKeepToTheRightAtAnyDpi) {
  std::vector<int> at96;
  for (int dpi : {96, 144}) {
    std::vector<int> smallest, grown;
    CLumivaneDlg dialog;  // one run each
    app.m_pMainWnd = &dialog;
    RunModal(dialog, {[&] {
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
    ASSERT_EQ(at96.size(), smallest.size());
    for (size_t i = 0; i < at96.size(); ++i) {
      EXPECT_NEAR(MulDiv(at96[i], dpi, 96), smallest[i], 1) << dpi << " " << i;
      EXPECT_NEAR(MulDiv(at96[i], dpi, 96), grown[i], 1) << dpi << " " << i;
    }
  }
}

// Place, widths and sort come back at the next start; so does a maximized window.
TEST_F(WindowUseTest, RemembersPlaceWidthsAndSort) {
  RECT placed = {30, 40, 0, 0}, restored = {};
  RunModal(dialog, {[&] {
                      GetWindowRect(dialog, &placed);
                      OffsetRect(&placed, 30 - placed.left, 40 - placed.top);
                      placed.right += 120;
                      SetWindowPos(dialog, nullptr, placed.left, placed.top,
                                   placed.right - placed.left, placed.bottom - placed.top,
                                   SWP_NOZORDER);
                      List().SetColumnWidth(2, 300);
                      ClickHeading(List(), 1);
                      ClickHeading(List(), 1);
                    },
                    [&] { PostKey(List(), VK_ESCAPE); }, [] {}});
  std::vector<std::string> names;
  std::vector<int> widths;
  CLumivaneDlg again;
  app.m_pMainWnd = &again;
  RunModal(again, {[&] {
                     GetWindowRect(again, &restored);
                     for (int column = 0; column < 4; ++column)
                       widths.push_back(again.EntryList().GetColumnWidth(column));
                     for (int row = 0; row < 3; ++row)
                       names.push_back(again.EntryList().GetItemText(row, 1));
                     ShowWindow(again, SW_MAXIMIZE);
                   },
                   [&] { PostKey(again.EntryList(), VK_ESCAPE); }, [] {}});
  EXPECT_TRUE(EqualRect(&placed, &restored));
  EXPECT_EQ((std::vector<int>{82, 160, 300, 159}), widths);
  EXPECT_EQ((std::vector<std::string>{"Zebra", "App10", "App9"}), names);
  CLumivaneDlg third;
  app.m_pMainWnd = &third;
  bool maximized = false;
  RunModal(third, {[&] { maximized = IsZoomed(third); }});
  EXPECT_TRUE(maximized);
}

std::vector<BYTE> Bytes(const void* data, size_t size) {
  const BYTE* bytes = static_cast<const BYTE*>(data);
  return std::vector<BYTE>(bytes, bytes + size);
}

// A stored value that is missing, of another type or size, or out of range
// leaves its part at the default; fewer widths than columns are taken.
TEST(WindowLayoutTest, BadStoredValuesAreIgnored) {
  WINDOWPLACEMENT good = {sizeof good, 0, SW_SHOWNORMAL, {}, {}, {10, 10, 600, 400}};
  WINDOWPLACEMENT noLength = good, empty = good, badShow = good;
  noLength.length = 0;
  empty.rcNormalPosition.right = 10;
  badShow.showCmd = 99;
  const DWORD four = 4, one = 1, two = 2;
  const int32_t negative[] = {82, -1}, huge[] = {82, 20000}, fewer[] = {90, 170};
  struct Case {
    const char* name;
    DWORD type;
    std::vector<BYTE> data;
    std::vector<int> widths;
    int sortColumn;  // 1 is stored with every case
  } cases[] = {
      {"WindowPlacement", REG_DWORD, Bytes(&one, 4), {}, 1},
      {"WindowPlacement", REG_BINARY, Bytes(&good, sizeof good - 1), {}, 1},
      {"WindowPlacement", REG_BINARY, Bytes(&noLength, sizeof good), {}, 1},
      {"WindowPlacement", REG_BINARY, Bytes(&empty, sizeof good), {}, 1},
      {"WindowPlacement", REG_BINARY, Bytes(&badShow, sizeof good), {}, 1},
      {"ColumnWidths", REG_BINARY, Bytes(fewer, 6), {}, 1},
      {"ColumnWidths", REG_BINARY, Bytes(negative, 8), {}, 1},
      {"ColumnWidths", REG_BINARY, Bytes(huge, 8), {}, 1},
      {"ColumnWidths", REG_DWORD, Bytes(&one, 4), {}, 1},
      {"ColumnWidths", REG_BINARY, Bytes(fewer, 8), {90, 170}, 1},
      {"SortColumn", REG_DWORD, Bytes(&four, 4), {}, -1},
      {"SortColumn", REG_BINARY, Bytes(&one, 4), {}, -1},
      {"SortColumn", REG_DWORD, Bytes(&one, 2), {}, -1},
      {"SortDescending", REG_DWORD, Bytes(&two, 4), {}, 1},
  };
  for (const Case& c : cases) {
    RegistrySandbox sandbox;
    RegistrySandbox::SetDword(HKEY_CURRENT_USER, ProgramSettingsKey, "SortColumn", 1);
    RegistrySandbox::SetValue(HKEY_CURRENT_USER, ProgramSettingsKey, c.name, c.type, c.data.data(),
                              static_cast<DWORD>(c.data.size()));
    const WindowLayout layout = ReadWindowLayout(4);
    EXPECT_FALSE(layout.hasPlacement) << c.name << " " << c.data.size();
    EXPECT_EQ(c.widths, layout.columnWidths) << c.name << " " << c.data.size();
    EXPECT_EQ(c.sortColumn, layout.sortColumn) << c.name << " " << c.data.size();
    EXPECT_FALSE(layout.sortDescending) << c.name;
  }
}

// Placed on a monitor that is gone, the window comes back on the primary one.
TEST_F(WindowUseTest, PlaceOnAMonitorThatIsGoneMovesToThePrimary) {
  WINDOWPLACEMENT gone = {sizeof gone, 0, SW_SHOWNORMAL, {}, {}, {20000, 20000, 20900, 20400}};
  RegistrySandbox::SetValue(HKEY_CURRENT_USER, ProgramSettingsKey, "WindowPlacement", REG_BINARY,
                            &gone, sizeof gone);
  HMONITOR monitor = nullptr;
  RunModal(dialog, {[&] { monitor = MonitorFromWindow(dialog, MONITOR_DEFAULTTONULL); }});
  EXPECT_EQ(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), monitor);
}

// A heading click sorts and keeps the selected row; F5 keeps the sort. A
// double click just after the rows moved does nothing; later it asks.
TEST_F(WindowUseTest, SortingKeepsSelectionAndGuardsTheNextDoubleClick) {
  std::vector<std::string> sorted, refreshed;
  std::string selected;
  size_t boxesAfterSort = 9;
  RunModal(dialog, {[&] {
                      List().SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);  // App10
                      ClickHeading(List(), 1);
                      sorted = Names();
                      selected = List().GetItemText(List().GetNextItem(-1, LVNI_SELECTED), 1);
                      PostAtRow(List(), WM_LBUTTONDBLCLK, 2);
                    },
                    [&] {
                      boxesAfterSort = prompts.messageBoxes.size();
                      PostKey(List(), VK_F5);
                    },
                    [&] {
                      refreshed = Names();
                      Sleep(GetDoubleClickTime() + 50);
                      PostAtRow(List(), WM_LBUTTONDBLCLK, 2);
                    },
                    [] {}});
  EXPECT_EQ((std::vector<std::string>{"App9", "App10", "Zebra"}), sorted);
  EXPECT_EQ("App10", selected);
  EXPECT_EQ(0u, boxesAfterSort);
  EXPECT_EQ(sorted, refreshed);
  ASSERT_EQ(1u, prompts.messageBoxes.size());
  EXPECT_EQ("Remove this item?", prompts.messageBoxes[0].text);
}

TEST_F(WindowUseTest, CtrlCCopiesTheRowAsLumivanecWritesIt) {
  char name[16] = "";
  WideCharToMultiByte(CP_ACP, 0, L"Caf\u00e9", -1, name, sizeof name, nullptr, nullptr);
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, kRun);
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, name, "a\tb.exe");
  std::wstring copied;
  RunModal(dialog, {[&] {
                      List().SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
                      PostKey(List(), 'C', true);
                    },
                    [&] {
                      ASSERT_TRUE(OpenClipboard(dialog));
                      if (HANDLE text = GetClipboardData(CF_UNICODETEXT)) {
                        copied = static_cast<const wchar_t*>(GlobalLock(text));
                        GlobalUnlock(text);
                      }
                      CloseClipboard();
                    }});
  EXPECT_EQ(
      L"Type\tName\tCommand\tLocation\tState\r\nRegistry\tCaf\u00e9\ta\\tb.exe\t"
      L"HKEY_LOCAL_"
      L"MACHINE\\\\Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Run\tenabled\r\n",
      copied);
}

// The menu comes from Shift+F10 at once, from a single right click only after
// the double-click time; a right double click backs up and opens no menu.
TEST_F(WindowUseTest, ShortcutMenuByKeyAndByASingleRightClickOnly) {
  const std::vector<std::string> items = {"&Remove\tF8", "&Backup\tF9", "&Copy\tCtrl+C",
                                          "&Disable\tF7"};
  struct Case {
    const char* name;
    std::vector<UINT> messages;
    size_t menusAtOnce, menusLater;
  } cases[] = {
      {"Shift+F10", {WM_SYSKEYDOWN}, 1, 1},
      {"right click", {WM_RBUTTONDOWN, WM_RBUTTONUP}, 0, 1},
      {"right double click", {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDBLCLK, WM_RBUTTONUP}, 0, 0},
  };
  for (const Case& c : cases) {
    ScriptedPrompts answers;
    answers.menuAnswers = {ID_TASK_BACKUP};
    CLumivaneDlg window;
    app.m_pMainWnd = &window;
    size_t menusAtOnce = 9;
    RunModal(window, {[&] {
                        window.EntryList().SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
                        BYTE keys[256];
                        GetKeyboardState(keys);
                        keys[VK_SHIFT] = 0x80;
                        SetKeyboardState(keys);
                        for (UINT message : c.messages) {
                          if (message == WM_SYSKEYDOWN)
                            PostMessageA(window.EntryList(), message, VK_F10, 1);
                          else
                            PostAtRow(window.EntryList(), message, 1);
                        }
                      },
                      [&] {
                        menusAtOnce = answers.menus.size();
                        Sleep(GetDoubleClickTime() + 50);
                      },
                      [] {}, [] {}});
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
    EXPECT_EQ(c.menusAtOnce, menusAtOnce) << c.name;
    EXPECT_EQ(c.menusLater, answers.menus.size()) << c.name;
    if (!answers.menus.empty()) {
      EXPECT_EQ(items, answers.menus[0]) << c.name;
    }
    EXPECT_EQ(1u, answers.fileDialogs.size()) << c.name << ": Backup, by menu or at once";
  }
}

}  // namespace
