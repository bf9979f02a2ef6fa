#include "framework/wnd.h"

#include "framework/prompts.h"

// The length asked first may be short of the text by then: the buffer grows
// until the text comes back with room to spare.
std::string CWnd::GetWindowText() const {
  std::string text(static_cast<size_t>(::GetWindowTextLengthA(m_hWnd)) + 8, '\0');
  for (;;) {
    const int copied = ::GetWindowTextA(m_hWnd, text.data(), static_cast<int>(text.size()));
    if (copied + 4 < static_cast<int>(text.size())) {
      text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
      return text;
    }
    text.resize(text.size() * 2);
  }
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
