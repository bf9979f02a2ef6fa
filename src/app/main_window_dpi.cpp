// The main window at any DPI: the column widths and pictures are written for
// 96 dots per inch and scaled to the window's, also when it moves to a
// monitor of another DPI.
#include "app/lumivane_dlg.h"
#include "framework/win_app.h"
#include "resource.h"
#include "scan/row_sink.h"

namespace {

HICON LoadIconResource(int id, int size) {
  return static_cast<HICON>(LoadImageA(AfxGetResourceHandle(), MAKEINTRESOURCEA(id), IMAGE_ICON,
                                       size, size, LR_DEFAULTCOLOR));
}

// Gives the button its picture and frees the one it replaces.
void SetButtonIcon(CButton& button, int id, int size) {
  if (HICON previous = button.SetIcon(LoadIconResource(id, size))) DestroyIcon(previous);
}

// The image list copies the picture.
void AppendIcon(CImageList& images, int id, int size) {
  HICON icon = LoadIconResource(id, size);
  images.Replace(-1, icon);
  if (icon) DestroyIcon(icon);
}

}  // namespace

void CLumivaneDlg::LoadPictures() {
  const int buttonSize = ScaleForDpi(32, m_dpi);
  SetButtonIcon(m_btnRemove, IDI_REMOVE, buttonSize);
  SetButtonIcon(m_btnBackup, IDI_BACKUP, buttonSize);
  SetButtonIcon(m_btnRefresh, IDI_REFRESH, buttonSize);
  SetButtonIcon(m_btnExit, IDI_EXIT, buttonSize);

  // 32-bit colour: the list pictures carry an alpha channel, which a list of
  // 4-bit colour (what ILC_MASK alone gives) would band.
  const int entrySize = ScaleForDpi(16, m_dpi);
  CImageList images;
  images.Create(entrySize, entrySize, ILC_COLOR32 | ILC_MASK, 3 * kEntryPictureCount, 4);
  // In the order of EntryImage.
  for (int id : {IDI_REGISTRY_ENTRY, IDI_FOLDER_ENTRY, IDI_APP_TASK_ENTRY, IDI_LOGON_ENTRY,
                 IDI_TASK_ENTRY})
    AppendIcon(images, id, entrySize);
  // Then their greyed copies, for disabled entries.
  for (int image = 0; image < kEntryPictureCount; ++image) images.AppendGreyed(image);
  // Then all of them crossed out, for entries whose program is gone.
  for (int image = 0; image < kMissingProgramImageOffset; ++image) images.AppendCrossed(image);
  m_listEntries.SetImageList(&images, LVSIL_SMALL);
  m_entryImages.Destroy();  // the list no longer uses it
  m_entryImages.m_hImageList = images.m_hImageList;
}

bool CLumivaneDlg::OnDpiChanged(WPARAM wParam, LPARAM lParam, LRESULT* result) {
  const int dpi = LOWORD(wParam);
  // From the current widths, so that a column the user widened stays wider.
  for (int column = 0; column < m_listEntries.GetColumnCount(); ++column)
    m_listEntries.SetColumnWidth(column, MulDiv(m_listEntries.GetColumnWidth(column), dpi, m_dpi));
  m_dpi = dpi;
  LoadPictures();
  // Where the system suggests, so the window keeps its place on the new monitor.
  if (const RECT* suggested = reinterpret_cast<const RECT*>(lParam)) {
    SetWindowPos(m_hWnd, nullptr, suggested->left, suggested->top,
                 suggested->right - suggested->left, suggested->bottom - suggested->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  m_layout.Arrange(m_hWnd, m_dpi);  // also when the size stayed the same
  *result = 0;
  return true;
}
