// A list like the main window's, without the main window: an owner-data list
// in a hidden window of its own, which passes the list's requests for rows on
// to it as the main window does.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "app/entry_list.h"
#include "framework/win_app.h"

class EntryListWindow {
 public:
  EntryListWindow() {
    AfxInitCommonControls();
    WNDCLASSA host = {};
    host.lpfnWndProc = HostProc;
    host.hInstance = GetModuleHandleA(nullptr);
    host.lpszClassName = "LumivaneEntryListHost";
    RegisterClassA(&host);  // fails harmlessly once registered
    host_ = CreateWindowExA(0, host.lpszClassName, "", WS_POPUP, 0, 0, 640, 440, nullptr, nullptr,
                            host.hInstance, nullptr);
    SetWindowLongPtrA(host_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    list.m_hWnd = CreateWindowExA(
        0, WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL | LVS_OWNERDATA, 0,
        0, 600, 400, host_, nullptr, host.hInstance, nullptr);
    InsertEntryColumns(list);
  }
  ~EntryListWindow() { DestroyWindow(host_); }
  EntryListWindow(const EntryListWindow&) = delete;
  EntryListWindow& operator=(const EntryListWindow&) = delete;

  CEntryList list;

 private:
  static LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<EntryListWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_NOTIFY && self) {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      if (header->code == LVN_GETDISPINFOA) {
        self->list.OnGetDispInfo(reinterpret_cast<NMLVDISPINFOA*>(header));
        return 0;
      }
      if (header->code == LVN_ODFINDITEMA || header->code == LVN_ODFINDITEMW)
        return self->list.OnFindItem(header);
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }

  HWND host_ = nullptr;
};
