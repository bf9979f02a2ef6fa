// Task > Watch for Changes: the list follows the registry and the start-up
// folders while the window is open, and marks the rows that came since.
#include <string>
#include <vector>

#include "app/lumivane_dlg.h"
#include "framework/prompts.h"
#include "resource.h"
#include "scan/registry_access.h"
#include "util/string_utils.h"

namespace {

constexpr UINT_PTR kWatchTimer = 21;
constexpr UINT kQuietTime = 300;  // ms without changes before the list follows
constexpr char kWatchValue[] = "Watch";

// On unless the user turned it off: a missing or malformed value means on.
bool ReadWatchSetting() {
  DWORD type = REG_NONE;
  std::string bytes;
  if (ReadValueBytes(HKEY_CURRENT_USER, ProgramSettingsKey, kWatchValue, sizeof(DWORD), type,
                     bytes) != ERROR_SUCCESS ||
      type != REG_DWORD || bytes.size() != sizeof(DWORD))
    return true;
  return bytes != std::string(sizeof(DWORD), '\0');
}

void WriteWatchSetting(bool on) {
  const DWORD value = on ? 1 : 0;
  WriteValueBytes(HKEY_CURRENT_USER, ProgramSettingsKey, kWatchValue, REG_DWORD,
                  std::string(reinterpret_cast<const char*>(&value), sizeof value));
}

// Type, location and name: what a row is, whatever its place in the list.
// Registry paths and file names compare without regard to letter case.
std::string IdentityOf(const EntryRow& row) {
  return std::string(row.Text(0)) + '\t' + LowerCopy(row.Text(3)) + '\t' + LowerCopy(row.Text(1));
}

// A row's identity, numbered among the rows of the same identity above it
// (one folder reached by two spellings lists its files twice).
std::string NumberedIdentityOf(const CEntryList& list, int index) {
  const EntryRow* row = list.Row(index);
  if (!row) return std::string();
  const std::string identity = IdentityOf(*row);
  int repeats = 0;
  for (int above = 0; above < index; ++above)
    if (IdentityOf(*list.Row(above)) == identity) ++repeats;
  return identity + '\t' + std::to_string(repeats);
}

int FindNumberedIdentity(const CEntryList& list, const std::string& wanted) {
  if (wanted.empty()) return -1;
  for (int index = 0; index < list.RowCount(); ++index)
    if (NumberedIdentityOf(list, index) == wanted) return index;
  return -1;
}

std::string LocalTimeOfDay() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  char text[8];
  wsprintfA(text, "%02u:%02u", now.wHour, now.wMinute);
  return text;
}

}  // namespace

void CLumivaneDlg::StartWatch() {
  m_watchOn = ReadWatchSetting();
  CheckMenuItem(GetMenu(m_hWnd), ID_TASK_WATCH,
                MF_BYCOMMAND | (m_watchOn ? MF_CHECKED : MF_UNCHECKED));
  if (m_watchOn) m_watch.Start(m_hWnd, CollectWatchTargets());
}

void CLumivaneDlg::OnToggleWatch() {
  WriteWatchSetting(!m_watchOn);
  KillTimer(m_hWnd, kWatchTimer);
  m_watch.Stop();
  StartWatch();
  // What changed while nobody watched shows at once.
  if (m_watchOn) RefreshFromWatch();
}

bool CLumivaneDlg::OnWatchChanged(WPARAM wParam, LPARAM lParam, LRESULT* result) {
  *result = 0;
  // Every change starts the quiet time again: a burst of writes refreshes once.
  if (m_watchOn && m_watch.Rearm(wParam, lParam))
    SetTimer(m_hWnd, kWatchTimer, kQuietTime, OnWatchTimer);
  return true;
}

void CALLBACK CLumivaneDlg::OnWatchTimer(HWND window, UINT, UINT_PTR, DWORD) {
  auto* dialog =
      static_cast<CLumivaneDlg*>(reinterpret_cast<CDialog*>(GetWindowLongPtrA(window, DWLP_USER)));
  // Not yet: the timer asks again after another quiet time.
  if (!dialog || !dialog->WatchRefreshAllowed()) return;
  KillTimer(window, kWatchTimer);
  dialog->RefreshFromWatch();
}

bool CLumivaneDlg::OnEnterMenuLoop(WPARAM, LPARAM, LRESULT*) {
  ++m_menuDepth;
  return false;
}

bool CLumivaneDlg::OnExitMenuLoop(WPARAM, LPARAM, LRESULT*) {
  if (m_menuDepth > 0) --m_menuDepth;
  return false;
}

bool CLumivaneDlg::WatchRefreshAllowed() const {
  // A dialog or message box of ours disables the window; one asked through
  // the prompt seam counts too. A button held down, or a control that holds
  // the mouse, is a press whose action has not come yet.
  const bool buttonDown =
      (GetKeyState(VK_LBUTTON) | GetKeyState(VK_RBUTTON) | GetKeyState(VK_MBUTTON)) & 0x8000;
  return m_watchOn && IsWindowEnabled(m_hWnd) && !PromptIsOpen() && m_menuDepth == 0 &&
         !buttonDown && !GetCapture();
}

void CLumivaneDlg::RefreshFromWatch() {
  CEntryList& list = m_listEntries;
  const std::string selected = NumberedIdentityOf(list, list.GetNextItem(-1, LVNI_SELECTED));
  const std::string focused = NumberedIdentityOf(list, list.GetNextItem(-1, LVNI_FOCUSED));
  // The rows from the top one down, so that the view can stay where the
  // first of them that is still there stands.
  const int top = static_cast<int>(list.SendMessage(LVM_GETTOPINDEX));
  std::vector<std::string> shown;
  const int perPage = static_cast<int>(list.SendMessage(LVM_GETCOUNTPERPAGE));
  for (int row = top; row < list.RowCount() && row <= top + perPage; ++row)
    shown.push_back(NumberedIdentityOf(list, row));

  // Armed before the scan: a change while it reads is seen again after it.
  m_watch.Start(m_hWnd, CollectWatchTargets());
  FillEntryList();

  const int newSelected = FindNumberedIdentity(list, selected);
  if (newSelected >= 0) list.SetItemState(newSelected, LVIS_SELECTED, LVIS_SELECTED);
  const int newFocused = FindNumberedIdentity(list, focused);
  if (newFocused >= 0) list.SetItemState(newFocused, LVIS_FOCUSED, LVIS_FOCUSED);
  for (const std::string& identity : shown) {
    const int row = FindNumberedIdentity(list, identity);
    if (row < 0) continue;
    RECT bounds = {LVIR_BOUNDS, 0, 0, 0};
    if (list.SendMessage(LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&bounds)))
      list.SendMessage(LVM_SCROLL, 0,
                       (row - list.SendMessage(LVM_GETTOPINDEX)) * (bounds.bottom - bounds.top));
    break;
  }
  // A double click begun on the old rows must not act on the new ones.
  m_clickGuard.RowsReordered();
}

void CLumivaneDlg::MarkNewRows() {
  if (!m_rowsAtOpenKnown) {
    for (int row = 0; row < m_listEntries.RowCount(); ++row)
      m_rowsAtOpen.insert(IdentityOf(*m_listEntries.Row(row)));
    m_rowsAtOpenKnown = true;
    return;
  }
  const std::string now = LocalTimeOfDay();
  for (int row = 0; row < m_listEntries.RowCount(); ++row) {
    std::string identity = IdentityOf(*m_listEntries.Row(row));
    if (!m_rowsAtOpen.count(identity)) m_newSince.emplace(std::move(identity), now);
  }
}

std::string CLumivaneDlg::NewSinceText(int row) const {
  const EntryRow* entry = m_listEntries.Row(row);
  if (!entry || m_newSince.empty()) return std::string();
  const auto found = m_newSince.find(IdentityOf(*entry));
  return found == m_newSince.end() ? std::string() : "New since " + found->second;
}

void CLumivaneDlg::OnEntryListCustomDraw(NMHDR* header, LRESULT* result) {
  auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(header);
  if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) {
    *result = m_newSince.empty() ? CDRF_DODEFAULT : CDRF_NOTIFYITEMDRAW;
    return;
  }
  if (draw->nmcd.dwDrawStage != CDDS_ITEMPREPAINT ||
      NewSinceText(static_cast<int>(draw->nmcd.dwItemSpec)).empty())
    return;
  // The list's own font in bold, made again when the list's font changes.
  HFONT font = reinterpret_cast<HFONT>(m_listEntries.SendMessage(WM_GETFONT));
  if (font != m_listFont || !m_boldFont) {
    LOGFONTA bold = {};
    GetObjectA(font ? font : GetStockObject(DEFAULT_GUI_FONT), sizeof bold, &bold);
    bold.lfWeight = FW_BOLD;
    if (m_boldFont) DeleteObject(m_boldFont);
    m_boldFont = CreateFontIndirectA(&bold);
    m_listFont = font;
  }
  if (!m_boldFont) return;
  SelectObject(draw->nmcd.hdc, m_boldFont);
  *result = CDRF_NEWFONT;
}
