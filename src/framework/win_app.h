// The application object: one global instance derived from CWinApp runs the
// program. Its InitInstance usually runs the main dialog modally and returns
// FALSE, which ends the program.
#pragma once

#include <windows.h>

#include <string>

class CWnd;

class CWinApp {
 public:
  // The name defaults to the executable's file name without its extension.
  explicit CWinApp(const char* appName = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  virtual BOOL InitInstance() { return TRUE; }
  // Called by the modal loops of our dialogs for messages that go to the
  // dialog or its controls (code MSGF_DIALOGBOX); TRUE means consumed.
  virtual BOOL ProcessMessageFilter(int code, MSG* msg) { return FALSE; }
  // The message loop for programs whose InitInstance returned TRUE.
  virtual int Run();

  // Records the company under whose key the program's settings would live:
  // "Software\<company>\<application name>".
  void SetRegistryKey(const char* company);
  const std::string& GetRegistryKey() const { return m_strRegistryKey; }
  const std::string& GetAppName() const { return m_strAppName; }

  HINSTANCE m_hInstance = nullptr;
  CWnd* m_pMainWnd = nullptr;

 private:
  std::string m_strAppName;
  std::string m_strRegistryKey;
};

// The one application object, or null before it was constructed.
CWinApp* AfxGetApp();

// Module whose resources the dialogs, menus, icons and tables come from.
HINSTANCE AfxGetResourceHandle();

// Registers the window classes of the common controls that our dialogs use.
void AfxInitCommonControls();

// The program's entry: runs the global application object.
int AfxWinMain(HINSTANCE instance);
