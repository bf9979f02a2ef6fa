#include "framework/prompts.h"

namespace {

PromptHandler* currentHandler = nullptr;

}  // namespace

PromptHandler* SetPromptHandler(PromptHandler* handler) {
  PromptHandler* previous = currentHandler;
  currentHandler = handler;
  return previous;
}

int PromptMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
  if (currentHandler) return currentHandler->ShowMessageBox(owner, text, caption, type);
  return ::MessageBoxA(owner, text.c_str(), caption.c_str(), type);
}
