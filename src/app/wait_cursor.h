// Shows the wait cursor for the life of the object, then puts back the cursor
// that was there before.
#pragma once

#include <windows.h>

class WaitCursor {
 public:
  WaitCursor() : previous_(GetCursor()) { SetCursor(LoadCursorA(nullptr, IDC_WAIT)); }
  ~WaitCursor() { SetCursor(previous_); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  HCURSOR previous_;
};
