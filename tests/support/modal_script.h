// Drives a modal dialog from inside its own message loop: each step runs on a
// timer tick, so messages posted by one step are handled before the next.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "framework/dialog.h"
#include "framework/win_app.h"

using ModalStep = std::function<void()>;

// Queues `steps` to run once the next modal loop of this thread is idle. When
// they are done and the loop still runs, `ender` is called to end it.
void ScheduleModalSteps(std::vector<ModalStep> steps, ModalStep ender);
// Drops what is left of the script, once its loop has ended.
void CancelModalSteps();

// Runs `dialog` modally with `steps`; returns what DoModal returned, or -2
// when the dialog was still open after the last step.
INT_PTR RunModal(CDialog& dialog, std::vector<ModalStep> steps);

// Runs a new `Dialog` as the application's main window with `steps`; it
// stays in `dialog` for the steps and the checks after them.
template <class Dialog>
void RunNewMainWindow(CWinApp& app, std::unique_ptr<Dialog>& dialog, std::vector<ModalStep> steps) {
  dialog = std::make_unique<Dialog>();
  app.m_pMainWnd = dialog.get();
  RunModal(*dialog, std::move(steps));
  app.m_pMainWnd = nullptr;
}

// Posts a key press (down and up) to `window`; `control` holds Ctrl down for
// shortcuts such as Ctrl+Q while the message is translated.
void PostKey(HWND window, UINT virtualKey, bool control = false);
