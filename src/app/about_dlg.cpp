#include "app/about_dlg.h"

#include "resource.h"

CAboutDlg::CAboutDlg(CWnd* parent) : CDialog(IDD_ABOUTBOX, parent) {}

// Nothing to bind: the picture comes from the template and the button is the
// dialog's own OK.
void CAboutDlg::DoDataExchange(CDataExchange* exchange) {
  CDialog::DoDataExchange(exchange);
}

BOOL CAboutDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  return TRUE;
}
