// The questions of a backup answered without a window: the save dialog with
// one chosen path, every warning with one answer; both are recorded, and so
// are the errors (among the warnings).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "actions/entry_actions.h"

class ChosenPathPrompts : public BackupPrompts {
 public:
  explicit ChosenPathPrompts(std::string path, int answer = IDYES)
      : path_(std::move(path)), answer_(answer) {}
  int dialogs = 0;
  std::vector<std::string> warnings;

  bool ChooseTarget(const SaveFileRequest&, std::string& path) override {
    ++dialogs;
    path = path_;
    return true;
  }
  int Warn(const std::string& text, UINT) override {
    warnings.push_back(text);
    return answer_;
  }
  void Fail(const std::string& text) override { warnings.push_back(text); }

 private:
  std::string path_;
  int answer_;
};
