// CWnd: a typed handle to a window. It owns nothing; the window belongs to
// whoever created it (the dialog manager for dialog controls).
#pragma once

#include <windows.h>

#include <string>

// Dots per inch at 100 %: the sizes a layout is written in.
constexpr int kDefaultDpi = 96;
inline int ScaleForDpi(int pixels, int dpi) {
  return MulDiv(pixels, dpi, kDefaultDpi);
}

class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd() = default;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND m_hWnd = nullptr;

  HWND GetSafeHwnd() const { return m_hWnd; }
  operator HWND() const { return m_hWnd; }
  bool IsWindow() const { return m_hWnd && ::IsWindow(m_hWnd); }

  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
  }
  void SetWindowText(const std::string& text) { ::SetWindowTextA(m_hWnd, text.c_str()); }
  std::string GetWindowText() const;
  HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
  void EnableWindow(bool enable) { ::EnableWindow(m_hWnd, enable); }
  HICON SetIcon(HICON icon, bool bigIcon) {
    return reinterpret_cast<HICON>(
        SendMessage(WM_SETICON, bigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
  }

  // The window's dots per inch: its monitor's where the system tells each
  // window's (Windows 10 1607 on), the screen's elsewhere.
  int GetDpi() const;

  // A message box owned by this window; goes through the prompt seam.
  int MessageBox(const std::string& text, const std::string& caption, UINT type) const;
};
