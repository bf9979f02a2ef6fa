// Task > Watch for Changes: the list follows the registry and the start-up
// folders while the window is open, and marks the rows that came since.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/lumivane_dlg.h"
#include "framework/prompts.h"
#include "resource.h"
#include "scan/registry_access.h"
#include "util/string_utils.h"

namespace {

constexpr UINT_PTR kWatchTimer = 21;
constexpr UINT kQuietTime = 300;      // ms without changes before the list follows
constexpr DWORD kLongestWait = 2000;  // ms from the first change of a stream that never stops
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

std::vector<std::string> IdentitiesOf(const CEntryList& list) {
  std::vector<std::string> identities;
  identities.reserve(list.RowCount());
  for (int row = 0; row < list.RowCount(); ++row) identities.push_back(IdentityOf(*list.Row(row)));
  return identities;
}

// A row's identity, and which of the rows of that identity it is (one folder
// reached by two spellings lists its files twice). An empty text: no row.
struct RowIdentity {
  std::string text;
  int repeat = 0;
};

RowIdentity IdentityAt(const std::vector<std::string>& identities, int index) {
  RowIdentity identity;
  if (index < 0 || index >= static_cast<int>(identities.size())) return identity;
  identity.text = identities[index];
  for (int above = 0; above < index; ++above)
    if (identities[above] == identity.text) ++identity.repeat;
  return identity;
}

int FindIdentity(const std::vector<std::string>& identities, const RowIdentity& wanted) {
  if (wanted.text.empty()) return -1;
  int repeat = 0;
  for (size_t index = 0; index < identities.size(); ++index)
    if (identities[index] == wanted.text && repeat++ == wanted.repeat)
      return static_cast<int>(index);
  return -1;
}

// What the user sees of a row and acts on: its texts from the scan and its state.
using RowLook = std::pair<std::string, EntryState>;

RowLook LookOf(const EntryRow* row) {
  if (!row) return {std::string(), EntryState::NotApplicable};
  std::string texts;
  for (int column = 0; column < kFirstDetailsColumn; ++column)
    texts += std::string(row->Text(column)) + '\t';
  return {texts, row->Approval().state};
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
  ApplyWatchSetting();
}

void CLumivaneDlg::ApplyWatchSetting() {
  CheckMenuItem(GetMenu(m_hWnd), ID_TASK_WATCH,
                MF_BYCOMMAND | (m_watchOn ? MF_CHECKED : MF_UNCHECKED));
  // Turned on, the next fill starts it.
  if (!m_watchOn) m_watch.Stop();
}

void CLumivaneDlg::RebuildWatch() {
  KillTimer(m_hWnd, kWatchTimer);
  m_changesPending = false;
  // Armed before the scan: a change while it reads is seen again after it.
  if (m_watchOn) m_watch.Start(m_hWnd, CollectWatchTargets());
}

void CLumivaneDlg::OnToggleWatch() {
  m_watchOn = !m_watchOn;
  WriteWatchSetting(m_watchOn);
  KillTimer(m_hWnd, kWatchTimer);
  m_changesPending = false;
  ApplyWatchSetting();
  // What changed while nobody watched shows at once.
  if (m_watchOn) RefreshFromWatch();
}

bool CLumivaneDlg::OnWatchChanged(WPARAM wParam, LPARAM lParam, LRESULT* result) {
  *result = 0;
  if (!m_watchOn || !m_watch.Rearm(wParam, lParam)) return true;
  // Every change starts the quiet time again, so a burst of writes refreshes
  // once; but a stream that never stops still shows within the longest wait.
  const DWORD now = GetTickCount();
  if (!m_changesPending) m_firstChangeAt = now;
  m_changesPending = true;
  const DWORD waited = now - m_firstChangeAt;
  const DWORD left = waited < kLongestWait ? kLongestWait - waited : USER_TIMER_MINIMUM;
  SetTimer(m_hWnd, kWatchTimer, std::min<DWORD>(kQuietTime, left), OnWatchTimer);
  return true;
}

void CALLBACK CLumivaneDlg::OnWatchTimer(HWND window, UINT, UINT_PTR, DWORD) {
  auto* dialog =
      static_cast<CLumivaneDlg*>(reinterpret_cast<CDialog*>(GetWindowLongPtrA(window, DWLP_USER)));
  if (!dialog) return;
  // Not yet: the timer asks again after another quiet time.
  if (!dialog->WatchRefreshAllowed()) {
    SetTimer(window, kWatchTimer, kQuietTime, OnWatchTimer);
    return;
  }
  dialog->RefreshFromWatch();
}

bool CLumivaneDlg::OnEnterMenuLoop(WPARAM, LPARAM, LRESULT*) {
  ++m_menuDepth;
  return false;
}

bool CLumivaneDlg::OnExitMenuLoop(WPARAM, LPARAM, LRESULT*) {
  if (m_menuDepth > 0) --m_menuDepth;
  if (m_menuDepth == 0) UpdateRemoveCommand(false);
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
  std::vector<std::string> identities = IdentitiesOf(list);
  const RowIdentity selected = IdentityAt(identities, list.GetNextItem(-1, LVNI_SELECTED));
  const RowIdentity focused = IdentityAt(identities, list.GetNextItem(-1, LVNI_FOCUSED));
  // The rows from the top one down, so that the view can stay where the
  // first of them that is still there stands.
  const int top = static_cast<int>(list.SendMessage(LVM_GETTOPINDEX));
  const int perPage = static_cast<int>(list.SendMessage(LVM_GETCOUNTPERPAGE));
  std::vector<RowIdentity> shown;
  for (int row = top; row < list.RowCount() && row <= top + perPage; ++row)
    shown.push_back(IdentityAt(identities, row));
  const int oldSelected = list.GetNextItem(-1, LVNI_SELECTED);
  const RowLook selectedLook = LookOf(list.Row(oldSelected));

  FillEntryList();

  identities = IdentitiesOf(list);
  const int newSelected = FindIdentity(identities, selected);
  if (newSelected >= 0) list.SetItemState(newSelected, LVIS_SELECTED, LVIS_SELECTED);
  // A key pressed for the row as it stood must not act on it as it is now.
  if (oldSelected >= 0 &&
      (newSelected != oldSelected || LookOf(list.Row(newSelected)) != selectedLook))
    m_clickGuard.SelectedRowChanged();
  const int newFocused = FindIdentity(identities, focused);
  if (newFocused >= 0) list.SetItemState(newFocused, LVIS_FOCUSED, LVIS_FOCUSED);
  for (const RowIdentity& identity : shown) {
    const int row = FindIdentity(identities, identity);
    if (row < 0) continue;
    list.ScrollToTop(row);
    break;
  }
  // A double click begun on the old rows must not act on the new ones.
  m_clickGuard.RowsReordered();
}

void CLumivaneDlg::MarkNewRows() {
  if (!m_rowsAtOpenKnown) {
    m_rowsAtOpen.reserve(m_listEntries.RowCount());
    for (int row = 0; row < m_listEntries.RowCount(); ++row)
      m_rowsAtOpen.push_back(RowIdentityHash(*m_listEntries.Row(row)));
    std::sort(m_rowsAtOpen.begin(), m_rowsAtOpen.end());
    m_rowsAtOpenKnown = true;
    return;
  }
  std::string now;
  for (int row = 0; row < m_listEntries.RowCount(); ++row) {
    const uint64_t identity = RowIdentityHash(*m_listEntries.Row(row));
    if (std::binary_search(m_rowsAtOpen.begin(), m_rowsAtOpen.end(), identity) ||
        m_newSince.count(identity))
      continue;
    if (now.empty()) now = LocalTimeOfDay();
    m_newSince.emplace(identity, now);
  }
}

std::string CLumivaneDlg::NewSinceText(int row) const {
  const EntryRow* entry = m_listEntries.Row(row);
  if (!entry || m_newSince.empty()) return std::string();
  const auto found = m_newSince.find(RowIdentityHash(*entry));
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
