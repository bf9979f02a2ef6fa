#include "framework/dialog.h"

#include "framework/win_app.h"

void DDX_Control(CDataExchange* exchange, int id, CWnd& control) {
  if (!control.m_hWnd) control.m_hWnd = exchange->m_pDlgWnd->GetDlgItem(id);
}

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}

CDialog::~CDialog() {
  if (m_hWnd && ::IsWindow(m_hWnd)) {
    // No more calls into an object that is going away.
    SetWindowLongPtrA(m_hWnd, DWLP_USER, 0);
    DestroyWindow(m_hWnd);
  }
}

INT_PTR CDialog::DoModal() {
  AfxInitCommonControls();
  HWND owner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
  CWinApp* app = AfxGetApp();
  if (!owner && app && app->m_pMainWnd && app->m_pMainWnd != this) owner = app->m_pMainWnd->m_hWnd;

  m_nModalResult = -1;
  m_bModalRunning = true;
  HWND created = CreateDialogParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate), owner,
                                    DialogProc, reinterpret_cast<LPARAM>(this));
  if (!created) {
    m_bModalRunning = false;
    return -1;
  }
  // The owner takes no input while we run; remember whether it did before.
  bool enableOwnerAfter = owner && ::IsWindowEnabled(owner);
  if (enableOwnerAfter) ::EnableWindow(owner, FALSE);
  if (m_bModalRunning && !::IsWindowVisible(m_hWnd)) ShowWindow(m_hWnd, SW_SHOWNORMAL);

  MSG msg;
  while (m_bModalRunning) {
    BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {  // WM_QUIT: leave it for the outer loop
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (got < 0) break;
    if (!PreTranslateMessage(&msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  m_bModalRunning = false;

  if (enableOwnerAfter) ::EnableWindow(owner, TRUE);
  if (owner && ::GetActiveWindow() == m_hWnd) ::SetActiveWindow(owner);
  if (m_hWnd) DestroyWindow(m_hWnd);
  m_hWnd = nullptr;
  return m_nModalResult;
}

void CDialog::EndDialog(int result) {
  m_nModalResult = result;
  m_bModalRunning = false;
  // Wake the loop in case we were called from outside its dispatch.
  if (m_hWnd) PostMessageA(m_hWnd, WM_NULL, 0, 0);
}

bool CDialog::IsOwnMessage(const MSG* msg) const {
  return m_hWnd && (msg->hwnd == m_hWnd || ::IsChild(m_hWnd, msg->hwnd));
}

BOOL CDialog::PreTranslateMessage(MSG* msg) {
  if (!IsOwnMessage(msg)) return FALSE;
  CWinApp* app = AfxGetApp();
  if (app && app->ProcessMessageFilter(MSGF_DIALOGBOX, msg)) return TRUE;
  return ::IsDialogMessageA(m_hWnd, msg);
}

BOOL CDialog::OnInitDialog() {
  UpdateData(false);
  return TRUE;
}

bool CDialog::UpdateData(bool saveAndValidate) {
  CDataExchange exchange = {this, saveAndValidate};
  DoDataExchange(&exchange);
  return true;
}

bool CDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (OnWndMsg(message, wParam, lParam, result)) return true;
  switch (message) {
    case WM_INITDIALOG:
      *result = OnInitDialog();
      return true;
    case WM_COMMAND:
      if (HIWORD(wParam) > 1) return false;  // a control's notification, not a command
      if (LOWORD(wParam) == IDOK) {
        OnOK();
        *result = 0;
        return true;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        OnCancel();
        *result = 0;
        return true;
      }
      return false;
    default:
      return false;
  }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CDialog* dialog = nullptr;
  if (message == WM_INITDIALOG) {
    dialog = reinterpret_cast<CDialog*>(lParam);
    dialog->m_hWnd = hwnd;
    SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
  } else {
    dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
  }
  if (!dialog) return FALSE;

  LRESULT result = 0;
  if (!dialog->HandleMessage(message, wParam, lParam, &result)) return FALSE;
  switch (message) {
    // These return their result directly instead of through DWLP_MSGRESULT.
    case WM_INITDIALOG:
    case WM_QUERYDRAGICON:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
      return static_cast<INT_PTR>(result);
    default:
      SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
      return TRUE;
  }
}
