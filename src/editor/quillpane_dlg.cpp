#include "editor/quillpane_dlg.h"

#include "editor/line_file.h"
#include "framework/file_dialog.h"
#include "framework/message_map.h"
#include "resource.h"
#include "util/file_utils.h"

namespace {

constexpr int kLineColumnWidth = 499;

}  // namespace

CQuillpane::CQuillpane(const std::string& path, CWnd* parent)
    : CDialog(IDD_QUILLPANE, parent), m_strPath(path) {}

CQuillpane::CQuillpane(const std::string& path, std::vector<std::string> lines, CWnd* parent)
    : CDialog(IDD_QUILLPANE, parent), m_strPath(path), m_givenLines(std::move(lines)) {}

bool CQuillpane::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  using D = CQuillpane;
  static const MessageMap<D> map = {
      OnNotify(IDC_LINES, NM_DBLCLK, &D::OnLinesDblClk),
      OnNotify(IDC_LINES, LVN_ITEMCHANGED, &D::OnLinesItemChanged),
      OnCommand(IDC_ADD_LINE, &D::OnAddLine),
      OnCommand(IDC_SWAP_LINE, &D::OnSwapLine),
      OnCommand(IDC_MOVE_LINE_UP, &D::OnMoveLineUp),
      OnCommand(IDC_MOVE_LINE_DOWN, &D::OnMoveLineDown),
      OnCommand(IDC_REMOVE_LINE, &D::OnRemoveLine),
      OnCommand(IDC_SAVE_FILE, &D::OnSaveFile),
      OnCommand(IDC_SAVE_FILE_AS, &D::OnSaveFileAs),
      OnCommand(IDC_EXIT_EDITOR, &D::OnExitEditor),
      OnMessage(WM_SIZE, &D::OnSize),
      OnMessage(WM_GETMINMAXINFO, &D::OnGetMinMaxInfo),
  };
  return map.Dispatch(*this, message, wParam, lParam, result);
}

void CQuillpane::DoDataExchange(CDataExchange* exchange) {
  CDialog::DoDataExchange(exchange);
  DDX_Control(exchange, IDC_LINES, m_listLines);
  DDX_Control(exchange, IDC_LINE_TEXT, m_editLine);
}

BOOL CQuillpane::OnInitDialog() {
  CDialog::OnInitDialog();
  SetWindowText("Quillpane v1.0.0 - [" + m_strPath + "]");
  m_listLines.SetExtendedStyle(m_listLines.GetExtendedStyle() | LVS_EX_GRIDLINES |
                               LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
  m_listLines.InsertColumn(0, "", LVCFMT_LEFT, kLineColumnWidth);

  // The buttons below the edit box's right end keep to it as it grows.
  const int dpi = GetDpi();
  const struct {
    int id;
    unsigned anchors;
  } anchored[] = {
      {-1, kAnchorGrowX | kAnchorGrowY},  // the group box
      {IDC_LINES, kAnchorGrowX | kAnchorGrowY},
      {IDC_LINE_TEXT, kAnchorGrowX | kAnchorMoveY},
      {IDC_ADD_LINE, kAnchorMoveX | kAnchorMoveY},
      {IDC_SWAP_LINE, kAnchorMoveX | kAnchorMoveY},
      {IDC_MOVE_LINE_UP, kAnchorMoveY},
      {IDC_MOVE_LINE_DOWN, kAnchorMoveY},
      {IDC_REMOVE_LINE, kAnchorMoveY},
      {IDC_SAVE_FILE, kAnchorMoveY},
      {IDC_SAVE_FILE_AS, kAnchorMoveX | kAnchorMoveY},
      {IDC_EXIT_EDITOR, kAnchorMoveX | kAnchorMoveY},
  };
  for (const auto& control : anchored)
    m_layout.Add(m_hWnd, GetDlgItem(control.id), control.anchors, dpi);

  // A file that cannot be read is edited as an empty one.
  if (m_givenLines) {
    m_readLines.swap(*m_givenLines);
  } else {
    FileSystemRedirectionOff realSystemFolder;
    ReadLineFile(m_strPath, m_readLines);
  }
  m_listLines.SendMessage(WM_SETREDRAW, FALSE);
  for (size_t i = 0; i < m_readLines.size(); ++i)
    AppendLine(Shown(m_readLines[i]), static_cast<LPARAM>(i + 1));
  m_listLines.SendMessage(WM_SETREDRAW, TRUE);
  return TRUE;
}

bool CQuillpane::OnSize(WPARAM, LPARAM, LRESULT*) {
  if (!m_listLines.m_hWnd) return false;  // not yet made
  m_layout.Arrange(m_hWnd, GetDpi());
  // Long lines use the room a wider window gives them.
  RECT lines;
  GetClientRect(m_listLines, &lines);
  m_listLines.SetColumnWidth(0, lines.right > kLineColumnWidth ? lines.right : kLineColumnWidth);
  return false;
}

bool CQuillpane::OnGetMinMaxInfo(WPARAM, LPARAM lParam, LRESULT* result) {
  m_layout.LimitTracking(reinterpret_cast<MINMAXINFO*>(lParam), GetDpi());
  *result = 0;
  return true;
}

int CQuillpane::SelectedLine() const {
  return m_listLines.GetNextItem(-1, LVNI_SELECTED);
}

std::string CQuillpane::Shown(const std::string& bytes) const {
  std::string text;
  ConvertText(bytes, m_codePage, CP_ACP, text);
  return text;
}

bool CQuillpane::LinesToSave(std::vector<std::string>& lines) {
  lines.clear();
  for (int i = 0; i < m_listLines.GetItemCount(); ++i) {
    const std::string text = m_listLines.GetItemText(i, 0);
    const LPARAM origin = LineOrigin(i);
    // Untouched, even where the bytes are not valid in the code page.
    if (origin > 0 && text == Shown(m_readLines[origin - 1])) {
      lines.push_back(m_readLines[origin - 1]);
      continue;
    }
    std::string bytes;
    if (!ConvertText(text, CP_ACP, m_codePage, bytes)) {
      // No "?" in a boot file: the user sees which line to change.
      m_listLines.SetItemState(i, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
      m_listLines.EnsureVisible(i);
      SayUnableToSave();
      return false;
    }
    lines.push_back(std::move(bytes));
  }
  return true;
}

void CQuillpane::AppendLine(const std::string& text, LPARAM origin) {
  LVITEMA item = {};
  item.mask = LVIF_TEXT | LVIF_PARAM;
  item.iItem = m_listLines.GetItemCount();
  item.pszText = const_cast<char*>(text.c_str());
  item.lParam = origin;
  m_listLines.InsertItem(&item);
}

LPARAM CQuillpane::LineOrigin(int line) const {
  LVITEMA item = {};
  item.mask = LVIF_PARAM;
  item.iItem = line;
  return m_listLines.GetItem(&item) ? item.lParam : 0;
}

void CQuillpane::SetLineOrigin(int line, LPARAM origin) {
  LVITEMA item = {};
  item.mask = LVIF_PARAM;
  item.iItem = line;
  item.lParam = origin;
  m_listLines.SetItem(&item);
}

void CQuillpane::SetLineText(int line, const std::string& text) {
  // No fixed-size buffer on the way: a line cut here would be cut in the file
  // at the next Save.
  m_listLines.SetItemText(line, 0, text.c_str());
}

void CQuillpane::OnLinesItemChanged(NMHDR*, LRESULT* result) {
  *result = 0;
  if (m_listLines.GetItemCount() == 0) return;
  const int selected = SelectedLine();
  m_editLine.SetWindowText(selected < 0 ? std::string() : m_listLines.GetItemText(selected, 0));
}

void CQuillpane::OnAddLine() {
  AppendLine(m_editLine.GetWindowText());
}

void CQuillpane::OnSwapLine() {
  if (m_listLines.GetItemCount() == 0) return;
  const std::string text = m_editLine.GetWindowText();
  const int selected = SelectedLine();
  if (selected >= 0) SetLineText(selected, text);
}

void CQuillpane::MoveLine(int line, int other, UINT arrowKey) {
  const std::string moved = m_listLines.GetItemText(line, 0);
  const std::string displaced = m_listLines.GetItemText(other, 0);
  const LPARAM movedOrigin = LineOrigin(line);
  SetLineText(other, moved);
  SetLineText(line, displaced);
  SetLineOrigin(line, LineOrigin(other));
  SetLineOrigin(other, movedOrigin);
  ::SetFocus(m_listLines);
  // The arrow keys move from the focused item, which is the selected one after
  // any click; make sure of it for a selection made some other way.
  m_listLines.SetItemState(line, LVIS_FOCUSED, LVIS_FOCUSED);
  m_listLines.SendMessage(WM_KEYDOWN, arrowKey, 0);
  m_listLines.SendMessage(WM_KEYUP, arrowKey, 0);
}

void CQuillpane::OnMoveLineUp() {
  if (m_listLines.GetItemCount() == 0) return;
  const int selected = SelectedLine();
  if (selected <= 0) return;
  MoveLine(selected, selected - 1, VK_UP);
}

void CQuillpane::OnMoveLineDown() {
  const int count = m_listLines.GetItemCount();
  if (count == 0) return;
  const int selected = SelectedLine();
  if (selected < 0 || selected == count - 1) return;
  MoveLine(selected, selected + 1, VK_DOWN);
}

void CQuillpane::OnRemoveLine() {
  if (m_listLines.GetItemCount() == 0) return;
  const int selected = SelectedLine();
  if (selected >= 0) m_listLines.DeleteItem(selected);
}

void CQuillpane::OnLinesDblClk(NMHDR*, LRESULT* result) {
  // The first click of the double click selected the line.
  OnRemoveLine();
  *result = 0;
}

void CQuillpane::SayUnableToSave() {
  MessageBox("Unable to save file!", "Error", MB_ICONERROR);
}

// The file is replaced whole or not at all: a failure leaves it as it was.
void CQuillpane::OnSaveFile() {
  std::vector<std::string> lines;
  if (!LinesToSave(lines)) return;
  // Unedited, the file stays as it is, line ends and all.
  if (lines == m_readLines) return;
  bool written = false;
  {
    // Where the Extras commands read it: the real system folder.
    FileSystemRedirectionOff realSystemFolder;
    written = WriteLineFile(m_strPath, lines);
  }
  if (!written) SayUnableToSave();
}

void CQuillpane::OnSaveFileAs() {
  // Refused before a name is asked for, which could not help.
  std::vector<std::string> lines;
  if (!LinesToSave(lines)) return;
  CFileDialog dialog(FALSE, nullptr, m_strPath.c_str(), OFN_HIDEREADONLY, "All Files (*.*)|*.*|",
                     this);
  const INT_PTR chosen = dialog.DoModal();
  if (chosen != IDOK && chosen != -1) return;  // -1: the dialog failed, no Cancel
  const std::string target = chosen == IDOK ? dialog.GetPathName() : std::string();
  switch (chosen == IDOK ? ProbeTargetFile(target.c_str()) : TargetInvalid) {
    case TargetInvalid:
      MessageBox("Invalid path!", "Warning", MB_ICONEXCLAMATION);
      return;
    case TargetExists:
      // Only a clear Yes overwrites.
      if (MessageBox("File exists.\nOverwrite it?", "Warning",
                     MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) != IDYES)
        return;
      break;
    case TargetCreatable:
      break;
  }
  // Reported like Save: a silent failure would pass for a saved copy.
  if (!WriteLineFile(target, lines)) SayUnableToSave();
}

void CQuillpane::OnExitEditor() {
  OnCancel();
}
