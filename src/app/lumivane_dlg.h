// The main window: the list of start-up entries, four icon buttons, the menu
// bar and the keyboard shortcuts.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "actions/removal_store.h"
#include "app/change_watch.h"
#include "app/details_worker.h"
#include "app/entry_list.h"
#include "app/reorder_click_guard.h"
#include "framework/anchored_layout.h"
#include "framework/controls.h"
#include "framework/dialog.h"

// The keys made sure to exist at start and on closing; nothing is stored in them.
extern const std::string CompanySettingsKey;
extern const std::string ProgramSettingsKey;

class CLumivaneDlg : public CDialog {
 public:
  explicit CLumivaneDlg(CWnd* parent = nullptr);
  ~CLumivaneDlg() override;

  void EnsureSettingsKeys();
  void CreateToolTips();

  // Command handlers.
  void OnRemove();
  void OnBackup();
  void OnSaveList();
  void OnRefresh();
  void OnDisable();  // Disable or Enable, as the selected entry stands
  void OnToggleWatch();
  void OnCopy();              // the selected row as lumivanec writes it, with its header line
  void OnJumpToEntry();       // regedit at the entry's key
  void OnOpenFileLocation();  // Explorer with the entry's file selected
  void OnUndoRemove();        // Ctrl+Z: the last removal made in this window
  void OnRemovedEntries();
  void OnExit();
  void OnManual();
  void OnAbout();
  void OnEditAutoexecBat();
  void OnEditAutoexecNt();
  void OnEditConfigSys();
  void OnEditConfigNt();
  void OnEditSystemIni();
  void OnEditWinIni();
  void OnEditBootIni();

  CEntryList& EntryList() { return m_listEntries; }
  // Every row has its details (after the worker's last message).
  bool DetailsComplete() const { return m_detailsComplete; }
  CToolTipCtrl& ToolTips() { return m_toolTips; }
  // The last fill's parts in milliseconds, for the benchmark: the watch made
  // (or kept), the rows scanned into the list, and the whole fill.
  struct FillTimes {
    double watch = 0, rows = 0, total = 0;
  };
  const FillTimes& LastFillTimes() const { return m_fillTimes; }

 protected:
  void DoDataExchange(CDataExchange* exchange) override;
  BOOL PreTranslateMessage(MSG* msg) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

 private:
  bool OnPaint(WPARAM, LPARAM, LRESULT* result);
  bool OnQueryDragIcon(WPARAM, LPARAM, LRESULT* result);
  // The window moved to a monitor of another DPI: lengths and pictures follow.
  bool OnDpiChanged(WPARAM wParam, LPARAM lParam, LRESULT* result);
  // The button and list pictures at the size for m_dpi.
  void LoadPictures();
  void OnEntryListDblClk(NMHDR* header, LRESULT* result);
  void OnEntryListRDblClk(NMHDR* header, LRESULT* result);
  void OnEntryListGetInfoTip(NMHDR* header, LRESULT* result);
  // Before the menu shows, and before F7 is translated: Disable or Enable,
  // greyed where the selected entry has no switch.
  bool OnInitMenuPopup(WPARAM popup, LPARAM, LRESULT* result);
  void OnEntryListGetDispInfo(NMHDR* header, LRESULT* result);
  void OnEntryListFindItem(NMHDR* header, LRESULT* result);
  // Disable or Enable, and greyed where the selected entry has no switch.
  void UpdateTaskMenu();
  // Greys Remove for a row whose kind refuses it, or makes it usable again:
  // greyed only while a menu shows it, since an accelerator of a greyed item
  // does nothing and F8 is to say why.
  void UpdateRemoveCommand(bool inMenu);

  // Resizing and the layout kept between runs.
  bool OnSize(WPARAM, LPARAM, LRESULT* result);
  bool OnGetMinMaxInfo(WPARAM, LPARAM lParam, LRESULT* result);
  void OnEntryListColumnClick(NMHDR* header, LRESULT* result);
  // Anchors the controls, then puts back the widths, sort and place stored.
  void RestoreLayout();
  void SaveLayout() const;
  // Windows ends without closing the window first: the layout is kept all the same.
  bool OnEndSession(WPARAM ending, LPARAM, LRESULT* result);

  // The shortcut menu of the selected row.
  bool OnContextMenu(WPARAM wParam, LPARAM lParam, LRESULT* result);
  bool OnTimer(WPARAM wParam, LPARAM, LRESULT* result);
  void OnEntryListRClick(NMHDR* header, LRESULT* result);
  void ShowEntryMenu(POINT at);
  // Empties the list and fills it from both scans, under the wait cursor;
  // the rows' details follow from the worker.
  void FillEntryList();
  void StartReadingDetails();
  bool OnEntryDetails(WPARAM wParam, LPARAM lParam, LRESULT* result);
  // Waits until every row has its details, the window answering meanwhile;
  // false when Esc gave up first (or the window went).
  bool WaitForAllDetails();
  // Sorted by Publisher or Image Path: sorts again as the details arrive.
  void ResortForDetails();
  static void CALLBACK OnDetailsSortTimer(HWND window, UINT, UINT_PTR, DWORD);
  // Greys the jump commands where the selected entry has nowhere to go.
  void UpdateJumpCommands(HMENU menu);
  // The infotip's lines about the row's program; empty before its details.
  std::string DetailsTipText(int row) const;
  // Writes a removed entry back, asking before it replaces what is there now
  // and warning (in boxes owned by `owner`) when it cannot; then the list
  // shows it selected and the record is gone. False when nothing was written.
  bool RestoreRemoved(const RemovalRecord& record, const CWnd& owner);

  // The list follows the machine (watch_commands.cpp).
  // Watches, or not, as the user last chose.
  void StartWatch();
  // Watches, or not, as m_watchOn says; the menu item shows which.
  void ApplyWatchSetting();
  // Watches the keys and folders there are now, before each fill.
  void RebuildWatch();
  bool OnWatchChanged(WPARAM wParam, LPARAM lParam, LRESULT* result);
  static void CALLBACK OnWatchTimer(HWND window, UINT, UINT_PTR, DWORD);
  bool OnEnterMenuLoop(WPARAM, LPARAM, LRESULT*);
  bool OnExitMenuLoop(WPARAM, LPARAM, LRESULT*);
  // Not while the user is in the middle of something the rows must hold still for.
  bool WatchRefreshAllowed() const;
  // A refresh that keeps the selection, the focus and the scroll position.
  void RefreshFromWatch();
  // Rows not there when the window opened are new; called after every fill.
  void MarkNewRows();
  // The time a row first appeared since the window opened, or empty.
  std::string NewSinceText(int row) const;
  void OnEntryListCustomDraw(NMHDR* header, LRESULT* result);

  static constexpr UINT_PTR kEntryMenuTimer = 1;
  static constexpr UINT_PTR kDetailsSortTimer = 2;
  static constexpr DWORD kDetailsSortInterval = 500;  // ms between sorts as details arrive

  HICON m_hIcon;
  CEntryList m_listEntries;
  CButton m_btnRemove;
  CButton m_btnBackup;
  CButton m_btnRefresh;
  CButton m_btnExit;
  CToolTipCtrl m_toolTips;
  CImageList m_entryImages;  // the list control destroys the images with itself
  int m_dpi = kDefaultDpi;   // what the columns and pictures are sized for
  CAnchoredLayout m_layout;
  ReorderClickGuard m_clickGuard;
  POINT m_rightClickAt = {};       // where the menu of a single right click opens
  DWORD m_rightDoubleClickAt = 0;  // when the last right double click came
  RemovalStore m_removals;
  // This window's removals, oldest first, as they were kept: Ctrl+Z trusts
  // no file for what to write back.
  std::vector<RemovalRecord> m_removedHere;

  static constexpr UINT kWatchChangedMessage = WM_APP + 21;
  ChangeWatch m_watch{kWatchChangedMessage};
  bool m_watchOn = true;
  int m_menuDepth = 0;            // menus open, the shortcut menu included
  bool m_changesPending = false;  // seen by the watch, not shown yet
  DWORD m_firstChangeAt = 0;      // the first of them
  bool m_rowsAtOpenKnown = false;
  // Rows by a hash of their identity: a refill with many rows pays no allocation.
  std::vector<uint64_t> m_rowsAtOpen;                    // sorted
  std::unordered_map<uint64_t, std::string> m_newSince;  // -> "HH:MM" it appeared
  HFONT m_listFont = nullptr;                            // the one m_boldFont was made from
  HFONT m_boldFont = nullptr;
  DetailsWorker m_detailsWorker;
  FillTimes m_fillTimes;
  bool m_detailsComplete = false;
  DWORD m_detailsSortedAt = 0;
};
