// Names as Run values, commands, start-up files and folders, in UTF-8 and in legacy code pages.
#include <gtest/gtest.h>

#include <set>
#include <filesystem>
#include <fstream>

#include "actions/entry_switch.h"
#include "scan/recording_sink.h"
#include "scan/registry_scan.h"
#include "scan/startup_folder_scan.h"
#include "support/chosen_path_prompts.h"
#include "support/registry_sandbox.h"
#include "support/temp_folder.h"
#include "util/text_encoding.h"

namespace {

// Two read alike in 1252, fullwidth, astral, combining, RTL, and ソ (0x5C trail byte in 932).
const std::wstring kNames[] = {L"Обновление",   L"微信",    L"钉钉",
                               L"\xFF35pdater", L"Updater", L"Go\U0001F680",
                               L"Cafe\x0301",   L"עברית",   L"ソフト"};
const std::wstring kKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\";
const std::wstring kTrees[] = {L"R:Run", L"A:Explorer\\StartupApproved\\Run",
                               L"A:Explorer\\StartupApproved\\StartupFolder"};

std::string Narrow(const std::wstring& wide) {
  std::string narrow;
  NarrowFromWide(wide, narrow);
  return narrow;
}

std::set<std::wstring> RealEntries(const std::wstring& root) {
  std::set<std::wstring> now;
  for (const std::wstring& tree : kTrees) {
    HKEY key;
    wchar_t name[256];
    if (RegOpenKeyExW(HKEY_CURRENT_USER, (kKey + tree.substr(2)).c_str(), 0, KEY_READ, &key))
      continue;
    for (DWORD i = 0, n = 256; !RegEnumValueW(key, i, name, &n, 0, 0, 0, 0); ++i, n = 256)
      now.insert(tree.substr(0, 2) + std::wstring(name, n));
    RegCloseKey(key);
  }
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
    now.insert(L"F:" + entry.path().wstring());
  return now;
}

TEST(Names, EveryEntryListedOnceAndOnlyAnExactNameActedOn) {
  RegistrySandbox sandbox;
  TempFolder temp, backups;
  const std::wstring root = WideFromCodePage(temp.Path());
  RegistrySandbox::SetString(HKEY_CURRENT_USER, Narrow(kKey) + "Explorer\\Shell Folders", "Startup",
                             temp.Path());
  for (const std::wstring& name : kNames) {
    const std::wstring command = L"C:\\Apps\\" + name + L".exe";
    RegSetKeyValueW(HKEY_CURRENT_USER, (kKey + L"Run").c_str(), name.c_str(), REG_SZ,
                    command.c_str(), static_cast<DWORD>(command.size() + 1) * 2);
    std::filesystem::create_directory(root + L"\\" + name);
    std::ofstream(std::filesystem::path(root + L"\\" + name + L".exe"));
    std::ofstream(std::filesystem::path(root + L"\\" + name + L"\\a"));
  }
  RecordingSink sink;
  ScanRegistry(sink);
  ScanStartupFolders(sink);
  EXPECT_EQ(sink.rows.size(), std::size(kNames) * 3);  // each value, file and file in a folder
  const std::string text = InventoryText(ScanInventory(), InventoryFormat::Tabs);
  for (const RecordedRow& row : sink.rows) {
    SCOPED_TRACE(Utf8FromCodePage(row.location + " | " + row.name));
    // Exact when the texts name a real entry; a switch only for top-level files.
    const bool registry = row.type == RegistryEntryType;
    std::set<std::wstring> before = RealEntries(root);
    const std::wstring entry =
        (registry ? L"R:" : L"F:") + WideFromCodePage(registry ? row.name : row.location);
    const bool exact = before.count(entry) == 1;
    if (exact && registry) {
      EXPECT_EQ(row.action, "C:\\Apps\\" + row.name + ".exe");
    }
    if (exact && !registry) {
      EXPECT_EQ(row.name, Narrow(entry.substr(entry.rfind(L'\\') + 1)));
    }
    if (exact) {
      EXPECT_NE(text.find(Utf8FromCodePage(row.name)), std::string::npos);
    }
    EXPECT_EQ(IsEntryAccessible(row.type, row.name, row.location), exact);
    const LONG switched = SwitchEntry(row.type, row.name, row.location, true);
    ChosenPathPrompts prompts(backups / "backup");
    BackupEntry(row.type, row.name, row.location, prompts);
    EXPECT_EQ(prompts.dialogs, exact ? 1 : 0);
    if (!exact) {
      EXPECT_EQ(prompts.warnings, std::vector<std::string>{EntryNotAccessible});
    }
    EXPECT_EQ(switched == ERROR_INVALID_NAME, !exact);
    if (exact && (registry || row.location == Narrow(root + L"\\") + row.name)) {
      EXPECT_EQ(RealEntries(root).count(L"A:" + WideFromCodePage(row.name)), 1u);
    }
    RemoveEntry(row.type, row.name, row.location);
    before.erase(entry);
    EXPECT_EQ(RealEntries(root), before);
  }
  std::filesystem::remove_all(root);  // with the names the narrow clean-up cannot reach
}
}  // namespace
