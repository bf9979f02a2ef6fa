// Remove and Backup of the selected entry, and Save List of all of them. The
// work is done in actions/; here the window asks the user and reads the rows.
#include "actions/entry_actions.h"
#include "actions/removal_undo.h"
#include "app/entry_list.h"
#include "app/lumivane_dlg.h"
#include "app/wait_cursor.h"
#include "framework/file_dialog.h"
#include "sources/entry_source_actions.h"

namespace {

// The questions of a backup, asked by the main window; the save dialog gets
// no parent of its own, so the main window owns it.
class WindowBackupPrompts : public BackupPrompts {
 public:
  explicit WindowBackupPrompts(const CWnd& window) : window_(window) {}

  bool ChooseTarget(const SaveFileRequest& request, std::string& path) override {
    CFileDialog dialog(FALSE, request.defaultExtension, request.fileName.c_str(), request.flags,
                       request.filter);
    const INT_PTR chosen = dialog.DoModal();
    // A dialog that failed is no Cancel: the user is told.
    if (chosen == -1) Warn(InvalidPath, MB_OK | MB_ICONEXCLAMATION);
    if (chosen != IDOK) return false;
    path = dialog.GetPathName();
    return true;
  }
  int Warn(const std::string& text, UINT type) override {
    return window_.MessageBox(text, "Warning", type);
  }
  void Fail(const std::string& text) override { window_.MessageBox(text, "Error", MB_ICONERROR); }

 private:
  const CWnd& window_;
};

}  // namespace

void CLumivaneDlg::OnRemove() {
  SelectedEntry entry;
  if (!ReadSelectedEntry(m_listEntries, entry)) return;
  // Kinds that only the program they belong to takes away: the menus grey
  // Remove, and F8 and the button say why, writing nothing.
  const EntrySourceActions* source = FindEntrySourceActions(entry.type);
  if (source && source->RemoveRefusal()) {
    MessageBox(source->RemoveRefusal(), "Warning", MB_OK | MB_ICONWARNING);
    return;
  }
  if (!IsEntryRemovable(entry.type, entry.name, entry.location, entry.owner)) {
    MessageBox(EntryNotAccessible, "Warning", MB_OK | MB_ICONEXCLAMATION);
    OnRefresh();  // the row may be stale: the list shows what is there now
    return;
  }
  // Only an explicit Yes deletes: a box that could not be shown says nothing.
  if (MessageBox("Remove this item?", "Question", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  WaitCursor wait;
  RemovalRecord kept;
  // No removal without its undo: when the copy cannot be kept, the entry stays.
  if (RemoveEntryKept(entry.type, entry.name, entry.location, m_removals, kept, entry.owner) ==
      RemovalResult::NotSaved)
    MessageBox(UnableToSave, "Error", MB_ICONERROR);
  if (!kept.id.empty()) m_removedHere.push_back(std::move(kept));
  // Whatever happened at the source, the list shows it as it now is.
  OnRefresh();
}

void CLumivaneDlg::OnSaveList() {
  // The list as lumivanec writes it: every row with its details.
  if (!WaitForAllDetails()) return;
  WindowBackupPrompts prompts(*this);
  SaveEntryList(ListedRows(m_listEntries), prompts);
}

void CLumivaneDlg::OnBackup() {
  SelectedEntry entry;
  if (!ReadSelectedEntry(m_listEntries, entry)) return;
  WindowBackupPrompts prompts(*this);
  BackupEntry(entry.type, entry.name, entry.location, prompts, entry.owner);
}
