#include "app/removed_entries_dlg.h"

#include <utility>

#include "actions/removal_undo.h"
#include "framework/message_map.h"
#include "resource.h"
#include "util/time_text.h"

CRemovedEntriesDlg::CRemovedEntriesDlg(CWnd* parent, RemovalStore& store, RestoreHandler restore)
    : CDialog(IDD_REMOVED_ENTRIES, parent), m_store(store), m_restore(std::move(restore)) {}

bool CRemovedEntriesDlg::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  using D = CRemovedEntriesDlg;
  static const MessageMap<D> map = {
      OnCommand(IDC_RESTORE_REMOVED, &D::OnRestore),
      OnCommand(IDC_DELETE_REMOVED, &D::OnDelete),
  };
  return map.Dispatch(*this, message, wParam, lParam, result);
}

void CRemovedEntriesDlg::DoDataExchange(CDataExchange* exchange) {
  CDialog::DoDataExchange(exchange);
  DDX_Control(exchange, IDC_REMOVED_LIST, m_listRecords);
}

BOOL CRemovedEntriesDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_listRecords.SetExtendedStyle(m_listRecords.GetExtendedStyle() | LVS_EX_FULLROWSELECT |
                                 LVS_EX_GRIDLINES);
  const struct {
    const char* heading;
    int width;
  } columns[] = {{"Time", 140}, {"Type", 70}, {"Name", 130}, {"Command", 250}, {"Location", 300}};
  int index = 0;
  for (const auto& column : columns)
    m_listRecords.InsertColumn(index++, column.heading, LVCFMT_LEFT,
                               ScaleForDpi(column.width, GetDpi()));
  FillRecordList();
  return TRUE;
}

void CRemovedEntriesDlg::FillRecordList() {
  m_records = m_store.List();
  m_listRecords.DeleteAllItems();
  for (size_t i = 0; i < m_records.size(); ++i) {
    const RemovalRecord& record = m_records[i];
    const std::string time = LocalDateTimeText(record.removedAt);
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(i);
    item.pszText = const_cast<char*>(time.c_str());
    const int row = m_listRecords.InsertItem(&item);
    m_listRecords.SetItemText(row, 1, record.type.c_str());
    m_listRecords.SetItemText(row, 2, record.name.c_str());
    // What would run again, and from where, before the user says Restore.
    m_listRecords.SetItemText(row, 3, RemovalCommandText(record).c_str());
    m_listRecords.SetItemText(row, 4, record.location.c_str());
  }
  if (!m_records.empty())
    m_listRecords.SetItemState(0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

const RemovalRecord* CRemovedEntriesDlg::SelectedRecord() const {
  const int row = m_listRecords.GetNextItem(-1, LVNI_SELECTED);
  return row >= 0 && row < static_cast<int>(m_records.size()) ? &m_records[row] : nullptr;
}

void CRemovedEntriesDlg::OnRestore() {
  const RemovalRecord* record = SelectedRecord();
  if (!record) return;
  if (MessageBox("Restore this item?", "Question", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  if (m_restore(*record, *this)) FillRecordList();
}

void CRemovedEntriesDlg::OnDelete() {
  const RemovalRecord* record = SelectedRecord();
  if (!record) return;
  m_store.Drop(record->id);
  FillRecordList();
}
