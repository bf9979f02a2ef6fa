// Typed wrappers of the controls our dialogs use; each call goes straight to
// the control's message.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "framework/wnd.h"

class CImageList {
 public:
  HIMAGELIST m_hImageList = nullptr;

  bool Create(int cx, int cy, UINT flags, int initial, int grow) {
    m_hImageList = ImageList_Create(cx, cy, flags, initial, grow);
    return m_hImageList != nullptr;
  }
  // Index -1 appends; returns the image's index or -1.
  int Replace(int index, HICON icon) { return ImageList_ReplaceIcon(m_hImageList, index, icon); }
  int GetImageCount() const { return ImageList_GetImageCount(m_hImageList); }
  // Appends a pale grey copy of image `index`; returns its index or -1.
  int AppendGreyed(int index);
  // Appends a copy of image `index` crossed out in red; returns its index or -1.
  int AppendCrossed(int index);
  void Destroy() {
    if (m_hImageList) ImageList_Destroy(m_hImageList);
    m_hImageList = nullptr;
  }
};

class CButton : public CWnd {
 public:
  HICON SetIcon(HICON icon) {
    return reinterpret_cast<HICON>(
        SendMessage(BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon)));
  }
  HICON GetIcon() const { return reinterpret_cast<HICON>(SendMessage(BM_GETIMAGE, IMAGE_ICON, 0)); }
};

class CEdit : public CWnd {};

class CListCtrl : public CWnd {
 public:
  int GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }
  bool DeleteAllItems() { return SendMessage(LVM_DELETEALLITEMS) != 0; }
  bool DeleteItem(int item) { return SendMessage(LVM_DELETEITEM, item) != 0; }
  int InsertItem(const LVITEMA* item) {
    return static_cast<int>(SendMessage(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(item)));
  }
  bool SetItem(const LVITEMA* item) {
    return SendMessage(LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(item)) != 0;
  }
  bool GetItem(LVITEMA* item) const {
    return SendMessage(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(item)) != 0;
  }
  // Sets the text of one cell; `text` must stay zero-terminated.
  bool SetItemText(int item, int subItem, const char* text);
  // The whole text of one cell, however long.
  std::string GetItemText(int item, int subItem) const;
  int GetNextItem(int start, UINT flags) const {
    return static_cast<int>(SendMessage(LVM_GETNEXTITEM, start, MAKELPARAM(flags, 0)));
  }
  UINT GetItemState(int item, UINT mask) const {
    return static_cast<UINT>(SendMessage(LVM_GETITEMSTATE, item, mask));
  }
  bool SetItemState(int item, UINT state, UINT mask);
  bool EnsureVisible(int item) { return SendMessage(LVM_ENSUREVISIBLE, item, FALSE) != 0; }

  int InsertColumn(int column, const char* heading, int format, int width);
  int GetColumnWidth(int column) const {
    return static_cast<int>(SendMessage(LVM_GETCOLUMNWIDTH, column));
  }
  bool SetColumnWidth(int column, int width) {
    return SendMessage(LVM_SETCOLUMNWIDTH, column, MAKELPARAM(width, 0)) != 0;
  }
  HWND GetHeaderCtrl() const { return reinterpret_cast<HWND>(SendMessage(LVM_GETHEADER)); }
  int GetColumnCount() const {
    return static_cast<int>(::SendMessageA(GetHeaderCtrl(), HDM_GETITEMCOUNT, 0, 0));
  }

  DWORD GetExtendedStyle() const {
    return static_cast<DWORD>(SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE));
  }
  void SetExtendedStyle(DWORD style) { SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, style); }
  HIMAGELIST SetImageList(CImageList* images, int which) {
    return reinterpret_cast<HIMAGELIST>(
        SendMessage(LVM_SETIMAGELIST, which, reinterpret_cast<LPARAM>(images->m_hImageList)));
  }
  HIMAGELIST GetImageList(int which) const {
    return reinterpret_cast<HIMAGELIST>(SendMessage(LVM_GETIMAGELIST, which));
  }
};

class CToolTipCtrl : public CWnd {
 public:
  bool Create(CWnd* owner, DWORD style);
  // A tool identified by the window handle of `tool`, owned by `owner`.
  bool AddTool(CWnd* owner, CWnd* tool, const char* text);
  void Activate(bool activate) { SendMessage(TTM_ACTIVATE, activate); }
  void RelayEvent(MSG* msg) { SendMessage(TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(msg)); }
  int GetToolCount() const { return static_cast<int>(SendMessage(TTM_GETTOOLCOUNT)); }
  // The text of the tool of `tool`'s window, empty when it has none.
  std::string GetText(CWnd* owner, HWND tool) const;
};
