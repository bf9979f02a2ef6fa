#include "support/modal_script.h"

#include <gtest/gtest.h>

#include <deque>

namespace {

struct PendingScript {
  std::deque<ModalStep> steps;
  ModalStep ender;
  UINT_PTR timer = 0;
  bool releaseControl = false;
};

PendingScript script;

void SetControlKey(bool down) {
  BYTE keys[256];
  GetKeyboardState(keys);
  keys[VK_CONTROL] = keys[VK_LCONTROL] = down ? 0x80 : 0;
  SetKeyboardState(keys);
}

void CALLBACK OnScriptTick(HWND, UINT, UINT_PTR, DWORD) {
  if (script.releaseControl) {
    SetControlKey(false);
    script.releaseControl = false;
  }
  if (script.steps.empty()) {
    ModalStep ender = std::move(script.ender);
    CancelModalSteps();
    if (ender) ender();
    return;
  }
  ModalStep step = std::move(script.steps.front());
  script.steps.pop_front();
  step();
}

}  // namespace

void ScheduleModalSteps(std::vector<ModalStep> steps, ModalStep ender) {
  script.steps.assign(steps.begin(), steps.end());
  script.ender = std::move(ender);
  if (script.timer) KillTimer(nullptr, script.timer);
  script.timer = SetTimer(nullptr, 0, 1, OnScriptTick);
  ASSERT_NE(0u, script.timer);
}

void CancelModalSteps() {
  if (script.timer) KillTimer(nullptr, script.timer);
  script.timer = 0;
  script.steps.clear();
  script.ender = nullptr;
  if (script.releaseControl) SetControlKey(false);
  script.releaseControl = false;
}

INT_PTR RunModal(CDialog& dialog, std::vector<ModalStep> steps) {
  ScheduleModalSteps(std::move(steps), [&dialog] {
    if (dialog.IsModalLoopRunning()) dialog.EndDialog(-2);
  });
  INT_PTR result = dialog.DoModal();
  CancelModalSteps();
  return result;
}

void PostKey(HWND window, UINT virtualKey, bool control) {
  if (control) {
    SetControlKey(true);
    script.releaseControl = true;  // let go on the next tick
  }
  UINT scan = MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC);
  PostMessageA(window, WM_KEYDOWN, virtualKey, 1 | (scan << 16));
  PostMessageA(window, WM_KEYUP, virtualKey, 1 | (scan << 16) | 0xC0000000u);
}
