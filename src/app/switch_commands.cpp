// Task > Disable / Enable of the selected entry, and the infotip that says
// since when a row is disabled. The switch itself is Windows' own
// (scan/startup_approved.h); the work is done in actions/.
#include "actions/entry_actions.h"
#include "actions/entry_switch.h"
#include "app/entry_list.h"
#include "app/lumivane_dlg.h"
#include "resource.h"
#include "scan/startup_approved.h"
#include "sources/entry_source_actions.h"
#include "util/string_utils.h"
#include "util/time_text.h"

namespace {

// The switch as the selected row shows it: what the user sees is what F7
// and the menu act on, even if another program changed it since.
EntryState ShownState(const CEntryList& list) {
  const EntryRow* row = list.Row(list.GetNextItem(-1, LVNI_SELECTED));
  return row ? row->Approval().state : EntryState::NotApplicable;
}

}  // namespace

void CLumivaneDlg::OnDisable() {
  SelectedEntry entry;
  if (!ReadSelectedEntry(m_listEntries, entry)) return;
  // The switch is named by the row's text: a name it cannot give back has
  // none (its row shows n/a), and F7 on it is told so.
  if (!entry.owner.exactName.empty()) {
    MessageBox(EntryNotAccessible, "Warning", MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  // F7 reaches here without the menu: the same check as its greying.
  const EntryState shown = ShownState(m_listEntries);
  if (shown == EntryState::NotApplicable) return;
  if (!IsEntryAccessible(entry.type, entry.name, entry.location, entry.owner)) {
    MessageBox(EntryNotAccessible, "Warning", MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  const LONG result =
      SwitchEntry(entry.type, entry.name, entry.location, shown != EntryState::Disabled,
                  entry.owner);
  if (result == ERROR_FILE_NOT_FOUND) {
    MessageBox("Entry Not Accessible!", "Warning", MB_OK | MB_ICONEXCLAMATION);
  } else if (result != ERROR_SUCCESS) {
    MessageBox("Access denied.", "Warning", MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  // The list then shows what the registry now holds.
  const int row = m_listEntries.GetNextItem(-1, LVNI_SELECTED);
  FillEntryList();
  SelectEntryRow(m_listEntries, entry, row);
}

bool CLumivaneDlg::OnInitMenuPopup(WPARAM, LPARAM, LRESULT*) {
  UpdateTaskMenu();
  return false;  // the dialog's own handling goes on
}

void CLumivaneDlg::UpdateTaskMenu() {
  const EntryState state = ShownState(m_listEntries);
  ModifyMenuA(
      GetMenu(m_hWnd), ID_TASK_DISABLE,
      MF_BYCOMMAND | MF_STRING | (state == EntryState::NotApplicable ? MF_GRAYED : MF_ENABLED),
      ID_TASK_DISABLE, state == EntryState::Disabled ? "&Enable\tF7" : "&Disable\tF7");
  // Translating F8 asks for the menu's state too, outside any menu.
  UpdateRemoveCommand(m_menuDepth > 0);
  UpdateJumpCommands(GetMenu(m_hWnd));
}

void CLumivaneDlg::UpdateRemoveCommand(bool inMenu) {
  SelectedEntry entry;
  const EntrySourceActions* source = inMenu && ReadSelectedEntry(m_listEntries, entry)
                                         ? FindEntrySourceActions(entry.type)
                                         : nullptr;
  EnableMenuItem(GetMenu(m_hWnd), ID_TASK_REMOVE,
                 MF_BYCOMMAND | (source && source->RemoveRefusal() ? MF_GRAYED : MF_ENABLED));
}

void CLumivaneDlg::OnEntryListGetInfoTip(NMHDR* header, LRESULT*) {
  auto* tip = reinterpret_cast<NMLVGETINFOTIPA*>(header);
  // The state the row shows, as the scan read it.
  const EntryRow* row = m_listEntries.Row(tip->iItem);
  if (!row || !tip->pszText || tip->cchTextMax <= 0) return;
  const EntryApproval& approval = row->Approval();
  std::string text = NewSinceText(tip->iItem);
  if (approval.state == EntryState::Disabled) {
    // A switch written without a time says only that it is off.
    const std::string since =
        approval.disabledSince ? LocalDateTimeText(approval.disabledSince) : "";
    if (!text.empty()) text += "\r\n";
    text += since.empty() ? "Disabled" : "Disabled since " + since;
  }
  if (approval.locked) text += "\r\nLocked by policy";
  text += DetailsTipText(tip->iItem);  // each of its lines starts with a line break
  if (text.compare(0, 2, "\r\n") == 0) text.erase(0, 2);
  if (text.empty()) return;
  // As much as the control's buffer holds, cut between characters.
  const size_t length = WholeCharsLength(text.c_str(), text.size(),
                                         static_cast<size_t>(tip->cchTextMax - 1));
  text.copy(tip->pszText, length);
  tip->pszText[length] = '\0';
}
