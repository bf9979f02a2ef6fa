#include "app/entry_list.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <unordered_map>
#include <utility>

#include "util/string_utils.h"
#include "util/text_encoding.h"

namespace {

struct EntryColumn {
  const char* heading;
  int width;
};

const EntryColumn kEntryColumns[] = {
    {"Type", 82},      {"ID <=> Name", 160}, {"Action <=> Property", 268},
    {"Location", 159}, {"Publisher", 150},   {"Image Path", 250}};
constexpr int kColumnCount = 4;  // the texts every row has from the scan
constexpr int kLocationColumn = 3;  // made on each call, like the details' columns
constexpr int kPublisherColumn = 4;
constexpr int kImagePathColumn = 5;

// Whether `text` begins with `prefix`, letter case aside.
bool StartsWithLowered(const char* text, const char* prefix) {
  for (; *prefix; ++text, ++prefix) {
    if (std::tolower(static_cast<unsigned char>(*text)) !=
        std::tolower(static_cast<unsigned char>(*prefix)))
      return false;
  }
  return true;
}

// The text as the user's locale compares it.
std::wstring SortKey(const char* text) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::wstring key(length > 0 ? static_cast<size_t>(length) : 1u, L'\0');
  if (length > 0) MultiByteToWideChar(CP_ACP, 0, text, -1, &key[0], length);
  key.pop_back();
  return key;
}

// "App9" before "App10", as Explorer sorts file names.
int CompareSortKeys(const std::wstring& a, const std::wstring& b) {
  const int result = CompareStringEx(LOCALE_NAME_USER_DEFAULT, SORT_DIGITSASNUMBERS, a.c_str(),
                                     static_cast<int>(a.size()), b.c_str(),
                                     static_cast<int>(b.size()), nullptr, nullptr, 0);
  if (result) return result - CSTR_EQUAL;
  return a.compare(b);  // a system without the flag: by code point
}

// Shows the arrow on `column`'s heading only.
void ShowSortArrow(HWND header, int column, bool descending) {
  const int count = static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
  for (int c = 0; c < count; ++c) {
    HDITEMA item = {};
    item.mask = HDI_FORMAT;
    SendMessageA(header, HDM_GETITEMA, c, reinterpret_cast<LPARAM>(&item));
    item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
    if (c == column) item.fmt |= descending ? HDF_SORTDOWN : HDF_SORTUP;
    SendMessageA(header, HDM_SETITEMA, c, reinterpret_cast<LPARAM>(&item));
  }
}

}  // namespace

void InsertEntryColumns(CListCtrl& list, int dpi) {
  int index = 0;
  for (const EntryColumn& column : kEntryColumns)
    list.InsertColumn(index++, column.heading, LVCFMT_LEFT, ScaleForDpi(column.width, dpi));
}

char* RowStore::Allocate(size_t size) {
  constexpr size_t kBlockSize = 64 * 1024;
  if (size_ - used_ < size) {
    size_ = std::max(size, kBlockSize);
    blocks_.emplace_back(new char[size_]);
    used_ = 0;
  }
  char* const first = blocks_.back().get() + used_;
  used_ += size;
  return first;
}

const char* RowStore::AddTexts(std::initializer_list<const char*> texts) {
  size_t size = 0;
  for (const char* text : texts) size += std::strlen(text) + 1;
  char* const first = Allocate(size);
  char* next = first;
  for (const char* text : texts) {
    const size_t length = std::strlen(text) + 1;
    std::memcpy(next, text, length);
    next += length;
  }
  return first;
}

const char* RowStore::AddShared(const char* text, size_t length, bool nameFollows) {
  char* const kept = Allocate(length + 2);
  kept[0] = nameFollows ? 1 : 0;
  std::memcpy(kept + 1, text, length);
  kept[length + 1] = '\0';
  return kept + 1;
}

const char* RowStore::KeepLocation(const char* location, const char* name) {
  const size_t length = std::strlen(location), nameLength = std::strlen(name);
  if (lastLocation_ && std::strcmp(lastLocation_, location) == 0) return lastLocation_;
  // A folder before the name: "C:\Startup\" of "C:\Startup\a.lnk" named "a.lnk".
  if (nameLength && nameLength < length && location[length - nameLength - 1] == '\\' &&
      std::memcmp(location + length - nameLength, name, nameLength) == 0) {
    const size_t folderLength = length - nameLength;
    if (!lastFolder_ || lastFolderLength_ != folderLength ||
        std::memcmp(lastFolder_, location, folderLength) != 0) {
      lastFolder_ = AddShared(location, folderLength, true);
      lastFolderLength_ = folderLength;
    }
    return lastFolder_;
  }
  return lastLocation_ = AddShared(location, length, false);
}

const EntryRecord* RowStore::AddRecord(const char* type, const char* name, const char* action,
                                       const char* location, const EntryOwner& owner) {
  // In chunks of a fixed size, not one vector: growing one would move the
  // records, and briefly hold them twice.
  if (records_ % kRecordsPerChunk == 0) chunks_.emplace_back(new EntryRecord[kRecordsPerChunk]);
  EntryRecord& record = chunks_.back()[records_++ % kRecordsPerChunk];
  record.texts = AddTexts({type, name, action});
  record.location = KeepLocation(location, name);
  record.owner = Keep(owner);
  return &record;
}

const EntryOwner* RowStore::Keep(const EntryOwner& owner) {
  if (owners_.empty() || !(*owners_.back() == owner))
    owners_.push_back(std::make_unique<const EntryOwner>(owner));
  return owners_.back().get();
}

const char* RowText(const char* texts, int column) {
  for (int c = 0; c < column; ++c) texts += std::strlen(texts) + 1;
  return texts;
}

void LocationText(const EntryRecord& record, std::string& text) {
  text = record.location;
  if (record.location[-1]) text += RowText(record.texts, 1);
}

EntryRow::EntryRow(const EntryRecord* record, int image, const EntryApproval& approval)
    : record_(record),
      disabledSince_(approval.disabledSince),
      image_(image),
      state_(static_cast<uint8_t>(approval.state)) {}

const char* EntryRow::Text(int column) const {
  if ((column == kPublisherColumn || column == kImagePathColumn) && carried_) return "";
  return SortText(column);
}

const char* EntryRow::SortText(int column) const {
  if (column == kPublisherColumn || column == kImagePathColumn) {
    static std::string made;
    if (!details_) return "";
    // A start-up file that is its own image is there: no "File not found".
    if (column == kPublisherColumn)
      made = PublisherColumnText(*details_);
    else if (imageIsLocation_)
      LocationText(*record_, made);
    else
      made = ImagePathColumnText(*details_);
    return made.c_str();
  }
  if (column == kLocationColumn) {
    static std::string location;
    LocationText(*record_, location);
    return location.c_str();
  }
  if (column < 0 || column >= kColumnCount) return "";
  return RowText(record_->texts, column);
}

int EntryRow::Image() const {
  const bool missing = details_ && !carried_ && details_->imageMissing;
  return missing ? image_ + kMissingProgramImageOffset : image_;
}

std::optional<EntryDetails> EntryRow::Details() const {
  if (!details_ || carried_) return std::nullopt;
  EntryDetails details = *details_;
  if (imageIsLocation_) details.imagePath = Text(3);
  return details;
}

void EntryRow::SetDetails(std::shared_ptr<const EntryDetails> details, bool imageIsLocation) {
  details_ = std::move(details);
  imageIsLocation_ = imageIsLocation;
  carried_ = false;
}

void EntryRow::CarryDetails(const EntryRow& older) {
  details_ = older.details_;
  imageIsLocation_ = older.imageIsLocation_;
  carried_ = true;
}

namespace {

// FNV-1a over the bytes, A-Z as a-z (the C locale's tolower, which the
// program never changes).
void HashLowered(uint64_t& hash, const char* text) {
  for (const char* c = text; *c; ++c) {
    const unsigned char byte = static_cast<unsigned char>(*c);
    hash = (hash ^ (byte >= 'A' && byte <= 'Z' ? byte + ('a' - 'A') : byte)) * 1099511628211ull;
  }
}

}  // namespace

uint64_t RowIdentityHash(const EntryRow& row) {
  uint64_t hash = 1469598103934665603ull;
  for (int column : {0, 3, 1}) {
    // The Location in its parts, without making its text.
    if (column == kLocationColumn) {
      const EntryRecord& record = row.Record();
      HashLowered(hash, record.location);
      if (record.location[-1]) HashLowered(hash, RowText(record.texts, 1));
    } else {
      HashLowered(hash, row.Text(column));
    }
    hash = (hash ^ 0x100) * 1099511628211ull;
  }
  return hash;
}

// Besides the list view's own redraw switch, the window's: while it is off
// the list looks hidden to the system, so that bringing the scroll bars up to
// date at the end does not draw them there and then (each costs milliseconds
// under Wine); the repaint that follows draws them with the rest.
CEntryList::Refill::Refill(CEntryList& list) : list_(list) {
  list_.SendMessage(WM_SETREDRAW, FALSE);
  DefWindowProcA(list_.m_hWnd, WM_SETREDRAW, FALSE, 0);
  list_.DeleteAllItems();  // the control never asks for a row that goes
  list_.KeepRowsForSorting();
  list_.DeleteAllRows();
  list_.m_refilling = true;
}

CEntryList::Refill::~Refill() {
  list_.m_refilling = false;
  list_.SendMessage(LVM_SETITEMCOUNT, list_.m_rows.size(),
                    LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
  list_.Resort();
  list_.m_carried.clear();
  list_.m_lastRows.clear();
  list_.SendMessage(WM_SETREDRAW, TRUE);
  DefWindowProcA(list_.m_hWnd, WM_SETREDRAW, TRUE, 0);
  RedrawWindow(list_.m_hWnd, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

void CEntryList::KeepRowsForSorting() {
  m_carried.clear();
  m_lastRows.clear();
  if (m_sortColumn < kFirstDetailsColumn) return;
  for (const EntryRow& row : m_rows)
    if (row.HasDetails()) m_carried.emplace(RowIdentityHash(row), &row);
  m_lastRows.swap(m_rows);  // the rows stay where they are
}

void CEntryList::AddRow(const char* type, const char* name, const char* action,
                        const char* location, int image, const EntryApproval& approval,
                        const EntryOwner& owner) {
  m_shown.push_back(static_cast<uint32_t>(m_rows.size()));
  m_rows.emplace_back(m_store->AddRecord(type, name, action, location, owner), image, approval);
  if (!m_carried.empty()) {
    const auto older = m_carried.find(RowIdentityHash(m_rows.back()));
    if (older != m_carried.end()) m_rows.back().CarryDetails(*older->second);
  }
  // A refill counts its rows once, at its end: tens of thousands of calls
  // cost more than a large profile's list itself.
  if (!m_refilling)
    SendMessage(LVM_SETITEMCOUNT, m_rows.size(), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
}

const EntryRow* CEntryList::Row(int row) const {
  return row >= 0 && row < RowCount() ? &m_rows[m_shown[static_cast<size_t>(row)]] : nullptr;
}

void CEntryList::SortBy(int column, bool descending) {
  m_sortColumn = column < 0 ? -1 : column;
  m_sortDescending = m_sortColumn >= 0 && descending;
  ShowSortArrow(GetHeaderCtrl(), m_sortColumn, m_sortDescending);
  Resort();
}

bool CEntryList::Resort(bool keepTopRow) {
  const int selected = GetNextItem(-1, LVNI_SELECTED);
  const size_t selectedRow = selected >= 0 ? m_shown[static_cast<size_t>(selected)] : 0;
  const int top = static_cast<int>(SendMessage(LVM_GETTOPINDEX));
  const size_t topRow = top >= 0 && top < RowCount() ? m_shown[static_cast<size_t>(top)] : 0;
  // Back to the order of the scan first; without a sort that is all, and
  // whether rows moved is told without a copy of a large list's order.
  std::vector<uint32_t> before;
  if (m_sortColumn >= 0) before = m_shown;
  bool moved = false;
  for (uint32_t i = 0; i < m_shown.size(); ++i) {
    moved = moved || m_shown[i] != i;
    m_shown[i] = i;
  }
  if (m_sortColumn >= 0) {
    // Many rows share a text (a key's values, a file type), and comparing two
    // long equal texts is slow: each distinct text is ranked once.
    std::unordered_map<std::wstring, size_t> distinct;
    std::vector<const std::wstring*> texts;
    std::vector<size_t> textOf(m_rows.size());
    for (size_t row = 0; row < m_rows.size(); ++row) {
      auto found = distinct.emplace(SortKey(m_rows[row].SortText(m_sortColumn)), texts.size());
      if (found.second) texts.push_back(&found.first->first);
      textOf[row] = found.first->second;
    }
    std::vector<size_t> byText(texts.size());
    for (size_t i = 0; i < byText.size(); ++i) byText[i] = i;
    std::sort(byText.begin(), byText.end(),
              [&](size_t a, size_t b) { return CompareSortKeys(*texts[a], *texts[b]) < 0; });
    std::vector<int> rank(texts.size());
    for (size_t i = 1; i < byText.size(); ++i)
      rank[byText[i]] =
          rank[byText[i - 1]] + (CompareSortKeys(*texts[byText[i - 1]], *texts[byText[i]]) != 0);
    // Equal texts stay in the order of the scan, either way round.
    const int sign = m_sortDescending ? -1 : 1;
    std::stable_sort(m_shown.begin(), m_shown.end(), [&](uint32_t a, uint32_t b) {
      return sign * (rank[textOf[a]] - rank[textOf[b]]) < 0;
    });
  }
  const auto shownAt = [&](size_t row) {
    return static_cast<int>(std::find(m_shown.begin(), m_shown.end(), row) - m_shown.begin());
  };
  if (selected >= 0) {
    const int now = shownAt(selectedRow);
    SetItemState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    SetItemState(now, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    if (!keepTopRow) EnsureVisible(now);
  }
  if (keepTopRow && top >= 0 && top < RowCount()) ScrollToTop(shownAt(topRow));
  InvalidateRect(m_hWnd, nullptr, FALSE);
  return m_sortColumn >= 0 ? m_shown != before : moved;
}

void CEntryList::ScrollToTop(int row) {
  RECT bounds = {LVIR_BOUNDS, 0, 0, 0};
  if (SendMessage(LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&bounds)))
    SendMessage(LVM_SCROLL, 0, (row - SendMessage(LVM_GETTOPINDEX)) * (bounds.bottom - bounds.top));
}

DetailsBatch CEntryList::DetailsRequests() const {
  // Every row added since the store was made is one of its records.
  DetailsBatch batch{m_store, {}, m_store->RecordCount()};
  for (const auto& chunk : m_store->Chunks()) batch.chunks.push_back(chunk.get());
  return batch;
}

void CEntryList::SetRowDetails(int row, std::shared_ptr<const EntryDetails> details,
                               bool imageIsLocation) {
  if (row < 0 || row >= RowCount()) return;
  m_rows[static_cast<size_t>(row)].SetDetails(std::move(details), imageIsLocation);
}

void CEntryList::DeleteAllRows() {
  // The control forgets the rows before they go, so it never asks for one.
  DeleteAllItems();
  m_rows.clear();
  m_shown.clear();
  m_store = std::make_shared<RowStore>();  // the old one goes with the last reader
}

void CEntryList::OnGetDispInfo(NMLVDISPINFOA* info) const {
  LVITEMA& item = info->item;
  if (item.iItem < 0 || item.iItem >= RowCount()) return;
  const EntryRow& row = *Row(item.iItem);
  if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
    // As much as the buffer holds; a reader that wants the whole text asks
    // again with a larger one.
    const char* text = row.Text(item.iSubItem);
    size_t length = std::strlen(text);
    length = WholeCharsLength(text, length, static_cast<size_t>(item.cchTextMax - 1));
    std::memcpy(item.pszText, text, length);
    item.pszText[length] = '\0';
  }
  if (item.mask & LVIF_IMAGE) item.iImage = row.Image();
}

int CEntryList::OnFindItem(const NMHDR* header) const {
  // Wine asks in UTF-16 even a parent that takes its notifications narrow.
  if (header->code == LVN_ODFINDITEMW) {
    const auto* find = reinterpret_cast<const NMLVFINDITEMW*>(header);
    if (!find->lvfi.psz) return -1;
    std::string text;
    NarrowFromWide(find->lvfi.psz, text);
    return FindRow(text.c_str(), find->lvfi.flags, find->iStart);
  }
  const auto* find = reinterpret_cast<const NMLVFINDITEMA*>(header);
  return find->lvfi.psz ? FindRow(find->lvfi.psz, find->lvfi.flags, find->iStart) : -1;
}

int CEntryList::FindRow(const char* text, UINT flags, int start) const {
  const int count = RowCount();
  if (!(flags & (LVFI_STRING | LVFI_PARTIAL)) || count == 0) return -1;
  if (start < 0 || start >= count) start = 0;
  const int steps = (flags & LVFI_WRAP) ? count : count - start;
  const size_t length = std::strlen(text);
  for (int step = 0; step < steps; ++step) {
    const int row = (start + step) % count;
    const char* type = Row(row)->Text(0);
    if (StartsWithLowered(type, text) && ((flags & LVFI_PARTIAL) || std::strlen(type) == length))
      return row;
  }
  return -1;
}

void EntryListSink::AddEntryRow(const char* type, const char* name, const char* action,
                                const char* location, int image, const EntryApproval& approval,
                                const EntryOwner& owner) {
  list_.AddRow(type, name, action, location, image, approval, owner);
}

bool ReadSelectedEntry(const CEntryList& list, SelectedEntry& entry) {
  entry = SelectedEntry();
  if (list.RowCount() <= 0) return false;
  entry = ReadEntryRow(list, list.GetNextItem(-1, LVNI_SELECTED));
  return true;
}

SelectedEntry ReadEntryRow(const CEntryList& list, int index) {
  SelectedEntry entry;
  const EntryRow* row = list.Row(index);
  if (!row) return entry;
  // By fixed index: more columns follow Location.
  entry.type = row->Text(0);
  entry.name = row->Text(1);
  entry.location = row->Text(3);
  entry.owner = row->Owner();
  return entry;
}

bool SelectEntryRow(CEntryList& list, const SelectedEntry& entry, int preferred) {
  auto holds = [&](int index) {
    const EntryRow* row = list.Row(index);
    return row && entry.type == row->Text(0) && entry.name == row->Text(1) &&
           entry.location == row->Text(3) && entry.owner.exactName == row->Owner().exactName;
  };
  const int count = list.RowCount();
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

InventoryRow ListedRow(const CEntryList& list, int index) {
  const EntryRow& row = *list.Row(index);
  InventoryRow listed =
      MakeInventoryRow(row.Text(0), row.Text(1), row.Text(2), row.Text(3), row.Approval());
  // Before the worker got to the row: whose entry it is, which reads no file.
  std::optional<EntryDetails> details = row.Details();
  if (!details) {
    details.emplace();
    details->user = OwnerUserName(row.Owner());
  }
  AddDetails(listed, *details);
  return listed;
}

std::vector<InventoryRow> ListedRows(const CEntryList& list) {
  std::vector<InventoryRow> rows;
  for (int index = 0; index < list.RowCount(); ++index) rows.push_back(ListedRow(list, index));
  return rows;
}
