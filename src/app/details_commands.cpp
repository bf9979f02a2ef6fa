// What the main window does with the rows' details: takes them from the
// worker, shows them in the infotip, and jumps to an entry's key or file.
#include "app/lumivane_dlg.h"
#include "framework/prompts.h"
#include "resource.h"
#include "sources/entry_source.h"
#include "app/wait_cursor.h"

namespace {

// regedit opens at the key it last showed, which it reads from here.
const char kRegeditLastKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Regedit";

// The file Explorer shows selected: a start-up file itself, else the
// program a registry entry starts, once the worker has found it there. The
// window's thread never looks at the image itself: it may never answer.
std::string FileToShow(const CEntryList& list, int row, const SelectedEntry& entry) {
  const EntrySource* source = FindEntrySource(entry.type);
  if (!source) return std::string();
  const std::string file = source->FileOf(entry.location);
  if (!file.empty()) return file;
  const EntryRow* listed = list.Row(row);
  const std::optional<EntryDetails> details = listed ? listed->Details() : std::nullopt;
  return details && !details->imageMissing ? details->imagePath : std::string();
}

// The key of a registry entry, for regedit; empty for any other.
std::string RegistryKeyOf(const SelectedEntry& entry) {
  const EntrySource* source = FindEntrySource(entry.type);
  return source ? source->RegistryKeyOf(entry.location) : std::string();
}

// What the wait for the details lets through: all but the user's input,
// which would start other commands meanwhile.
bool IsInput(const MSG& message) {
  return (message.message >= WM_KEYFIRST && message.message <= WM_KEYLAST) ||
         (message.message >= WM_MOUSEFIRST && message.message <= WM_MOUSELAST) ||
         (message.message >= WM_NCMOUSEMOVE && message.message <= WM_NCXBUTTONDBLCLK);
}

}  // namespace

bool CLumivaneDlg::OnEntryDetails(WPARAM wParam, LPARAM lParam, LRESULT* result) {
  *result = 0;
  if (m_detailsWorker.Deliver(wParam, lParam, m_listEntries)) m_detailsComplete = true;
  ResortForDetails();
  return true;
}

bool CLumivaneDlg::WaitForAllDetails() {
  WaitCursor wait;
  while (!m_detailsComplete) {
    MSG message;
    if (!GetMessageA(&message, nullptr, 0, 0)) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return false;
    }
    if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) return false;
    if (IsInput(message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
    if (!::IsWindow(m_hWnd)) return false;
  }
  return true;
}

void CLumivaneDlg::StartReadingDetails() {
  m_detailsComplete = false;
  m_detailsWorker.Start(m_hWnd, m_listEntries.DetailsRequests());
}

void CLumivaneDlg::UpdateJumpCommands(HMENU menu) {
  SelectedEntry entry;
  ReadSelectedEntry(m_listEntries, entry);
  const int row = m_listEntries.GetNextItem(-1, LVNI_SELECTED);
  EnableMenuItem(menu, ID_TASK_JUMP_TO_ENTRY,
                 MF_BYCOMMAND | (RegistryKeyOf(entry).empty() ? MF_GRAYED : MF_ENABLED));
  EnableMenuItem(
      menu, ID_TASK_OPEN_FILE_LOCATION,
      MF_BYCOMMAND | (FileToShow(m_listEntries, row, entry).empty() ? MF_GRAYED : MF_ENABLED));
}

void CLumivaneDlg::OnJumpToEntry() {
  SelectedEntry entry;
  ReadSelectedEntry(m_listEntries, entry);
  const std::string keyPath = RegistryKeyOf(entry);
  if (keyPath.empty()) return;
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kRegeditLastKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      &key, nullptr) != ERROR_SUCCESS)
    return;
  const std::string lastKey = "Computer\\" + keyPath;
  RegSetValueExA(key, "LastKey", 0, REG_SZ, reinterpret_cast<const BYTE*>(lastKey.c_str()),
                 static_cast<DWORD>(lastKey.size() + 1));
  RegCloseKey(key);
  // -m: a regedit already open would only come forward, at its own key.
  PromptShellOpen(m_hWnd, "open", "regedit.exe", "-m", nullptr, SW_SHOWNORMAL);
}

void CLumivaneDlg::OnOpenFileLocation() {
  SelectedEntry entry;
  ReadSelectedEntry(m_listEntries, entry);
  const std::string file =
      FileToShow(m_listEntries, m_listEntries.GetNextItem(-1, LVNI_SELECTED), entry);
  if (file.empty()) return;
  const std::string select = "/select,\"" + file + "\"";
  PromptShellOpen(m_hWnd, "open", "explorer.exe", select.c_str(), nullptr, SW_SHOWNORMAL);
}

std::string CLumivaneDlg::DetailsTipText(int row) const {
  const EntryRow* listed = m_listEntries.Row(row);
  const std::optional<EntryDetails> details = listed ? listed->Details() : std::nullopt;
  if (!details) return std::string();
  std::string text;
  if (!details->description.empty()) text += "\r\n" + details->description;
  if (!details->version.empty()) text += "\r\nVersion " + details->version;
  switch (details->signature) {
    case ImageSignature::Verified:
      text += "\r\nSignature verified: " + details->signer;
      break;
    case ImageSignature::NotVerified:
      text += "\r\nSignature not verified";
      break;
    case ImageSignature::Unsigned:
      text += "\r\nNot signed";
      break;
    case ImageSignature::Missing:
      text += "\r\nFile not found";
      break;
    case ImageSignature::NotApplicable:
      break;
  }
  return text;
}
