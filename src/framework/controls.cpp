#include "framework/controls.h"

#include <vector>

#include "framework/win_app.h"

bool CListCtrl::SetItemText(int item, int subItem, const char* text) {
  LVITEMA cell = {};
  cell.mask = LVIF_TEXT;
  cell.iItem = item;
  cell.iSubItem = subItem;
  cell.pszText = const_cast<char*>(text);
  return SetItem(&cell);
}

std::string CListCtrl::GetItemText(int item, int subItem) const {
  // The control copies at most the buffer's size less one; grow until it fits.
  std::vector<char> buffer(256);
  for (;;) {
    LVITEMA cell = {};
    cell.iSubItem = subItem;
    cell.pszText = buffer.data();
    cell.cchTextMax = static_cast<int>(buffer.size());
    int copied =
        static_cast<int>(SendMessage(LVM_GETITEMTEXTA, item, reinterpret_cast<LPARAM>(&cell)));
    if (copied < static_cast<int>(buffer.size()) - 1) return std::string(cell.pszText, copied);
    buffer.resize(buffer.size() * 4);
  }
}

bool CListCtrl::SetItemState(int item, UINT state, UINT mask) {
  LVITEMA change = {};
  change.state = state;
  change.stateMask = mask;
  return SendMessage(LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(&change)) != 0;
}

int CListCtrl::InsertColumn(int column, const char* heading, int format, int width) {
  LVCOLUMNA header = {};
  header.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
  header.fmt = format;
  header.cx = width;
  header.pszText = const_cast<char*>(heading);
  header.iSubItem = column;
  return static_cast<int>(
      SendMessage(LVM_INSERTCOLUMNA, column, reinterpret_cast<LPARAM>(&header)));
}

bool CToolTipCtrl::Create(CWnd* owner, DWORD style) {
  m_hWnd = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, style, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, owner->m_hWnd, nullptr,
                           AfxGetResourceHandle(), nullptr);
  return m_hWnd != nullptr;
}

bool CToolTipCtrl::AddTool(CWnd* owner, CWnd* tool, const char* text) {
  TOOLINFOA info = {};
  info.cbSize = sizeof info;
  info.uFlags = TTF_IDISHWND;
  info.hwnd = owner->m_hWnd;
  info.uId = reinterpret_cast<UINT_PTR>(tool->m_hWnd);
  info.lpszText = const_cast<char*>(text);
  return SendMessage(TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info)) != 0;
}

std::string CToolTipCtrl::GetText(CWnd* owner, HWND tool) const {
  char text[1024] = "";
  TOOLINFOA info = {};
  info.cbSize = sizeof info;
  info.hwnd = owner->m_hWnd;
  info.uId = reinterpret_cast<UINT_PTR>(tool);
  info.lpszText = text;
  SendMessage(TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&info));
  return text;
}
