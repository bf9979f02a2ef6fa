// File > Removed Entries...: the removals the store keeps, newest first, each
// of which can be restored or deleted.
#pragma once

#include <functional>
#include <vector>

#include "actions/removal_store.h"
#include "framework/controls.h"
#include "framework/dialog.h"

class CRemovedEntriesDlg : public CDialog {
 public:
  // `restore` writes a record back, asking and warning as it needs to (its
  // boxes owned by the window given), and says whether it did.
  using RestoreHandler = std::function<bool(const RemovalRecord&, const CWnd& owner)>;
  CRemovedEntriesDlg(CWnd* parent, RemovalStore& store, RestoreHandler restore);

  CListCtrl& RecordList() { return m_listRecords; }

 protected:
  void DoDataExchange(CDataExchange* exchange) override;
  BOOL OnInitDialog() override;
  bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

 private:
  void OnRestore();
  void OnDelete();
  void FillRecordList();
  // The selected row's record, or null.
  const RemovalRecord* SelectedRecord() const;

  RemovalStore& m_store;
  RestoreHandler m_restore;
  std::vector<RemovalRecord> m_records;  // as listed, row by row
  CListCtrl m_listRecords;
};
