// The selected row's shortcut menu and Copy. The menu holds the Task menu's
// commands for one entry, greyed as there; a single right click opens it only
// once it is clear that no second click comes, since a right double click
// backs the entry up.
#include <cstring>

#include "app/entry_list.h"
#include "app/lumivane_dlg.h"
#include "framework/prompts.h"
#include "resource.h"
#include "inventory/inventory.h"
#include "util/text_encoding.h"

namespace {

// Every command of `from` and its submenus, without separators and without
// the commands that are not about one entry.
void AppendEntryCommands(HMENU from, HMENU to) {
  for (int position = 0; position < GetMenuItemCount(from); ++position) {
    char text[128] = "";
    MENUITEMINFOA item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_ID | MIIM_STATE | MIIM_FTYPE | MIIM_STRING | MIIM_SUBMENU;
    item.dwTypeData = text;
    item.cch = sizeof text;
    if (!GetMenuItemInfoA(from, position, TRUE, &item)) continue;
    if (item.hSubMenu) {
      AppendEntryCommands(item.hSubMenu, to);
    } else if (!(item.fType & MFT_SEPARATOR) && item.wID != ID_TASK_REFRESH &&
               item.wID != ID_TASK_WATCH) {
      AppendMenuA(to, MF_STRING | (item.fState & MFS_GRAYED ? MF_GRAYED : MF_ENABLED), item.wID,
                  text);
    }
  }
}

// The menu bar's menu that holds the entry commands.
HMENU TaskMenu(HMENU bar) {
  for (int position = 0; position < GetMenuItemCount(bar); ++position) {
    HMENU menu = GetSubMenu(bar, position);
    if (menu && GetMenuState(menu, ID_TASK_REMOVE, MF_BYCOMMAND) != static_cast<UINT>(-1))
      return menu;
  }
  return nullptr;
}

bool PutTextOnClipboard(HWND owner, const std::wstring& text) {
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (!memory) return false;
  std::memcpy(GlobalLock(memory), text.c_str(), bytes);
  GlobalUnlock(memory);
  if (OpenClipboard(owner)) {
    EmptyClipboard();
    const bool placed = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    CloseClipboard();
    if (placed) return true;  // the clipboard owns the memory now
  }
  GlobalFree(memory);
  return false;
}

}  // namespace

void CLumivaneDlg::OnCopy() {
  const int selected = m_listEntries.GetNextItem(-1, LVNI_SELECTED);
  if (!m_listEntries.Row(selected)) return;
  // What is known of the row: its details only once the worker has read them.
  const std::string text = InventoryText({ListedRow(m_listEntries, selected)}, InventoryFormat::Tabs);
  PutTextOnClipboard(m_hWnd, WideFromUtf8(text));
}

void CLumivaneDlg::ShowEntryMenu(POINT at) {
  if (m_listEntries.GetNextItem(-1, LVNI_SELECTED) < 0) return;
  HMENU task = TaskMenu(GetMenu(m_hWnd));
  if (!task) return;
  UpdateTaskMenu();
  UpdateRemoveCommand(true);
  HMENU menu = CreatePopupMenu();
  AppendEntryCommands(task, menu);
  UpdateRemoveCommand(false);
  const UINT command = PromptPopupMenu(m_hWnd, menu, at);
  DestroyMenu(menu);
  if (command) SendMessage(WM_COMMAND, MAKEWPARAM(command, 0));
}

bool CLumivaneDlg::OnContextMenu(WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (reinterpret_cast<HWND>(wParam) != m_listEntries.m_hWnd) return false;
  *result = 0;
  // A click's menu waits for the double-click time (OnEntryListRClick).
  if (lParam != -1) return true;
  // The context-menu key or Shift+F10: below the selected row's name.
  const int selected = m_listEntries.GetNextItem(-1, LVNI_SELECTED);
  RECT row = {};
  row.left = LVIR_LABEL;
  if (selected < 0 ||
      !m_listEntries.SendMessage(LVM_GETITEMRECT, selected, reinterpret_cast<LPARAM>(&row)))
    return true;
  POINT at = {row.left, row.bottom};
  ClientToScreen(m_listEntries, &at);
  ShowEntryMenu(at);
  return true;
}

void CLumivaneDlg::OnEntryListRClick(NMHDR* header, LRESULT* result) {
  *result = 0;
  // Some lists report the second click of a right double click as a click too.
  if (GetTickCount() - m_rightDoubleClickAt <= GetDoubleClickTime()) return;
  if (reinterpret_cast<NMITEMACTIVATE*>(header)->iItem < 0) return;
  const DWORD position = GetMessagePos();
  m_rightClickAt = {static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
  SetTimer(m_hWnd, kEntryMenuTimer, GetDoubleClickTime(), nullptr);
}

bool CLumivaneDlg::OnTimer(WPARAM wParam, LPARAM, LRESULT* result) {
  if (wParam != kEntryMenuTimer) return false;
  KillTimer(m_hWnd, kEntryMenuTimer);
  ShowEntryMenu(m_rightClickAt);
  *result = 0;
  return true;
}
