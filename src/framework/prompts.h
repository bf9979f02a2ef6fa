// The one seam through which the program asks the user something: message
// boxes (and the save dialog). The program uses the real system dialogs; a
// test installs its own handler to answer from a script and record the calls.
#pragma once

#include <windows.h>

#include <string>

class PromptHandler {
 public:
  virtual ~PromptHandler() = default;
  virtual int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption,
                             UINT type) = 0;
};

// Installs a handler (nullptr restores the system's dialogs); returns the previous one.
PromptHandler* SetPromptHandler(PromptHandler* handler);

int PromptMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type);
