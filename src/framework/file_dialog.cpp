#include "framework/file_dialog.h"

#include <algorithm>
#include <cstring>

#include "framework/prompts.h"
#include "framework/win_app.h"
#include "util/string_utils.h"

namespace {

// "A|*.a|B|*.b|" becomes "A\0*.a\0B\0*.b\0" and a second NUL after it. A '|'
// that is the trail byte of a double-byte character stays.
std::string NulSeparatedFilter(const char* filter) {
  const std::string text = filter;
  std::string separated;
  for (size_t at = 0, next; at < text.size(); at = next) {
    next = NextCharOffset(text, at);
    if (text[at] == '|' && next == at + 1)
      separated += '\0';
    else
      separated.append(text, at, next - at);
  }
  if (separated.empty() || separated.back() != '\0') separated += '\0';
  separated += '\0';
  return separated;
}

}  // namespace

CFileDialog::CFileDialog(BOOL openFileDialog, const char* defaultExtension, const char* fileName,
                         DWORD flags, const char* filter, CWnd* parent)
    : m_ofn(), m_bOpenFileDialog(openFileDialog != FALSE), m_pParentWnd(parent) {
  m_ofn.lStructSize = sizeof m_ofn;
  m_ofn.hInstance = AfxGetResourceHandle();
  m_ofn.Flags = flags;
  // The longest path the wide functions take, in UTF-8, or the proposed name.
  const size_t proposed = fileName ? std::strlen(fileName) : 0;
  m_fileName.assign(std::max<size_t>(proposed + 1, 32768 * 3), '\0');
  if (fileName) std::memcpy(m_fileName.data(), fileName, proposed);
  m_ofn.lpstrFile = m_fileName.data();
  m_ofn.nMaxFile = static_cast<DWORD>(m_fileName.size());
  if (defaultExtension) {
    m_strDefExt = defaultExtension;
    m_ofn.lpstrDefExt = m_strDefExt.c_str();
  }
  if (filter && *filter) {
    m_strFilter = NulSeparatedFilter(filter);
    m_ofn.lpstrFilter = m_strFilter.c_str();
  }
}

INT_PTR CFileDialog::DoModal() {
  CWinApp* app = AfxGetApp();
  if (m_pParentWnd)
    m_ofn.hwndOwner = m_pParentWnd->m_hWnd;
  else if (app && app->m_pMainWnd)
    m_ofn.hwndOwner = app->m_pMainWnd->m_hWnd;
  else
    m_ofn.hwndOwner = nullptr;
  if (PromptFileDialog(!m_bOpenFileDialog, m_ofn)) return IDOK;
  return CommDlgExtendedError() ? -1 : IDCANCEL;
}
