#include "app/lumivane_dlg.h"

#include <chrono>

#include "app/entry_list.h"
#include "app/wait_cursor.h"
#include "framework/message_map.h"
#include "framework/win_app.h"
#include "resource.h"
#include "scan/registry_access.h"
#include "sources/entry_source.h"

const std::string CompanySettingsKey = "Software\\Ombrelle Studios";
const std::string ProgramSettingsKey = "Software\\Ombrelle Studios\\Lumivane";

CLumivaneDlg::CLumivaneDlg(CWnd* parent)
    : CDialog(IDD_LUMIVANE_DIALOG, parent),
      m_hIcon(LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME))) {}

CLumivaneDlg::~CLumivaneDlg() {
  if (m_boldFont) DeleteObject(m_boldFont);
}

namespace {

// The commands that act on the selected row (Enter ends the program: a key
// meant for the row is no less held back).
bool ActsOnSelectedRow(UINT command) {
  switch (command) {
    case IDOK:
    case IDC_REMOVE:
    case IDC_BACKUP:
    case ID_TASK_REMOVE:
    case ID_TASK_BACKUP:
    case ID_TASK_DISABLE:
    case ID_TASK_COPY:
    case ID_TASK_JUMP_TO_ENTRY:
    case ID_TASK_OPEN_FILE_LOCATION:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool CLumivaneDlg::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  // Keys, buttons and menu items alike, right after the selected row changed
  // under the user.
  if (message == WM_COMMAND && HIWORD(wParam) <= 1 && ActsOnSelectedRow(LOWORD(wParam)) &&
      !m_clickGuard.AllowsRowAction()) {
    MessageBeep(MB_OK);
    *result = 0;
    return true;
  }
  using D = CLumivaneDlg;
  static const MessageMap<D> map = {
      OnMessage(WM_PAINT, &D::OnPaint),
      OnMessage(WM_QUERYDRAGICON, &D::OnQueryDragIcon),
      OnMessage(WM_INITMENUPOPUP, &D::OnInitMenuPopup),
      OnMessage(WM_DPICHANGED, &D::OnDpiChanged),
      OnMessage(WM_SIZE, &D::OnSize),
      OnMessage(WM_GETMINMAXINFO, &D::OnGetMinMaxInfo),
      OnMessage(WM_CONTEXTMENU, &D::OnContextMenu),
      OnMessage(WM_TIMER, &D::OnTimer),
      OnMessage(WM_ENDSESSION, &D::OnEndSession),
      OnMessage(kWatchChangedMessage, &D::OnWatchChanged),
      OnMessage(WM_ENTERMENULOOP, &D::OnEnterMenuLoop),
      OnMessage(WM_EXITMENULOOP, &D::OnExitMenuLoop),
      OnNotify(IDC_ENTRY_LIST, NM_CUSTOMDRAW, &D::OnEntryListCustomDraw),
      OnMessage(WM_ENTRY_DETAILS, &D::OnEntryDetails),
      OnNotify(IDC_ENTRY_LIST, NM_DBLCLK, &D::OnEntryListDblClk),
      OnNotify(IDC_ENTRY_LIST, NM_RDBLCLK, &D::OnEntryListRDblClk),
      OnNotify(IDC_ENTRY_LIST, NM_RCLICK, &D::OnEntryListRClick),
      OnNotify(IDC_ENTRY_LIST, LVN_COLUMNCLICK, &D::OnEntryListColumnClick),
      OnNotify(IDC_ENTRY_LIST, LVN_GETINFOTIPA, &D::OnEntryListGetInfoTip),
      OnNotify(IDC_ENTRY_LIST, LVN_GETDISPINFOA, &D::OnEntryListGetDispInfo),
      OnNotify(IDC_ENTRY_LIST, LVN_ODFINDITEMA, &D::OnEntryListFindItem),
      OnNotify(IDC_ENTRY_LIST, LVN_ODFINDITEMW, &D::OnEntryListFindItem),
      OnCommand(IDC_REMOVE, &D::OnRemove),
      OnCommand(IDC_BACKUP, &D::OnBackup),
      OnCommand(IDC_REFRESH, &D::OnRefresh),
      OnCommand(IDC_EXIT, &D::OnExit),
      OnCommand(ID_HELP_MANUAL, &D::OnManual),
      OnCommand(ID_HELP_ABOUT, &D::OnAbout),
      OnCommand(ID_FILE_SAVE_LIST, &D::OnSaveList),
      OnCommand(ID_FILE_EXIT, &D::OnExit),
      OnCommand(ID_TASK_REMOVE, &D::OnRemove),
      OnCommand(ID_TASK_BACKUP, &D::OnBackup),
      OnCommand(ID_TASK_REFRESH, &D::OnRefresh),
      OnCommand(ID_TASK_DISABLE, &D::OnDisable),
      OnCommand(ID_TASK_COPY, &D::OnCopy),
      OnCommand(ID_TASK_WATCH, &D::OnToggleWatch),
      OnCommand(ID_TASK_JUMP_TO_ENTRY, &D::OnJumpToEntry),
      OnCommand(ID_TASK_OPEN_FILE_LOCATION, &D::OnOpenFileLocation),
      OnCommand(ID_FILE_REMOVED_ENTRIES, &D::OnRemovedEntries),
      OnCommand(ID_EDIT_UNDO_REMOVE, &D::OnUndoRemove),
      OnCommand(ID_EXTRAS_AUTOEXEC_BAT, &D::OnEditAutoexecBat),
      OnCommand(ID_EXTRAS_AUTOEXEC_NT, &D::OnEditAutoexecNt),
      OnCommand(ID_EXTRAS_CONFIG_SYS, &D::OnEditConfigSys),
      OnCommand(ID_EXTRAS_CONFIG_NT, &D::OnEditConfigNt),
      OnCommand(ID_EXTRAS_SYSTEM_INI, &D::OnEditSystemIni),
      OnCommand(ID_EXTRAS_WIN_INI, &D::OnEditWinIni),
      OnCommand(ID_EXTRAS_BOOT_INI, &D::OnEditBootIni),
  };
  return map.Dispatch(*this, message, wParam, lParam, result);
}

void CLumivaneDlg::DoDataExchange(CDataExchange* exchange) {
  CDialog::DoDataExchange(exchange);
  DDX_Control(exchange, IDC_ENTRY_LIST, m_listEntries);
  DDX_Control(exchange, IDC_REMOVE, m_btnRemove);
  DDX_Control(exchange, IDC_BACKUP, m_btnBackup);
  DDX_Control(exchange, IDC_REFRESH, m_btnRefresh);
  DDX_Control(exchange, IDC_EXIT, m_btnExit);
}

BOOL CLumivaneDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetIcon(m_hIcon, true);
  SetIcon(m_hIcon, false);

  m_dpi = GetDpi();
  LoadPictures();
  m_listEntries.SetExtendedStyle(m_listEntries.GetExtendedStyle() | LVS_EX_GRIDLINES |
                                 LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
  InsertEntryColumns(m_listEntries, m_dpi);
  RestoreLayout();

  EnsureSettingsKeys();
  CreateToolTips();
  StartWatch();
  FillEntryList();
  return TRUE;
}

void CLumivaneDlg::FillEntryList() {
  using Clock = std::chrono::steady_clock;
  auto milliseconds = [](Clock::duration span) {
    return std::chrono::duration<double, std::milli>(span).count();
  };
  const Clock::time_point start = Clock::now();
  m_detailsWorker.Cancel();
  RebuildWatch();
  const Clock::time_point watched = Clock::now();
  {
    WaitCursor wait;
    CEntryList::Refill refill(m_listEntries);
    EntryListSink sink(m_listEntries);
    ScanEntrySources(sink);
    MarkNewRows();
  }
  const Clock::time_point listed = Clock::now();
  StartReadingDetails();
  m_fillTimes = {milliseconds(watched - start), milliseconds(listed - watched),
                 milliseconds(Clock::now() - start)};
}

void CLumivaneDlg::OnRefresh() {
  FillEntryList();
}

void CLumivaneDlg::EnsureSettingsKeys() {
  const struct {
    HKEY root;
    const std::string& subKey;
  } keys[] = {{HKEY_LOCAL_MACHINE, CompanySettingsKey},
              {HKEY_LOCAL_MACHINE, ProgramSettingsKey},
              {HKEY_CURRENT_USER, CompanySettingsKey},
              {HKEY_CURRENT_USER, ProgramSettingsKey}};
  // Failures (no write access to the machine's keys, say) are of no concern.
  for (const auto& key : keys) {
    // The handle is closed at once: reading is the least it may be asked for.
    // The machine's keys live in the 64-bit view, as every other machine key
    // this program names, whichever build runs; no child inherits the handle.
    REGSAM access = KEY_QUERY_VALUE;
    if (key.root == HKEY_LOCAL_MACHINE && MachineHas32BitRegistryView()) access |= KEY_WOW64_64KEY;
    HKEY created = nullptr;
    if (RegCreateKeyExA(key.root, key.subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                        nullptr, &created, nullptr) == ERROR_SUCCESS)
      RegCloseKey(created);
  }
}

void CLumivaneDlg::CreateToolTips() {
  if (m_toolTips.IsWindow()) return;
  if (!m_toolTips.Create(this, WS_POPUP)) return;
  m_toolTips.AddTool(this, &m_btnRemove, "Remove (F8)");
  m_toolTips.AddTool(this, &m_btnBackup, "Backup (F9)");
  m_toolTips.AddTool(this, &m_btnRefresh, "Refresh (F5)");
  m_toolTips.AddTool(this, &m_btnExit, "Exit (Ctrl+Q or Escape)");
  m_toolTips.Activate(true);
}

BOOL CLumivaneDlg::PreTranslateMessage(MSG* msg) {
  // The buttons are not subclassed: the tooltips see the mouse only through here.
  CreateToolTips();
  m_toolTips.RelayEvent(msg);
  // The context-menu key: not every system's list makes a menu request of it
  // (Wine's does not), so the list never sees it and asks once, on release.
  if ((msg->message == WM_KEYDOWN || msg->message == WM_KEYUP) && msg->wParam == VK_APPS &&
      msg->hwnd == m_listEntries.m_hWnd) {
    if (msg->message == WM_KEYUP)
      SendMessage(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(m_listEntries.m_hWnd), -1);
    return TRUE;
  }
  return CDialog::PreTranslateMessage(msg);
}

bool CLumivaneDlg::OnPaint(WPARAM, LPARAM, LRESULT* result) {
  if (!IsIconic(m_hWnd)) return false;  // the dialog's own painting
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(m_hWnd, &paint);
  SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  GetClientRect(m_hWnd, &client);
  int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
  int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc, x, y, m_hIcon);
  EndPaint(m_hWnd, &paint);
  *result = 0;
  return true;
}

bool CLumivaneDlg::OnQueryDragIcon(WPARAM, LPARAM, LRESULT* result) {
  *result = reinterpret_cast<LRESULT>(m_hIcon);
  return true;
}

void CLumivaneDlg::OnEntryListDblClk(NMHDR*, LRESULT* result) {
  if (m_clickGuard.AllowsDoubleClick()) OnRemove();
  *result = 0;
}

void CLumivaneDlg::OnEntryListRDblClk(NMHDR*, LRESULT* result) {
  // The first click's menu is not to come: this was a double click.
  KillTimer(m_hWnd, kEntryMenuTimer);
  m_rightDoubleClickAt = GetTickCount();
  if (m_clickGuard.AllowsDoubleClick()) OnBackup();
  *result = 0;
}

void CLumivaneDlg::OnEntryListGetDispInfo(NMHDR* header, LRESULT* result) {
  m_listEntries.OnGetDispInfo(reinterpret_cast<NMLVDISPINFOA*>(header));
  *result = 0;
}

void CLumivaneDlg::OnEntryListFindItem(NMHDR* header, LRESULT* result) {
  *result = m_listEntries.OnFindItem(header);
}

void CLumivaneDlg::OnOK() {
  SaveLayout();
  m_watch.Stop();
  m_detailsWorker.Stop();
  EnsureSettingsKeys();
  CDialog::OnOK();
}

void CLumivaneDlg::OnCancel() {
  SaveLayout();
  m_watch.Stop();
  m_detailsWorker.Stop();
  EnsureSettingsKeys();
  CDialog::OnCancel();
}

void CLumivaneDlg::OnExit() {
  OnCancel();
}
