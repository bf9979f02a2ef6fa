// Keeps a resizable dialog's controls in place as it grows: each control keeps
// its distance to the edges it is anchored to, and grows or moves with the
// others. The layout as the template made it is the smallest the window gets.
#pragma once

#include <windows.h>

#include <vector>

enum Anchor : unsigned {
  kAnchorMoveX = 1,  // keeps its distance to the right edge
  kAnchorMoveY = 2,  // keeps its distance to the bottom edge
  kAnchorGrowX = 4,  // keeps both its distances to the left and the right edge
  kAnchorGrowY = 8,  // keeps both its distances to the top and the bottom edge
};

// Where a control goes: its rectangle at the smallest size, `grown` pixels
// wider and higher.
RECT AnchoredRect(const RECT& smallest, unsigned anchors, SIZE grown);

class CAnchoredLayout {
 public:
  // Takes the dialog's client size and the control's place as they are now,
  // at `dpi`, as the smallest layout. Call before the window is resized.
  void Add(HWND dialog, HWND control, unsigned anchors, int dpi);
  // Places every control for the dialog's client size at `dpi`.
  void Arrange(HWND dialog, int dpi) const;
  // The smallest window size at `dpi`, for WM_GETMINMAXINFO.
  void LimitTracking(MINMAXINFO* info, int dpi) const;

 private:
  struct Item {
    HWND control;
    unsigned anchors;
    RECT smallest;  // in client pixels at m_dpi
  };
  std::vector<Item> m_items;
  SIZE m_client = {};  // the smallest client size at m_dpi
  SIZE m_window = {};  // the smallest window size at m_dpi
  int m_dpi = 0;
};
