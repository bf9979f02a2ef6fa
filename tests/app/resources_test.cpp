// The main window's resources as the program carries them: layout, menu,
// shortcuts, pictures and version.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "resource.h"
#include "support/dialog_template.h"

namespace {

TEST(MainDialogTemplate, FrameAndFont) {
  DialogTemplate dialog;
  ASSERT_TRUE(LoadDialogTemplate(IDD_LUMIVANE_DIALOG, dialog));
  EXPECT_EQ("Lumivane v1.0.5", dialog.title);
  EXPECT_EQ("Courier New", dialog.fontName);
  EXPECT_EQ(8, dialog.pointSize);
  EXPECT_EQ(FW_NORMAL, dialog.weight);
  EXPECT_EQ(0, dialog.x);
  EXPECT_EQ(0, dialog.y);
  EXPECT_EQ(445, dialog.cx);
  EXPECT_EQ(145, dialog.cy);
  EXPECT_EQ(IDR_MAIN_MENU, dialog.menuId);
  const DWORD style = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX |
                      WS_MAXIMIZEBOX | WS_THICKFRAME | DS_MODALFRAME | DS_SETFONT | DS_3DLOOK |
                      DS_CENTER;
  EXPECT_EQ(style, dialog.style);
  EXPECT_EQ(static_cast<DWORD>(WS_EX_APPWINDOW), dialog.exStyle);
}

TEST(MainDialogTemplate, ControlsInTabOrder) {
  DialogTemplate dialog;
  ASSERT_TRUE(LoadDialogTemplate(IDD_LUMIVANE_DIALOG, dialog));
  const DWORD child = WS_CHILD | WS_VISIBLE;
  const DWORD iconButton = child | BS_ICON | BS_CENTER | BS_VCENTER | WS_TABSTOP;
  const DialogItemTemplate expected[] = {
      {child | BS_GROUPBOX, 0, 4, 0, 438, 143, -1, "Button", ""},
      // Owner data: the program keeps the rows (see CEntryList).
      {child | LVS_REPORT | LVS_SINGLESEL | LVS_ALIGNLEFT | LVS_OWNERDATA | WS_TABSTOP,
       WS_EX_STATICEDGE, 8, 8, 395, 131, IDC_ENTRY_LIST, "SysListView32", ""},
      {iconButton, WS_EX_STATICEDGE, 406, 8, 32, 32, IDC_REMOVE, "Button", ""},
      {iconButton, WS_EX_STATICEDGE, 406, 41, 32, 32, IDC_BACKUP, "Button", ""},
      {iconButton, WS_EX_STATICEDGE, 406, 74, 32, 32, IDC_REFRESH, "Button", ""},
      {iconButton, WS_EX_STATICEDGE, 406, 107, 32, 32, IDC_EXIT, "Button", ""},
  };
  ExpectControls(expected, dialog);
  // No default push button: Enter reaches the dialog as the plain OK command.
  for (const DialogItemTemplate& item : dialog.items)
    EXPECT_NE(static_cast<DWORD>(BS_DEFPUSHBUTTON), item.style & 0xF) << item.id;
}

struct MenuLine {
  std::string path;  // "&Task/&Selection/&Remove\tF8"; separators as "-"
  UINT id;
};

void CollectMenu(HMENU menu, const std::string& prefix, std::vector<MenuLine>& lines) {
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    char text[128] = "";
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING | MIIM_SUBMENU | MIIM_STATE;
    info.dwTypeData = text;
    info.cch = sizeof text;
    ASSERT_TRUE(GetMenuItemInfoA(menu, i, TRUE, &info));
    if (info.fType & MFT_SEPARATOR) {
      lines.push_back({prefix + "-", 0});
    } else if (info.hSubMenu) {
      CollectMenu(info.hSubMenu, prefix + text + "/", lines);
    } else {
      // Only the watch starts checked: it is on unless the user turned it off.
      EXPECT_EQ(info.wID == ID_TASK_WATCH ? MFS_CHECKED : 0u,
                info.fState & (MFS_GRAYED | MFS_CHECKED))
          << text;
      lines.push_back({prefix + text, info.wID});
    }
  }
}

TEST(MainMenu, ItemsTextsAndCommands) {
  HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAIN_MENU));
  ASSERT_NE(nullptr, menu);
  std::vector<MenuLine> lines;
  CollectMenu(menu, "", lines);
  DestroyMenu(menu);
  const std::vector<MenuLine> expected = {
      {"&File/&Save List...", 32778},
      {"&File/&Removed Entries...", 32785},
      {"&File/-", 0},
      {"&File/E&xit\tCtrl+Q", 32771},
      {"&Task/&Selection/&Remove\tF8", 32776},
      {"&Task/&Selection/-", 0},
      {"&Task/&Selection/&Backup\tF9", 32777},
      {"&Task/&Selection/&Copy\tCtrl+C", 32783},
      {"&Task/&Disable\tF7", 32780},
      {"&Task/&Jump to Entry", 32781},
      {"&Task/Open File &Location", 32782},
      {"&Task/-", 0},
      {"&Task/&Refresh\tF5", 32774},
      {"&Task/Watch for Changes", 32784},
      {"&Extras/&Autoexec.bat", 32792},
      {"&Extras/A&utoexec.nt", 32793},
      {"&Extras/-", 0},
      {"&Extras/&Config.sys", 32794},
      {"&Extras/C&onfig.nt", 32795},
      {"&Extras/-", 0},
      {"&Extras/&System.ini", 32789},
      {"&Extras/&Win.ini", 32790},
      {"&Extras/&Boot.ini", 32791},
      {"&Help/&Manual\tF1", 32772},
      {"&Help/-", 0},
      {"&Help/&About...", 32773},
  };
  ASSERT_EQ(expected.size(), lines.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(expected[i].path, lines[i].path);
    EXPECT_EQ(expected[i].id, lines[i].id) << lines[i].path;
  }
}

std::vector<WPARAM> commands;

LRESULT CALLBACK RecordCommands(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND) commands.push_back(wParam);
  return DefWindowProcA(window, message, wParam, lParam);
}

TEST(MainAccelerators, TableAndTranslation) {
  HACCEL table = LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(131));
  ASSERT_NE(nullptr, table);
  ACCEL entries[16];
  int count = CopyAcceleratorTableA(table, entries, 16);
  struct Want {
    BYTE flags;
    WORD key;
    WORD command;
  };
  const Want expected[] = {
      {FVIRTKEY | FCONTROL | FNOINVERT, 'Q', 32771}, {FVIRTKEY | FNOINVERT, VK_F1, 32772},
      {FVIRTKEY | FNOINVERT, VK_F9, 32777},          {FVIRTKEY | FNOINVERT, VK_F8, 32776},
      {FVIRTKEY | FNOINVERT, VK_F5, 32774},          {FVIRTKEY | FNOINVERT, VK_F7, 32780},
      {FVIRTKEY | FCONTROL | FNOINVERT, 'C', 32783},
      {FVIRTKEY | FCONTROL | FNOINVERT, 'Z', 32786}};
  ASSERT_EQ(static_cast<int>(std::size(expected)), count);
  for (int i = 0; i < count; ++i) {
    EXPECT_EQ(expected[i].flags, entries[i].fVirt & ~0x80) << i;  // 0x80 marks the last entry
    EXPECT_EQ(expected[i].key, entries[i].key) << i;
    EXPECT_EQ(expected[i].command, entries[i].cmd) << i;
  }

  // Translation against a window produces exactly these commands.
  commands.clear();
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = RecordCommands;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "LumivaneAcceleratorProbe";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowA("LumivaneAcceleratorProbe", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                              nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(nullptr, window);
  for (int key : {VK_F1, VK_F5, VK_F7, VK_F8, VK_F9, VK_F2, int('Q')}) {
    MSG msg = {};
    msg.hwnd = window;
    msg.message = WM_KEYDOWN;
    msg.wParam = static_cast<WPARAM>(key);
    msg.lParam = 1;
    TranslateAcceleratorA(window, table, &msg);
  }
  DestroyWindow(window);
  // Accelerators arrive with notification code 1; plain Q is no shortcut.
  EXPECT_EQ((std::vector<WPARAM>{MAKEWPARAM(32772, 1), MAKEWPARAM(32774, 1), MAKEWPARAM(32780, 1),
                                 MAKEWPARAM(32776, 1), MAKEWPARAM(32777, 1)}),
            commands);
}

TEST(Pictures, IconsHaveTheirSizes) {
  struct Icon {
    int id;
    int size;
  };
  const Icon icons[] = {{IDR_MAINFRAME, 32},    {IDR_MAINFRAME, 16},     {IDI_BACKUP, 32},
                        {IDI_EXIT, 32},         {IDI_REFRESH, 32},       {IDI_REMOVE, 32},
                        {IDI_FOLDER_ENTRY, 16}, {IDI_REGISTRY_ENTRY, 16}};
  for (const Icon& icon : icons) {
    // The group lists an image of exactly this size.
    HRSRC group = FindResourceA(nullptr, MAKEINTRESOURCEA(icon.id), MAKEINTRESOURCEA(14));
    ASSERT_NE(nullptr, group) << icon.id;
    const BYTE* dir = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, group)));
    int entries = dir[4] | (dir[5] << 8);
    bool found = false;
    for (int i = 0; i < entries; ++i) {
      const BYTE* entry = dir + 6 + 14 * i;  // GRPICONDIRENTRY
      int width = entry[0] ? entry[0] : 256;
      int bits = entry[6] | (entry[7] << 8);
      if (width == icon.size) {
        found = true;
        if (icon.id == IDR_MAINFRAME) {
          EXPECT_EQ(8, bits) << "the program icon has 256 colours";
        }
      }
    }
    EXPECT_TRUE(found) << "icon " << icon.id << " has no " << icon.size << " pixel image";
  }
}

TEST(Version, ResourceCarriesTheVersion) {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &handle);
  ASSERT_GT(size, 0u);
  std::vector<char> data(size);
  ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, data.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(MAKELONG(0, 1), fixed->dwFileVersionMS);
  EXPECT_EQ(MAKELONG(0, 5), fixed->dwFileVersionLS);
  char* text = nullptr;
  ASSERT_TRUE(VerQueryValueA(data.data(), "\\StringFileInfo\\040904B0\\FileVersion",
                             reinterpret_cast<void**>(&text), &length));
  EXPECT_STREQ("1.0.5", text);
}

// Each number may stand once per group of the header (a dialog's controls, the
// commands, ...); controls of different dialogs may share numbers.
TEST(ResourceIds, NoDuplicateWithinAGroup) {
  std::ifstream header(LUMIVANE_SOURCE_DIR "/res/resource.h");
  ASSERT_TRUE(header.good());
  std::map<std::string, std::map<long, std::string>> groups;
  std::string line, group = "(none)";
  const std::regex define(R"(#define\s+(\w+)\s+(\d+))");
  std::smatch match;
  int defines = 0;
  while (std::getline(header, line)) {
    if (line.rfind("// ", 0) == 0) group = line;
    if (std::regex_search(line, match, define)) {
      ++defines;
      long value = std::stol(match[2]);
      auto [at, added] = groups[group].emplace(value, match[1]);
      EXPECT_TRUE(added) << match[1] << " repeats " << at->second << " (" << value << ") in "
                         << group;
    }
  }
  EXPECT_GT(defines, 20);
}

}  // namespace
