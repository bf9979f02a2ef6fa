// The main window's resizing, remembered layout, sorting, Copy and shortcut menu.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/lumivane_app.h"
#include "app/lumivane_dlg.h"
#include "app/window_layout.h"
#include "resource.h"
#include "support/details_wait.h"
#include "support/modal_script.h"
#include "support/registry_sandbox.h"
#include "support/scripted_prompts.h"
#include "support/temp_folder.h"

namespace {

const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Main windows over the Run values Zebra, App10 and App9 (listed in byte order).
class WindowUseTest : public ::testing::Test {
 protected:
  RegistrySandbox sandbox;
  ScriptedPrompts prompts;
  CLumivaneApp app;

  void SetUp() override {
    for (const char* name : {"Zebra", "App10", "App9"})
      RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, name, "x.exe");
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

void PostAtRow(CListCtrl& list, UINT mouseMessage, int row) {
  RECT cell = {LVIR_LABEL, 0, 0, 0};
  list.SendMessage(LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&cell));
  PostMessageA(list, mouseMessage, 0, MAKELPARAM(cell.left + 5, (cell.top + cell.bottom) / 2));
}

void ClickHeading(CListCtrl& list, int column) {
  RECT heading = {};
  SendMessageA(list.GetHeaderCtrl(), HDM_GETITEMRECT, column, reinterpret_cast<LPARAM>(&heading));
  const LPARAM at = MAKELPARAM((heading.left + heading.right) / 2, heading.bottom / 2);
  SendMessageA(list.GetHeaderCtrl(), WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageA(list.GetHeaderCtrl(), WM_LBUTTONUP, 0, at);
}

// The list's distances to the right and bottom edges, the Exit button's to the
// right and top edges.
std::vector<int> Margins(CLumivaneDlg& dialog) {
  RECT client, list, exit;
  GetClientRect(dialog, &client);
  GetWindowRect(dialog.EntryList(), &list);
  GetWindowRect(dialog.GetDlgItem(IDC_EXIT), &exit);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&list), 2);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&exit), 2);
  return {client.right - list.right, client.bottom - list.bottom, client.right - exit.right,
          exit.top};
}

// Grown, the list takes the room and the buttons keep to the right edge, never
// smaller than at first. Place, widths and sort come back at the next start,
// where at 144 DPI every distance is half as large again. Maximized is kept.
TEST_F(WindowUseTest, ResizesAndRemembersItsLayout) {
  std::vector<int> smallest, grown, at144, widths;
  std::vector<std::string> names;
  RECT first = {}, shrunk = {}, restored = {}, placed = {30, 40, 1030, 540};
  CLumivaneDlg one, two;
  Run(one, {[&] {
        smallest = Margins(one);
        GetWindowRect(one, &first);
        SetWindowPos(one, nullptr, 0, 0, 100, 100, SWP_NOMOVE | SWP_NOZORDER);
        GetWindowRect(one, &shrunk);
        MoveWindow(one, 30, 40, 1000, 500, TRUE);
        grown = Margins(one);
        one.EntryList().SetColumnWidth(2, 300);
        ClickHeading(one.EntryList(), 1);
        ClickHeading(one.EntryList(), 1);
        one.OnExit();
      }});
  Run(two, {[&] {
        GetWindowRect(two, &restored);
        for (int c : {0, 1, 2, 3}) widths.push_back(two.EntryList().GetColumnWidth(c));
        names = Names(two.EntryList());
        RECT suggested = {0, 0, 1500, 750};  // half as large again
        two.SendMessage(WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
        at144 = Margins(two);
        ShowWindow(two, SW_MAXIMIZE);
        two.OnExit();
      }});
  EXPECT_EQ(first.right - first.left, shrunk.right - shrunk.left);
  EXPECT_EQ(smallest, grown);
  for (size_t i = 0; i < smallest.size(); ++i)
    EXPECT_NEAR(smallest[i] * 3 / 2, at144.at(i), 1) << i;
  EXPECT_TRUE(EqualRect(&placed, &restored));
  EXPECT_EQ((std::vector<int>{82, 160, 300, 159}), widths);
  EXPECT_EQ((std::vector<std::string>{"Zebra", "App10", "App9"}), names);
  EXPECT_EQ(SW_SHOWMAXIMIZED, ReadWindowLayout(4).placement.showCmd);
}

// A stored value of another type or size, or out of range, is ignored;
// fewer widths than columns are taken.
TEST(WindowLayoutTest, BadStoredValuesAreIgnored) {
  WINDOWPLACEMENT noLength = {0, 0, SW_SHOWNORMAL, {}, {}, {10, 10, 600, 400}};
  const int32_t four = 4, fewer[] = {90, 170}, negative[] = {-1, 82};
  const struct {
    const char* name;
    DWORD type;
    const void* data;
    DWORD size;
    std::vector<int> widths;
  } cases[] = {{"WindowPlacement", REG_DWORD, &four, 4, {}},
               {"WindowPlacement", REG_BINARY, &noLength, sizeof noLength - 1, {}},
               {"WindowPlacement", REG_BINARY, &noLength, sizeof noLength, {}},
               {"ColumnWidths", REG_BINARY, negative, 8, {}},
               {"ColumnWidths", REG_BINARY, fewer, 8, {90, 170}},
               {"SortColumn", REG_DWORD, &four, 4, {}}};
  for (const auto& c : cases) {
    RegistrySandbox sandbox;
    RegistrySandbox::SetValue(HKEY_CURRENT_USER, ProgramSettingsKey, c.name, c.type, c.data,
                              c.size);
    const WindowLayout layout = ReadWindowLayout(4);
    EXPECT_FALSE(layout.hasPlacement) << c.name << " " << c.size;
    EXPECT_EQ(c.widths, layout.columnWidths) << c.name << " " << c.size;
    EXPECT_EQ(-1, layout.sortColumn) << c.name << " " << c.size;
  }
}

// Heading clicks sort each column both ways (numbers inside names by value, an
// accented letter beside its plain one, ties in the order of the scan) and keep
// the selected row; F5 keeps the sort. Just after rows moved a double click does
// nothing. Ctrl+C copies the row as lumivanec writes it. The context-menu key
// opens the menu, a single right click only after the double-click time, a right
// double click none (it backs up); its items are greyed as in the Task menu.
TEST_F(WindowUseTest, SortingCopyAndTheShortcutMenu) {
  char cafe[16] = "";
  WideCharToMultiByte(CP_ACP, 0, L"Caf\u00e9", -1, cafe, sizeof cafe, nullptr, nullptr);
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, cafe, "a\tb.exe");
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, std::string(kRun) + "Once", "Once", "x.exe");
  const std::vector<std::vector<std::string>> expected = {
      {"App10", "App9", cafe, "Zebra", "Once"}, {cafe, "App10", "App9", "Zebra", "Once"},
      {"App10", "App9", "Zebra", "Once", cafe}, {"App10", "App9", cafe, "Zebra", "Once"},
      {"Once", "App10", "App9", cafe, "Zebra"}, {"App9", "App10", cafe, "Once", "Zebra"},
      {"Zebra", "Once", cafe, "App10", "App9"}, {cafe} /* still selected */,
      {"Zebra", "Once", cafe, "App10", "App9"} /* after F5 */};
  const std::vector<std::string> items = {"&Remove\tF8",         "&Backup\tF9",
                                          "&Copy\tCtrl+C",       "&Disable\tF7 (grey)",
                                          "&Jump to Entry",      "Open File &Location (grey)"};
  CLumivaneDlg dialog;
  CListCtrl& list = dialog.EntryList();
  std::vector<std::vector<std::string>> sorted;
  std::vector<size_t> counts;  // message boxes, then menus, as the steps go
  std::wstring copied;
  auto pause = [] { Sleep(GetDoubleClickTime() + 50); };
  auto countMenus = [&] { counts.push_back(prompts.menus.size()); };
  auto rightClicks = [&](std::vector<UINT> mouse) -> ModalStep {
    return [&list, mouse] {
      for (UINT message : mouse) PostAtRow(list, message, 1);
    };
  };
  Run(dialog,
      {[&] {
         list.SetItemState(2, LVIS_SELECTED, LVIS_SELECTED);
         for (int column : {0, 2, 2, 3, 3, 1, 1}) {
           ClickHeading(list, column);
           sorted.push_back(Names(list));
         }
         sorted.push_back({list.GetItemText(list.GetNextItem(-1, LVNI_SELECTED), 1)});
         PostAtRow(list, WM_LBUTTONDBLCLK, 0);
         PostMessageA(dialog, WM_COMMAND, ID_TASK_COPY, 0);  // as Ctrl+C
       },
       [&] {
         counts.push_back(prompts.messageBoxes.size());
         dialog.OnRefresh();
         OpenClipboard(dialog);
         copied = static_cast<const wchar_t*>(GlobalLock(GetClipboardData(CF_UNICODETEXT)));
         CloseClipboard();
       },
       [&] {
         sorted.push_back(Names(list));  // after F5
         pause();
         PostAtRow(list, WM_LBUTTONDBLCLK, 0);
       },
       [&] {
         counts.push_back(prompts.messageBoxes.size());
         list.SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);  // Once: no switch
         PostKey(list, VK_APPS);
       },
       countMenus, rightClicks({WM_RBUTTONDOWN, WM_RBUTTONUP}), countMenus, pause, [] {},
       countMenus, rightClicks({WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDBLCLK, WM_RBUTTONUP}),
       pause, [] {}, countMenus});
  EXPECT_EQ(expected, sorted);
  EXPECT_EQ((std::vector<size_t>{0, 1, 1, 1, 2, 2}), counts);
  EXPECT_EQ(std::vector<std::vector<std::string>>(2, items), prompts.menus);
  EXPECT_EQ(1u, prompts.fileDialogs.size()) << "the right double click backs up";
  EXPECT_EQ(
      L"Type\tName\tCommand\tLocation\tState\tImagePath\tPublisher\tSignature\tUser\r\n"
      L"Registry\tCaf\u00e9\ta\\tb.exe\tHKEY_LOCAL_MACHINE\\\\Software\\\\Microsoft\\\\Windows\\\\"
      L"CurrentVersion\\\\Run\tenabled\t\t\tn/a\tAll Users\r\n",
      copied);
}

// Sorted by Image Path, a refresh keeps the order: the rows take their places
// from the details read before, show none of them, and sort again by their own.
TEST_F(WindowUseTest, SortedByDetailsStaysSortedAcrossARefresh) {
  TempFolder programs;
  for (const auto& [name, file] : {std::pair<const char*, const char*>{"Zebra", "a.exe"},
                                   {"App9", "b.exe"},
                                   {"App10", "c.exe"}})
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, name, programs.WriteFile(file, "x"));
  CLumivaneDlg dialog;
  CListCtrl& list = dialog.EntryList();
  std::vector<std::vector<std::string>> orders;
  std::string imagePathBeforeDetails = "(none)";
  auto pause = [] { Sleep(600); };
  Run(dialog, {[&] {
                 WaitForDetails(dialog);
                 NMLISTVIEW click = {{list, IDC_ENTRY_LIST, LVN_COLUMNCLICK}, -1, 5};  // off screen
                 dialog.SendMessage(WM_NOTIFY, IDC_ENTRY_LIST, reinterpret_cast<LPARAM>(&click));
                 orders.push_back(Names(list));
                 RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Zebra",
                                            programs.WriteFile("d.exe", "x"));
                 dialog.OnRefresh();
                 orders.push_back(Names(list));
                 imagePathBeforeDetails = list.GetItemText(0, 5);
                 WaitForDetails(dialog);
               },
               pause, [] {}, [] {}, [&] { orders.push_back(Names(list)); }});
  const std::vector<std::vector<std::string>> expected = {
      {"Zebra", "App9", "App10"}, {"Zebra", "App9", "App10"}, {"App9", "App10", "Zebra"}};
  EXPECT_EQ(expected, orders);
  EXPECT_EQ("", imagePathBeforeDetails);
}

}  // namespace
