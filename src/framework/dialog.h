// CDialog: a dialog built from a resource template, run modally by DoModal with
// a message loop of its own, so PreTranslateMessage and the application's
// ProcessMessageFilter see each message before the dialog manager does.
#pragma once

#include "framework/wnd.h"

class CDialog;

// Passed to DoDataExchange; we only ever bind controls, in one direction.
struct CDataExchange {
  CDialog* m_pDlgWnd;
  bool m_bSaveAndValidate;
};

// Binds the dialog's control `id` to `control`.
void DDX_Control(CDataExchange* exchange, int id, CWnd& control);

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT templateId, CWnd* parent = nullptr);
  ~CDialog() override;

  // Creates the dialog, runs it until EndDialog and destroys it. Returns the
  // value given to EndDialog, or -1 when the dialog cannot be created. Without
  // a parent the application's main window owns it (and is disabled meanwhile).
  virtual INT_PTR DoModal();
  void EndDialog(int result);
  bool IsModalLoopRunning() const { return m_bModalRunning; }
  UINT GetTemplateId() const { return m_nIDTemplate; }

  virtual BOOL PreTranslateMessage(MSG* msg);
  virtual BOOL OnInitDialog();
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  virtual void DoDataExchange(CDataExchange* exchange) {}
  bool UpdateData(bool saveAndValidate = true);

 protected:
  // The derived class's message map; false leaves the message to CDialog.
  virtual bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    return false;
  }

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
  bool IsOwnMessage(const MSG* msg) const;

  UINT m_nIDTemplate;
  CWnd* m_pParentWnd;
  bool m_bModalRunning = false;
  int m_nModalResult = -1;
};
