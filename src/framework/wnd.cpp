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
