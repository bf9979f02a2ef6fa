// Answers the program's message boxes and file dialogs from a script and
// records each one, for the life of the object.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "framework/prompts.h"

class ScriptedPrompts : public PromptHandler {
 public:
  struct MessageBoxCall {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
  };
  struct FileDialogCall {
    bool save;
    HWND owner;
    DWORD structSize;
    std::string fileName;  // the proposed name, as the dialog finds it in its buffer
    DWORD maxFile;
    bool hasDefaultExtension;
    std::string defaultExtension;
    DWORD flags;
    bool hasFilter;
    std::string filter;  // up to and with the two NULs that end it
  };

  ScriptedPrompts() : previous_(SetPromptHandler(this)) {}
  ~ScriptedPrompts() override { SetPromptHandler(previous_); }

  // Answers given in order; with none left a box is answered IDOK.
  std::deque<int> answers;
  std::vector<MessageBoxCall> messageBoxes;

  int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption,
                     UINT type) override {
    messageBoxes.push_back({owner, text, caption, type});
    if (answers.empty()) return IDOK;
    int answer = answers.front();
    answers.pop_front();
    return answer;
  }

  // Chosen full paths in order; std::nullopt cancels, and so does an empty script.
  std::deque<std::optional<std::string>> chosenFiles;
  std::vector<FileDialogCall> fileDialogs;

  BOOL ShowFileDialog(bool save, OPENFILENAMEA& dialog) override {
    FileDialogCall call = {};
    call.save = save;
    call.owner = dialog.hwndOwner;
    call.structSize = dialog.lStructSize;
    call.maxFile = dialog.nMaxFile;
    call.hasDefaultExtension = dialog.lpstrDefExt != nullptr;
    call.flags = dialog.Flags;
    call.hasFilter = dialog.lpstrFilter != nullptr;
    if (dialog.lpstrFile) call.fileName = dialog.lpstrFile;
    if (dialog.lpstrDefExt) call.defaultExtension = dialog.lpstrDefExt;
    if (dialog.lpstrFilter) {
      const char* end = dialog.lpstrFilter;
      while (end[0] || end[1]) ++end;
      call.filter.assign(dialog.lpstrFilter, end + 2);
    }
    fileDialogs.push_back(call);
    if (chosenFiles.empty()) return FALSE;
    std::optional<std::string> chosen = chosenFiles.front();
    chosenFiles.pop_front();
    // A path longer than the buffer fails like the real dialog's.
    if (!chosen || !dialog.lpstrFile || chosen->size() >= dialog.nMaxFile) return FALSE;
    chosen->copy(dialog.lpstrFile, chosen->size());
    dialog.lpstrFile[chosen->size()] = '\0';
    return TRUE;
  }

  // Each shortcut menu's texts, a greyed item's ending in " (grey)"; none is chosen.
  std::vector<std::vector<std::string>> menus;

  UINT ShowPopupMenu(HWND, HMENU menu, POINT) override {
    menus.emplace_back();
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
      char text[128] = "";
      GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
      const bool grey = GetMenuState(menu, i, MF_BYPOSITION) & MF_GRAYED;
      menus.back().push_back(std::string(text) + (grey ? " (grey)" : ""));
    }
    return 0;
  }

 private:
  PromptHandler* previous_;
};
