#include "app/entry_list.h"

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
                                const char* location, int image) {
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
  int columns = list.GetColumnCount();
  int row = list.GetNextItem(-1, LVNI_SELECTED);
  if (row < 0) return true;
  entry.type = list.GetItemText(row, columns - 4);
  entry.name = list.GetItemText(row, columns - 3);
  entry.location = list.GetItemText(row, columns - 1);
  return true;
}

std::vector<InventoryRow> ListedRows(const CListCtrl& list) {
  std::vector<InventoryRow> rows;
  const int count = list.GetItemCount();
  for (int row = 0; row < count; ++row)
    rows.push_back({list.GetItemText(row, 0), list.GetItemText(row, 1), list.GetItemText(row, 2),
                    list.GetItemText(row, 3)});
  return rows;
}
