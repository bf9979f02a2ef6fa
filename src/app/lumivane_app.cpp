#include "app/lumivane_app.h"

#include "app/lumivane_dlg.h"
#include "resource.h"

CLumivaneApp::CLumivaneApp() = default;

BOOL CLumivaneApp::InitInstance() {
  CWinApp::InitInstance();
  SetRegistryKey("Ombrelle Studios");
  m_hAccelTable =
      LoadAcceleratorsA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_MAIN_ACCELERATORS));

  CLumivaneDlg dialog;
  m_pMainWnd = &dialog;
  dialog.DoModal();
  m_pMainWnd = nullptr;
  // The dialog was the program: no message loop of our own follows.
  return FALSE;
}

BOOL CLumivaneApp::ProcessMessageFilter(int code, MSG* msg) {
  // Shortcuts are always the main window's commands, and only while it takes
  // input: with a dialog of its own open on top, it is disabled and F8 must
  // not remove an entry behind that dialog.
  if (m_hAccelTable && m_pMainWnd && m_pMainWnd->m_hWnd && IsWindowEnabled(m_pMainWnd->m_hWnd) &&
      TranslateAcceleratorA(m_pMainWnd->m_hWnd, m_hAccelTable, msg))
    return TRUE;
  return CWinApp::ProcessMessageFilter(code, msg);
}
