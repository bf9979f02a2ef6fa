// The main window's list of start-up entries: its columns, how rows are added,
// and how the entry actions read the selected row.
#pragma once

#include <string>
#include <vector>

#include "framework/controls.h"
#include "scan/inventory.h"
#include "scan/row_sink.h"

// Inserts the four columns: Type, ID <=> Name, Action <=> Property, Location,
// their widths scaled from 96 to `dpi` dots per inch.
void InsertEntryColumns(CListCtrl& list, int dpi = kDefaultDpi);

// Appends the rows the scans find at the end of a list control.
class EntryListSink : public RowSink {
 public:
  explicit EntryListSink(CListCtrl& list) : list_(list) {}
  void AddEntryRow(const char* type, const char* name, const char* action, const char* location,
                   int image, const EntryApproval& approval) override;

 private:
  CListCtrl& list_;
};

// The row an action works on. Without a selected row every text is empty, so
// such a row is of no kind.
struct SelectedEntry {
  std::string type;      // "Registry" or "Start-Up"
  std::string name;      // value name, or file name
  std::string location;  // key path, or the file's full path
};

// False when the list has no rows at all (the action then does nothing).
bool ReadSelectedEntry(const CListCtrl& list, SelectedEntry& entry);

// Every row as the list shows it, in order, with its switch as it stands now.
std::vector<InventoryRow> ListedRows(const CListCtrl& list);

// The entry's switch as the registry holds it now; none before Windows 8.
EntryApproval EntrySwitchOf(const SelectedEntry& entry);

// The texts of row `row`; all empty for an index that names no row.
SelectedEntry ReadEntryRow(const CListCtrl& list, int row);

// Selects, focuses and shows the row holding the entry's texts: the one at
// `preferred` when it does, else the first. False when no row does.
bool SelectEntryRow(CListCtrl& list, const SelectedEntry& entry, int preferred);
