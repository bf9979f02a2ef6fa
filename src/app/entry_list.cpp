#include "app/entry_list.h"

#include "scan/startup_approved.h"

namespace {

struct EntryColumn {
  const char* heading;
  int width;
};

const EntryColumn kEntryColumns[] = {
    {"Type", 82}, {"ID <=> Name", 160}, {"Action <=> Property", 268}, {"Location", 159}};

}  // namespace

void InsertEntryColumns(CListCtrl& list, int dpi) {
  int index = 0;
  for (const EntryColumn& column : kEntryColumns)
    list.InsertColumn(index++, column.heading, LVCFMT_LEFT, ScaleForDpi(column.width, dpi));
}

// Texts go to the control whole, however long: a cut value name would make
// Remove and Backup act on a name the registry does not hold.
void EntryListSink::AddEntryRow(const char* type, const char* name, const char* action,
                                const char* location, int image, const EntryApproval&) {
  LVITEMA item = {};
  item.mask = LVIF_TEXT | LVIF_IMAGE;
  item.iItem = list_.GetItemCount();
  item.pszText = const_cast<char*>(type);
  item.iImage = image;
  int row = list_.InsertItem(&item);
  if (row < 0) return;
  list_.SetItemText(row, 1, name);
  list_.SetItemText(row, 2, action);
  list_.SetItemText(row, 3, location);
}

bool ReadSelectedEntry(const CListCtrl& list, SelectedEntry& entry) {
  entry = SelectedEntry();
  if (list.GetItemCount() <= 0) return false;
  entry = ReadEntryRow(list, list.GetNextItem(-1, LVNI_SELECTED));
  return true;
}

SelectedEntry ReadEntryRow(const CListCtrl& list, int row) {
  SelectedEntry entry;
  if (row < 0 || row >= list.GetItemCount()) return entry;
  int columns = list.GetColumnCount();
  entry.type = list.GetItemText(row, columns - 4);
  entry.name = list.GetItemText(row, columns - 3);
  entry.location = list.GetItemText(row, columns - 1);
  return entry;
}

bool SelectEntryRow(CListCtrl& list, const SelectedEntry& entry, int preferred) {
  auto holds = [&](int row) {
    SelectedEntry found = ReadEntryRow(list, row);
    return found.type == entry.type && found.name == entry.name && found.location == entry.location;
  };
  const int count = list.GetItemCount();
  int row = preferred;
  if (row < 0 || row >= count || !holds(row)) {
    row = 0;
    while (row < count && !holds(row)) ++row;
    if (row == count) return false;
  }
  list.SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  list.EnsureVisible(row);
  return true;
}

std::vector<InventoryRow> ListedRows(const CListCtrl& list) {
  std::vector<InventoryRow> rows;
  const int count = list.GetItemCount();
  for (int row = 0; row < count; ++row) {
    const SelectedEntry entry = ReadEntryRow(list, row);
    rows.push_back(MakeInventoryRow(entry.type, entry.name, list.GetItemText(row, 2),
                                    entry.location, EntrySwitchOf(entry)));
  }
  return rows;
}

EntryApproval EntrySwitchOf(const SelectedEntry& entry) {
  if (!SystemHonoursApproval()) return EntryApproval();
  return ReadEntryApproval(entry.type, entry.name, entry.location);
}
