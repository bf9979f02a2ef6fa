// A double click is two clicks on one spot; when the rows move between them
// (a sort, a refresh nobody asked for), the second lands on another row. So
// for the double-click time after rows were reordered, double clicks on the
// list do nothing.
#pragma once

#include <windows.h>

class ReorderClickGuard {
 public:
  // The rows just moved.
  void RowsReordered() {
    m_reorderedAt = GetTickCount();
    m_armed = true;
  }
  // False for a double click that comes within the double-click time of the
  // last reordering.
  bool AllowsDoubleClick() const {
    return !m_armed || GetTickCount() - m_reorderedAt > GetDoubleClickTime();
  }

 private:
  DWORD m_reorderedAt = 0;
  bool m_armed = false;
};
