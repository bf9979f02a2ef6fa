#include "framework/prompts.h"

#include <shellapi.h>

namespace {

PromptHandler* currentHandler = nullptr;
int openPrompts = 0;

// Counts a prompt as open for its lifetime.
struct OpenPrompt {
  OpenPrompt() { ++openPrompts; }
  ~OpenPrompt() { --openPrompts; }
};

INT_PTR SystemShellOpen(HWND owner, const char* verb, const char* file, const char* parameters,
                        const char* directory, int showCommand) {
  return reinterpret_cast<INT_PTR>(
      ::ShellExecuteA(owner, verb, file, parameters, directory, showCommand));
}

BOOL SystemFileDialog(bool save, OPENFILENAMEA& dialog) {
  return save ? ::GetSaveFileNameA(&dialog) : ::GetOpenFileNameA(&dialog);
}

UINT SystemPopupMenu(HWND owner, HMENU menu, POINT at) {
  return static_cast<UINT>(
      TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, owner, nullptr));
}

}  // namespace

INT_PTR PromptHandler::ShellOpen(HWND owner, const char* verb, const char* file,
                                 const char* parameters, const char* directory, int showCommand) {
  return SystemShellOpen(owner, verb, file, parameters, directory, showCommand);
}

BOOL PromptHandler::ShowFileDialog(bool save, OPENFILENAMEA& dialog) {
  return SystemFileDialog(save, dialog);
}

UINT PromptHandler::ShowPopupMenu(HWND owner, HMENU menu, POINT at) {
  return SystemPopupMenu(owner, menu, at);
}

PromptHandler* SetPromptHandler(PromptHandler* handler) {
  PromptHandler* previous = currentHandler;
  currentHandler = handler;
  return previous;
}

bool PromptIsOpen() {
  return openPrompts > 0;
}

int PromptMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
  OpenPrompt open;
  if (currentHandler) return currentHandler->ShowMessageBox(owner, text, caption, type);
  return ::MessageBoxA(owner, text.c_str(), caption.c_str(), type);
}

INT_PTR PromptShellOpen(HWND owner, const char* verb, const char* file, const char* parameters,
                        const char* directory, int showCommand) {
  if (currentHandler)
    return currentHandler->ShellOpen(owner, verb, file, parameters, directory, showCommand);
  return SystemShellOpen(owner, verb, file, parameters, directory, showCommand);
}

BOOL PromptFileDialog(bool save, OPENFILENAMEA& dialog) {
  OpenPrompt open;
  if (currentHandler) return currentHandler->ShowFileDialog(save, dialog);
  return SystemFileDialog(save, dialog);
}

UINT PromptPopupMenu(HWND owner, HMENU menu, POINT at) {
  if (currentHandler) return currentHandler->ShowPopupMenu(owner, menu, at);
  return SystemPopupMenu(owner, menu, at);
}
