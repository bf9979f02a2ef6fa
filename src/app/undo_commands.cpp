// Taking a Remove back: Ctrl+Z for this window's own removals, and File >
// Removed Entries... for any the store keeps. The work is done in actions/.
#include "actions/entry_actions.h"
#include "actions/removal_undo.h"
#include "app/lumivane_dlg.h"
#include "app/removed_entries_dlg.h"

void CLumivaneDlg::OnUndoRemove() {
  // Only removals made in this window: an older one never comes back by a
  // stray key press. One restored or deleted meanwhile is passed over.
  while (!m_removedHere.empty()) {
    RemovalRecord stored;
    if (!m_removals.Load(m_removedHere.back().id, stored)) {
      m_removedHere.pop_back();
      continue;
    }
    // The copy this window kept, whatever the file says now.
    if (RestoreRemoved(m_removedHere.back(), *this)) m_removedHere.pop_back();
    return;
  }
}

void CLumivaneDlg::OnRemovedEntries() {
  CRemovedEntriesDlg dialog(this, m_removals,
                            [this](const RemovalRecord& record, const CWnd& owner) {
                              return RestoreRemoved(record, owner);
                            });
  dialog.DoModal();
}

bool CLumivaneDlg::RestoreRemoved(const RemovalRecord& record, const CWnd& owner) {
  if (!MayRestore(record)) {
    owner.MessageBox(EntryNotAccessible, "Warning", MB_OK | MB_ICONEXCLAMATION);
    return false;
  }
  if (RemovalTargetExists(record) &&
      owner.MessageBox(OverwriteQuestion, "Warning",
                       MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) != IDYES)
    return false;
  switch (RestoreRemoval(record)) {
    case RestoreResult::NotAccessible:
      owner.MessageBox(EntryNotAccessible, "Warning", MB_OK | MB_ICONEXCLAMATION);
      return false;
    case RestoreResult::RegistryNotWritten:
      owner.MessageBox("Access denied.", "Warning", MB_OK | MB_ICONEXCLAMATION);
      return false;
    case RestoreResult::FileNotWritten:
      owner.MessageBox(UnableToSave, "Error", MB_ICONERROR);
      return false;
    case RestoreResult::Restored:
      break;
  }
  m_removals.Drop(record.id);
  FillEntryList();
  SelectEntryRow(m_listEntries, {record.type, record.name, record.location}, -1);
  return true;
}
