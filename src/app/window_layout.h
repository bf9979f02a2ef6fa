// What the main window keeps of its look between runs, per user, in the
// program's own key: where it stood (and whether maximized), its column
// widths and its sort.
#pragma once

#include <windows.h>

#include <vector>

struct WindowLayout {
  bool hasPlacement = false;
  WINDOWPLACEMENT placement = {};
  std::vector<int>
      columnWidths;     // at 96 DPI, from the first column on; may be fewer than the list's
  int sortColumn = -1;  // -1: the order of the scan
  bool sortDescending = false;
};

// The layout stored under HKEY_CURRENT_USER for a list of `columnCount`
// columns. A value that is missing, of another type or size, or out of range
// leaves its part at the default.
WindowLayout ReadWindowLayout(int columnCount);
// Stores every part of the layout; false when the key cannot be written.
bool WriteWindowLayout(const WindowLayout& layout);

// Puts the window where `placement` says; a place on a monitor that is gone
// moves to the primary one, and a minimized window opens as it was before.
void RestoreWindowPlacement(HWND window, WINDOWPLACEMENT placement);
