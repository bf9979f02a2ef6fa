#include "actions/entry_actions.h"

#include <commdlg.h>

#include "actions/entry_switch.h"
#include "sources/entry_source_actions.h"
#include "util/file_utils.h"
#include "util/text_encoding.h"

std::wstring ExactValueName(const std::string& name, const EntryOwner& owner) {
  return owner.exactName.empty() ? WideFromCodePage(name) : owner.exactName;
}

bool IsEntryAccessible(const std::string& type, const std::string& name,
                       const std::string& location, const EntryOwner& owner) {
  // Rows of no kind: nothing acts on them.
  const EntrySourceActions* source = FindEntrySourceActions(type);
  return !source || source->IsAccessible(name, location, owner, false);
}

bool IsEntryRemovable(const std::string& type, const std::string& name,
                      const std::string& location, const EntryOwner& owner) {
  const EntrySourceActions* source = FindEntrySourceActions(type);
  return !source || source->IsAccessible(name, location, owner, true);
}

bool RemoveEntry(const std::string& type, const std::string& name, const std::string& location,
                 const EntryOwner& owner) {
  if (!IsEntryAccessible(type, name, location, owner)) return false;
  const EntrySourceActions* source = FindEntrySourceActions(type);
  if (!source || source->RemoveRefusal()) return false;
  const bool gone = source->Remove(name, location, owner);
  // A switch left behind would silently disable a later entry of the same
  // name; an entry that is still there keeps its own.
  if (gone) ForgetEntrySwitch(type, name, location, owner);
  return gone;
}

void BackupEntry(const std::string& type, const std::string& name, const std::string& location,
                 BackupPrompts& prompts, const EntryOwner& owner) {
  const EntrySourceActions* source = FindEntrySourceActions(type);
  if (!source) return;
  if (!IsEntryAccessible(type, name, location, owner)) {
    prompts.Warn(EntryNotAccessible, MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  source->Backup(name, location, prompts, owner);
}

void SaveEntryList(const std::vector<InventoryRow>& rows, BackupPrompts& prompts) {
  std::string path;
  if (!ChooseWritableTarget({"csv", SavedListName, OFN_HIDEREADONLY, CsvFilesFilter}, prompts,
                            path))
    return;
  bool usable = false;
  if (!WriteFileWhole(path.c_str(),
                      InventoryText(rows, InventoryFormat::Csv, CP_ACP, InventoryTarget::File),
                      &usable))
    TellWriteFailure(usable, prompts);
}
