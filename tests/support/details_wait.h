// The main window's rows' details, waited for inside a step of its modal loop.
#pragma once

#include <gtest/gtest.h>

#include "app/lumivane_dlg.h"

// Handles the worker's messages (and nothing else) until every row has its details.
inline void WaitForDetails(CLumivaneDlg& dialog) {
  for (int tries = 0; tries < 2000 && !dialog.DetailsComplete(); ++tries) {
    MSG message;
    while (PeekMessageA(&message, dialog, WM_ENTRY_DETAILS, WM_ENTRY_DETAILS, PM_REMOVE))
      DispatchMessageA(&message);
    Sleep(5);
  }
  ASSERT_TRUE(dialog.DetailsComplete());
}
