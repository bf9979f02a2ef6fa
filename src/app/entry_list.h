// The main window's list of start-up entries: its columns, its rows, and how
// the entry actions read the selected row.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <deque>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <unordered_map>
#include <vector>

#include "framework/controls.h"
#include "details/entry_details.h"
#include "inventory/inventory.h"
#include "scan/row_sink.h"

// Inserts the six columns: Type, ID <=> Name, Action <=> Property, Location,
// Publisher, Image Path, their widths scaled from 96 to `dpi` dots per inch.
void InsertEntryColumns(CListCtrl& list, int dpi = kDefaultDpi);

// Publisher, then Image Path: the columns whose texts come with the details.
constexpr int kFirstDetailsColumn = 4;

// The list's pictures and their greyed copies crossed out, for an entry whose
// program is not there.
constexpr int kMissingProgramImageOffset = 2 * kEntryPictureCount;

// Where the rows of one filling of the list keep their texts and owners: in
// blocks that never move, so that rows and the details reader point into
// them, and that go with the last of the two.
// What the details reader needs of a row, and what the row keeps of its
// scan, in the list's RowStore: its texts (Type, ID <=> Name, Action <=>
// Property), its Location as KeepLocation gave it, and its owner.
struct EntryRecord {
  const char* texts;
  const char* location;
  const EntryOwner* owner;
};

class RowStore {
 public:
  static constexpr size_t kRecordsPerChunk = 1024;

  // Keeps a row's texts and owner; the record never moves, and is the
  // RecordCount()-th before the call.
  const EntryRecord* AddRecord(const char* type, const char* name, const char* action,
                               const char* location, const EntryOwner& owner);
  size_t RecordCount() const { return records_; }
  // The records in chunks of kRecordsPerChunk, in order.
  const std::vector<std::unique_ptr<EntryRecord[]>>& Chunks() const { return chunks_; }

  // Copies the texts, each with its zero, one after another; returns the
  // first. Every row's texts are in one block.
  const char* AddTexts(std::initializer_list<const char*> texts);
  // The Location of a row named `name`, kept once for the rows that share
  // it: the rows of one key have the same text, the files of one folder the
  // same folder before their names. Give it to LocationText with the row's
  // texts.
  const char* KeepLocation(const char* location, const char* name);
  // The owner kept here that equals `owner`: the last one kept (the scans
  // give a key's or a folder's rows one after another), or a new one.
  const EntryOwner* Keep(const EntryOwner& owner);

 private:
  char* Allocate(size_t size);
  // `text` (of `length` bytes) with its zero, after a byte that tells whether
  // the row's name follows it.
  const char* AddShared(const char* text, size_t length, bool nameFollows);
  std::vector<std::unique_ptr<char[]>> blocks_;
  size_t used_ = 0, size_ = 0;  // of the last block
  // The last folder (its text ends in a separator) and whole location kept:
  // the scans give a folder's or a key's rows one after another.
  const char* lastFolder_ = nullptr;
  size_t lastFolderLength_ = 0;
  const char* lastLocation_ = nullptr;
  std::vector<std::unique_ptr<const EntryOwner>> owners_;
  std::vector<std::unique_ptr<EntryRecord[]>> chunks_;
  size_t records_ = 0;
};

// The text of column `column` (0-2) among a record's texts.
const char* RowText(const char* texts, int column);
// The whole Location of a record: its location, with the row's name after it
// where the name ends it.
void LocationText(const EntryRecord& record, std::string& text);

// The records of every row for the details reader, with the store they live
// in. The chunks are listed here: rows added to the store later are left
// out.
struct DetailsBatch {
  std::shared_ptr<const RowStore> store;
  std::vector<const EntryRecord*> chunks;
  size_t count = 0;

  const EntryRecord& operator[](size_t row) const {
    return chunks[row / RowStore::kRecordsPerChunk][row % RowStore::kRecordsPerChunk];
  }
};

// One row of the list: its four texts from the scan, its picture, the state
// of its switch and whose entry it is; then, once read, its details, which
// give the texts of the Publisher and Image Path columns. Rows with the same
// details share them: a list of tens of thousands of rows holds few distinct
// ones.
class EntryRow {
 public:
  // `record` lives in the list's RowStore.
  EntryRow(const EntryRecord* record, int image, const EntryApproval& approval = EntryApproval());
  // The text of column 0-5 (Type, ID <=> Name, Action <=> Property, Location,
  // Publisher, Image Path); empty for any other column, and for the last two
  // until the details are there. The Location and the last two are made on
  // each call and last until the next of their column (user-interface thread
  // only): rows keep no copies of them.
  const char* Text(int column) const;
  // What the row sorts by: Text, or in the last two columns, before the
  // details are read, the texts of the details carried over for it.
  const char* SortText(int column) const;
  // Crossed out once the details say the program is missing.
  int Image() const;
  EntryApproval Approval() const { return {static_cast<EntryState>(state_), disabledSince_}; }
  const EntryOwner& Owner() const { return *record_->owner; }
  const EntryRecord& Record() const { return *record_; }
  // None until the details are read.
  std::optional<EntryDetails> Details() const;
  // `details` with an empty image path and `imageIsLocation`: the image is
  // the row's own start-up file, whose path the row already holds.
  void SetDetails(std::shared_ptr<const EntryDetails> details, bool imageIsLocation);
  // The details of the same entry in the last filling: they place the row
  // for sorting until its own arrive, and are neither shown nor used.
  void CarryDetails(const EntryRow& older);
  bool HasDetails() const { return details_ != nullptr; }  // carried or not

 private:
  // Tens of thousands of rows: the approval is kept in two parts, so that
  // its state packs with the picture and the flags.
  const EntryRecord* record_;
  std::shared_ptr<const EntryDetails> details_;
  uint64_t disabledSince_;
  int image_;
  uint8_t state_;
  bool imageIsLocation_ = false;
  bool carried_ = false;
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

  // Appends a row at the end; it is part of the item count at once (during
  // a refill, when that ends). A sorted
  // list takes its place among the others when the refill ends. Texts are
  // kept whole, however long: a cut value name would make Remove and Backup
  // act on a name the registry does not hold.
  void AddRow(const char* type, const char* name, const char* action, const char* location,
              int image, const EntryApproval& approval, const EntryOwner& owner);
  // No rows, and so no selection and no focused row.
  void DeleteAllRows();
  int RowCount() const { return static_cast<int>(m_rows.size()); }
  // The row shown at `row`; null for an index that names no row.
  const EntryRow* Row(int row) const;
  // What the details reader needs of each row, in order.
  DetailsBatch DetailsRequests() const;
  // Gives the row made `row`-th (the order of DetailsRequests) its details,
  // as EntryRow::SetDetails takes them; the caller redraws it. Selection and
  // scrolling stay.
  void SetRowDetails(int row, std::shared_ptr<const EntryDetails> details, bool imageIsLocation);

  // Sorts the rows by the texts of `column` as the user's locale orders them,
  // numbers inside a text by their value; rows of equal text keep the order
  // of the scan. Column -1 is the order of the scan. The header shows the
  // arrow, and the selected row stays selected. Rows without their details
  // yet sort by those of the last filling, when they were read.
  void SortBy(int column, bool descending);
  int SortColumn() const { return m_sortColumn; }
  bool SortDescending() const { return m_sortDescending; }
  // Sorts again as chosen: after a refill, and for texts that arrive after
  // their rows. The selected row stays selected and is shown, or with
  // `keepTopRow` the row at the top stays there. True when rows moved.
  bool Resort(bool keepTopRow = false);
  // Scrolls the list so that `row` is the top one, as far as it goes.
  void ScrollToTop(int row);

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
  // In the order of the scan. Not a vector: growing one by doubling would
  // briefly hold a large list twice.
  std::deque<EntryRow> m_rows;
  std::shared_ptr<RowStore> m_store = std::make_shared<RowStore>();
  // The row shown at each index, into m_rows (32 bits: a list view counts
  // its items in an int).
  std::vector<uint32_t> m_shown;
  // During a refill sorted by the details: the last filling's rows that had
  // details, by identity.
  std::unordered_map<uint64_t, const EntryRow*> m_carried;
  std::deque<EntryRow> m_lastRows;
  void KeepRowsForSorting();
  int m_sortColumn = -1;
  bool m_sortDescending = false;
  bool m_refilling = false;  // the count is set when the refill ends
};

// Type, location and name, letter case aside in the last two, as a hash: what
// a row is, whatever its place in the list or its filling.
uint64_t RowIdentityHash(const EntryRow& row);

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

// The row an action works on, as the list holds it (never read back through
// the control, whose texts a reader gets cut to its buffer). Without a
// selected row every text is empty, so such a row is of no kind.
struct SelectedEntry {
  SelectedEntry() = default;
  SelectedEntry(std::string type, std::string name, std::string location)
      : type(std::move(type)), name(std::move(name)), location(std::move(location)) {}

  std::string type;      // its source's Type text
  std::string name;      // value name, or file name
  std::string location;  // key path, or the file's full path
  EntryOwner owner;      // with the exact name and the folder the scan found
};

// False when the list has no rows at all (the action then does nothing).
bool ReadSelectedEntry(const CEntryList& list, SelectedEntry& entry);

// Every row as the list shows it, in order, with the state of its switch and
// its details as far as they are known (the window never reads a file).
std::vector<InventoryRow> ListedRows(const CEntryList& list);
// The row shown at `row` (which must name one) as ListedRows gives it.
InventoryRow ListedRow(const CEntryList& list, int row);

// The texts (columns 0, 1 and 3) and the owner of row `row`; all empty for
// an index that names no row.
SelectedEntry ReadEntryRow(const CEntryList& list, int row);

// Selects, focuses and shows the row holding the entry's texts (and exact
// name): the one at `preferred` when it does, else the first. False when no
// row does.
bool SelectEntryRow(CEntryList& list, const SelectedEntry& entry, int preferred);
