// The application object: runs the main window once and applies the keyboard
// shortcuts to it while it runs.
#pragma once

#include "framework/win_app.h"

class CLumivaneApp : public CWinApp {
 public:
  CLumivaneApp();
  BOOL InitInstance() override;
  BOOL ProcessMessageFilter(int code, MSG* msg) override;

  HACCEL m_hAccelTable = nullptr;  // null when the table cannot be loaded
};
