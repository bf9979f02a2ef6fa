// What the main window does with the rows' details: takes them from the
// worker, shows them in the infotip, and jumps to an entry's key or file.
#include "app/lumivane_dlg.h"
#include "framework/prompts.h"
#include "resource.h"
#include "scan/image_resolution.h"

namespace {

// regedit opens at the key it last showed, which it reads from here.
const char kRegeditLastKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Regedit";

// The file Explorer shows selected: a start-up file itself, else the
// program a registry entry starts, when it is there.
std::string FileToShow(const CEntryList& list, int row, const SelectedEntry& entry) {
  if (entry.type == StartupFileType) return entry.location;
  if (entry.type != RegistryEntryType) return std::string();
  const EntryRow* listed = list.Row(row);
  const std::optional<EntryDetails> details = listed ? listed->Details() : std::nullopt;
  if (details) return details->imageMissing ? std::string() : details->imagePath;
  // Before the worker got to the row: the image alone, which is quick.
  const ResolvedImage image = CommandImage(listed->Text(2), listed->Owner().expandCommand,
                                           listed->Owner().kind == EntryOwner::Kind::Hive
                                               ? UserEnvironment::OfHive(listed->Owner().name)
                                               : UserEnvironment::OfThisProcess());
  return image.exists ? image.path : std::string();
}

}  // namespace

bool CLumivaneDlg::OnEntryDetails(WPARAM wParam, LPARAM, LRESULT* result) {
  *result = 0;
  if (m_detailsWorker.Deliver(wParam, m_listEntries)) m_detailsComplete = true;
  ResortForDetails();
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
                 MF_BYCOMMAND | (entry.type == RegistryEntryType ? MF_ENABLED : MF_GRAYED));
  EnableMenuItem(
      menu, ID_TASK_OPEN_FILE_LOCATION,
      MF_BYCOMMAND | (FileToShow(m_listEntries, row, entry).empty() ? MF_GRAYED : MF_ENABLED));
}

void CLumivaneDlg::OnJumpToEntry() {
  SelectedEntry entry;
  ReadSelectedEntry(m_listEntries, entry);
  if (entry.type != RegistryEntryType) return;
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kRegeditLastKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      &key, nullptr) != ERROR_SUCCESS)
    return;
  const std::string lastKey = "Computer\\" + entry.location;
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
