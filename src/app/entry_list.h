// The main window's list of start-up entries: its columns, its rows, and how
// the entry actions read the selected row.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/controls.h"
#include "scan/entry_details.h"
#include "scan/inventory.h"
#include "scan/row_sink.h"

// Inserts the six columns: Type, ID <=> Name, Action <=> Property, Location,
// Publisher, Image Path, their widths scaled from 96 to `dpi` dots per inch.
void InsertEntryColumns(CListCtrl& list, int dpi = kDefaultDpi);

// Publisher, then Image Path: the columns whose texts come with the details.
constexpr int kFirstDetailsColumn = 4;

// Images 4-7 of the list: images 0-3 crossed out, for an entry whose program
// is not there.
constexpr int kMissingProgramImageOffset = 4;

// What the details reader needs of a row: its texts, shared rather than
// copied, and whose entry it is.
struct DetailsRequest {
  std::shared_ptr<const char[]> texts;  // keeps the three below alive
  const char* type;
  const char* command;
  const char* location;
  EntryOwner owner;
};

// One row of the list: its four texts from the scan, its picture, the state
// of its switch and whose entry it is; then, once read, its details, which
// give the texts of the Publisher and Image Path columns.
class EntryRow {
 public:
  EntryRow(const char* type, const char* name, const char* action, const char* location, int image,
           const EntryApproval& approval = EntryApproval(), const EntryOwner& owner = EntryOwner());
  // The text of column 0-5 (Type, ID <=> Name, Action <=> Property, Location,
  // Publisher, Image Path); empty for any other column, and for the last two
  // until the details are there. The last two are made on each call and last
  // until the next (user-interface thread only): rows keep no copies of them.
  const char* Text(int column) const;
  // Crossed out once the details say the program is missing.
  int Image() const;
  const EntryApproval& Approval() const { return approval_; }
  const EntryOwner& Owner() const { return owner_; }
  DetailsRequest Request() const { return {texts_, Text(0), Text(2), Text(3), owner_}; }
  // Null until the details are read.
  const EntryDetails* Details() const { return details_.get(); }
  void SetDetails(std::unique_ptr<EntryDetails> details) { details_ = std::move(details); }

 private:
  // The texts end to end, each ended by its zero: one allocation per row,
  // shared with the details reader.
  std::shared_ptr<char[]> texts_;
  int image_;
  EntryApproval approval_;
  EntryOwner owner_;
  std::unique_ptr<EntryDetails> details_;
};

// The list control of the main window. It is an owner-data list view
// (LVS_OWNERDATA): the program keeps the rows, the control keeps only their
// count, the selection and the focus, and asks its parent for a row's texts
// and picture whenever it needs them (LVN_GETDISPINFO), for painting as for a
// reader of LVM_GETITEMTEXT. The parent passes those requests to OnGetDispInfo.
class CEntryList : public CListCtrl {
 public:
  // Empties the list for new rows and repaints it whole, once, when it goes:
  // rows added meanwhile are neither drawn nor counted into the scroll bars
  // one by one.
  class Refill {
   public:
    explicit Refill(CEntryList& list);
    ~Refill();
    Refill(const Refill&) = delete;
    Refill& operator=(const Refill&) = delete;

   private:
    CEntryList& list_;
  };

  // Appends a row at the end; it is part of the item count at once. A sorted
  // list takes its place among the others when the refill ends.
  void AddRow(EntryRow row);
  // No rows, and so no selection and no focused row.
  void DeleteAllRows();
  int RowCount() const { return static_cast<int>(m_rows.size()); }
  // The row shown at `row`; null for an index that names no row.
  const EntryRow* Row(int row) const;
  // What the details reader needs of each row, in order.
  std::vector<DetailsRequest> DetailsRequests() const;
  // Gives row `row` its details; the caller redraws it. Selection and
  // scrolling stay.
  void SetRowDetails(int row, std::unique_ptr<EntryDetails> details);

  // Sorts the rows by the texts of `column` as the user's locale orders them,
  // numbers inside a text by their value; rows of equal text keep the order
  // of the scan. Column -1 is the order of the scan. The header shows the
  // arrow, and the selected row stays selected.
  void SortBy(int column, bool descending);
  int SortColumn() const { return m_sortColumn; }
  bool SortDescending() const { return m_sortDescending; }
  // Sorts again as chosen: after a refill, and for texts that arrive after
  // their rows, once they are complete (never row by row as they arrive).
  void Resort();

  // Fills in the text and the image asked for; a request for a row the list
  // does not hold gets nothing.
  void OnGetDispInfo(NMLVDISPINFOA* info) const;
  // Answers LVN_ODFINDITEMA or LVN_ODFINDITEMW (typing in the list looks for
  // the next row whose Type begins with the letters typed): the row, or -1.
  int OnFindItem(const NMHDR* header) const;
  // The first row from `start` on whose column-0 text is `text` (or begins
  // with it, with LVFI_PARTIAL), letter case aside; LVFI_WRAP goes on from
  // the top. -1 when there is none.
  int FindRow(const char* text, UINT flags, int start) const;

 private:
  std::vector<EntryRow> m_rows;  // in the order of the scan
  std::vector<size_t> m_shown;   // the row shown at each index, into m_rows
  int m_sortColumn = -1;
  bool m_sortDescending = false;
};

// Appends the rows the scans find at the end of the list.
class EntryListSink : public RowSink {
 public:
  explicit EntryListSink(CEntryList& list) : list_(list) {}
  void AddEntryRow(const char* type, const char* name, const char* action, const char* location,
                   int image, const EntryApproval& approval,
                   const EntryOwner& owner = EntryOwner()) override;

 private:
  CEntryList& list_;
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

// Every row as the list shows it, in order, with the state of its switch and
// its details (read here for rows that do not have them yet).
std::vector<InventoryRow> ListedRows(const CEntryList& list);
// The row shown at `row` (which must name one) as ListedRows gives it.
InventoryRow ListedRow(const CEntryList& list, int row, EntryDetailsReader& reader);

// The details of row `row`, read here when the row does not have them yet;
// empty details for an index that names no row.
EntryDetails RowDetails(const CEntryList& list, int row);

// The texts of row `row` (columns 0, 1 and 3, whatever columns follow);
// all empty for an index that names no row.
SelectedEntry ReadEntryRow(const CListCtrl& list, int row);

// Selects, focuses and shows the row holding the entry's texts: the one at
// `preferred` when it does, else the first. False when no row does.
bool SelectEntryRow(CListCtrl& list, const SelectedEntry& entry, int preferred);
