// Answers the program's message boxes from a script and records each one,
// for the life of the object.
#pragma once

#include <deque>
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

 private:
  PromptHandler* previous_;
};
