// The main window grows with its frame: the list takes the room, the buttons
// keep to the right edge. Its place, column widths and sort are kept for the
// next run.
#include "app/lumivane_dlg.h"
#include "app/window_layout.h"

void CLumivaneDlg::RestoreLayout() {
  m_layout.Add(m_hWnd, GetDlgItem(-1), kAnchorGrowX | kAnchorGrowY, m_dpi);  // the group box
  m_layout.Add(m_hWnd, m_listEntries, kAnchorGrowX | kAnchorGrowY, m_dpi);
  for (CButton* button : {&m_btnRemove, &m_btnBackup, &m_btnRefresh, &m_btnExit})
    m_layout.Add(m_hWnd, *button, kAnchorMoveX, m_dpi);

  const WindowLayout saved = ReadWindowLayout(m_listEntries.GetColumnCount());
  for (size_t column = 0; column < saved.columnWidths.size(); ++column)
    m_listEntries.SetColumnWidth(static_cast<int>(column),
                                 ScaleForDpi(saved.columnWidths[column], m_dpi));
  m_listEntries.SortBy(saved.sortColumn, saved.sortDescending);
  if (saved.hasPlacement) RestoreWindowPlacement(m_hWnd, saved.placement);
}

void CLumivaneDlg::SaveLayout() const {
  WindowLayout layout;
  layout.placement.length = sizeof layout.placement;
  layout.hasPlacement = GetWindowPlacement(m_hWnd, &layout.placement);
  // Closed while minimized: next time it opens as it was before.
  if (layout.placement.showCmd == SW_SHOWMINIMIZED)
    layout.placement.showCmd =
        (layout.placement.flags & WPF_RESTORETOMAXIMIZED) ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
  for (int column = 0; column < m_listEntries.GetColumnCount(); ++column)
    layout.columnWidths.push_back(MulDiv(m_listEntries.GetColumnWidth(column), kDefaultDpi, m_dpi));
  layout.sortColumn = m_listEntries.SortColumn();
  layout.sortDescending = m_listEntries.SortDescending();
  WriteWindowLayout(layout);  // a layout that cannot be kept is no concern of the user's
}

bool CLumivaneDlg::OnEndSession(WPARAM ending, LPARAM, LRESULT* result) {
  if (ending) SaveLayout();
  *result = 0;
  return true;
}

bool CLumivaneDlg::OnSize(WPARAM, LPARAM, LRESULT*) {
  m_layout.Arrange(m_hWnd, m_dpi);
  return false;
}

bool CLumivaneDlg::OnGetMinMaxInfo(WPARAM, LPARAM lParam, LRESULT* result) {
  m_layout.LimitTracking(reinterpret_cast<MINMAXINFO*>(lParam), m_dpi);
  *result = 0;
  return true;
}

void CLumivaneDlg::ResortForDetails() {
  if (m_listEntries.SortColumn() < kFirstDetailsColumn) return;
  // Not with every message: at most every so often, and once after the last.
  const DWORD since = GetTickCount() - m_detailsSortedAt;
  if (since < kDetailsSortInterval) {
    SetTimer(m_hWnd, kDetailsSortTimer, kDetailsSortInterval - since, OnDetailsSortTimer);
    return;
  }
  KillTimer(m_hWnd, kDetailsSortTimer);
  m_detailsSortedAt = GetTickCount();
  // The user's view stays; a row moved under the pointer or the keys waits.
  if (m_listEntries.Resort(true)) m_clickGuard.SelectedRowChanged();
}

void CALLBACK CLumivaneDlg::OnDetailsSortTimer(HWND window, UINT, UINT_PTR, DWORD) {
  KillTimer(window, kDetailsSortTimer);
  auto* dialog =
      static_cast<CLumivaneDlg*>(reinterpret_cast<CDialog*>(GetWindowLongPtrA(window, DWLP_USER)));
  if (dialog) dialog->ResortForDetails();
}

void CLumivaneDlg::OnEntryListColumnClick(NMHDR* header, LRESULT* result) {
  const int column = reinterpret_cast<NMLISTVIEW*>(header)->iSubItem;
  // A second click on the same heading turns the order round.
  const bool descending =
      column == m_listEntries.SortColumn() ? !m_listEntries.SortDescending() : false;
  m_listEntries.SortBy(column, descending);
  m_clickGuard.RowsReordered();
  *result = 0;
}
