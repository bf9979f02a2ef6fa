// The one seam through which the program asks the user something: message
// boxes (and the save dialog, and shortcut menus), and hands a document to the shell. The program
// uses the real system calls; a test installs its own handler to answer from a
// script and record the calls.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <string>

class PromptHandler {
 public:
  virtual ~PromptHandler() = default;
  virtual int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption,
                             UINT type) = 0;
  // Default: the real ShellExecuteA, so a handler that only scripts message
  // boxes leaves the shell alone.
  virtual INT_PTR ShellOpen(HWND owner, const char* verb, const char* file, const char* parameters,
                            const char* directory, int showCommand);
  // The file dialog, save or open form, on a filled-in structure; returns what
  // GetSaveFileNameA or GetOpenFileNameA would. Default: the real dialog.
  virtual BOOL ShowFileDialog(bool save, OPENFILENAMEA& dialog);
  // A shortcut menu at screen point `at`; returns the chosen command, or 0.
  // Default: the real menu.
  virtual UINT ShowPopupMenu(HWND owner, HMENU menu, POINT at);
};

// Installs a handler (nullptr restores the system's dialogs); returns the previous one.
PromptHandler* SetPromptHandler(PromptHandler* handler);

// True while a message box or file dialog asked through the seam is open.
bool PromptIsOpen();

int PromptMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type);

// ShellExecuteA through the seam; returns its HINSTANCE as an integer: above 32
// when the shell took the document, an error code of 32 or less otherwise.
INT_PTR PromptShellOpen(HWND owner, const char* verb, const char* file, const char* parameters,
                        const char* directory, int showCommand);

// GetSaveFileNameA (save) or GetOpenFileNameA through the seam.
BOOL PromptFileDialog(bool save, OPENFILENAMEA& dialog);

// TrackPopupMenu through the seam: the chosen command, or 0.
UINT PromptPopupMenu(HWND owner, HMENU menu, POINT at);
