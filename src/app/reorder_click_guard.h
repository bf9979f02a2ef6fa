// A double click is two clicks on one spot; when the rows move between them
// (a sort, a refresh nobody asked for), the second lands on another row. So
// for the double-click time after rows were reordered, double clicks on the
// list do nothing. A key or button pressed just after a refresh nobody asked
// for changed the selected row was meant for the row as it stood before: for
// a second (or the double-click time, if longer) the row's actions do nothing.
#pragma once

#include <windows.h>

class ReorderClickGuard {
 public:
  // The rows just moved.
  void RowsReordered() {
    m_reorderedAt = GetTickCount();
    m_armed = true;
  }
  // The selected row just moved or changed under the user: the double clicks
  // and the row's actions wait.
  void SelectedRowChanged() {
    RowsReordered();
    m_changedAt = m_reorderedAt;
    m_actionsArmed = true;
  }
  // False for a double click that comes within the double-click time of the
  // last reordering.
  bool AllowsDoubleClick() const {
    return !m_armed || GetTickCount() - m_reorderedAt > GetDoubleClickTime();
  }
  // False for an action on the selected row (a key, a button, a menu item)
  // within a second, or the double-click time if longer, of the last change.
  bool AllowsRowAction() const {
    const DWORD wait = GetDoubleClickTime() > kActionWait ? GetDoubleClickTime() : kActionWait;
    return !m_actionsArmed || GetTickCount() - m_changedAt > wait;
  }

 private:
  static constexpr DWORD kActionWait = 1000;
  DWORD m_reorderedAt = 0;
  DWORD m_changedAt = 0;
  bool m_armed = false;
  bool m_actionsArmed = false;
};
