// CFileDialog: the system's file dialog, run through the prompt seam. Filters
// are written the framework's way, "Text Files (*.txt)|*.txt|All Files|*.*|".
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <string>
#include <vector>

#include "framework/wnd.h"

class CFileDialog {
 public:
  // `openFileDialog` false gives the save form. The proposed name is kept
  // whole: the buffer has room for it and for the longest path chosen.
  explicit CFileDialog(BOOL openFileDialog, const char* defaultExtension = nullptr,
                       const char* fileName = nullptr,
                       DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                       const char* filter = nullptr, CWnd* parent = nullptr);
  virtual ~CFileDialog() = default;
  CFileDialog(const CFileDialog&) = delete;
  CFileDialog& operator=(const CFileDialog&) = delete;

  // IDOK with the chosen file, IDCANCEL when the user cancelled, -1 when
  // the dialog failed (CommDlgExtendedError tells why). Without a parent the
  // application's main window owns it.
  virtual INT_PTR DoModal();
  // The chosen file's full path.
  std::string GetPathName() const { return m_fileName.data(); }

  OPENFILENAMEA m_ofn;

 private:
  bool m_bOpenFileDialog;
  std::string m_strDefExt;
  std::string m_strFilter;  // NUL-separated, ending in two NULs
  std::vector<char> m_fileName;
  CWnd* m_pParentWnd;
};
