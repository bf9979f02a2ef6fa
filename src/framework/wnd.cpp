#include "framework/wnd.h"

#include "framework/prompts.h"

std::string CWnd::GetWindowText() const {
  int length = ::GetWindowTextLengthA(m_hWnd);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  int copied = ::GetWindowTextA(m_hWnd, text.data(), length + 1);
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return text;
}

int CWnd::MessageBox(const std::string& text, const std::string& caption, UINT type) const {
  return PromptMessageBox(m_hWnd, text, caption, type);
}

int CWnd::GetDpi() const {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFunction>(
      GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow"));
  if (getDpiForWindow) {
    const UINT dpi = getDpiForWindow(m_hWnd);
    if (dpi != 0) return static_cast<int>(dpi);
  }
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : kDefaultDpi;
}
