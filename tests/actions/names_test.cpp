// Names as Run values, commands, start-up files and folders, in UTF-8 and in legacy code pages.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <filesystem>
#include <fstream>

#include "actions/entry_actions.h"
#include "actions/entry_switch.h"
#include "scan/recording_sink.h"
#include "sources/registry/registry_scan.h"
#include "sources/startup_folder/startup_folder_scan.h"
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

// The names of the Run key, counted (a NUL is part of a name).
std::set<std::wstring> RunValueNames() {
  std::set<std::wstring> names;
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, (kKey + L"Run").c_str(), 0, KEY_READ, &key)) return names;
  wchar_t name[16384];
  for (DWORD i = 0, n = 16384; !RegEnumValueW(key, i, name, &n, 0, 0, 0, 0); ++i, n = 16384)
    names.insert(std::wstring(name, n));
  RegCloseKey(key);
  return names;
}

// Names no narrow text carries exactly, beside names that read alike once cut
// or once a NUL ends them: each is listed once as written here, Remove deletes
// it alone, and Disable and Backup refuse what the row's text cannot name.
TEST(Names, HostileValueNamesAreListedAndActedOnExactly) {
  RegistrySandbox sandbox;
  const struct {
    std::wstring name, shown;  // shown: U+FFFD for what the row cannot show
    std::string data;
    bool exact;  // the shown text gives the name back
  } values[] = {
      {std::wstring(150, L'\xE9'), std::wstring(150, L'\xE9'), "e150.exe", true},
      {std::wstring(127, L'\xE9'), std::wstring(127, L'\xE9'), "e127.exe", true},
      {L"Updater", L"Updater", "real.exe", true},
      {std::wstring(L"Updater\0x", 9), L"Updater\xFFFDx", "nul.exe", false},
      {std::wstring(L"\0first", 6), L"\xFFFD" L"first", "first.exe", false},
      {L"A\xD800", L"A\xFFFD", std::string(600, 'd'), false},
  };
  using SetValueKey = LONG(NTAPI*)(HANDLE, void*, ULONG, ULONG, const void*, ULONG);
  const auto setValueKey = reinterpret_cast<SetValueKey>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtSetValueKey")));
  HKEY key;
  ASSERT_EQ(0, RegCreateKeyExW(HKEY_CURRENT_USER, (kKey + L"Run").c_str(), 0, nullptr, 0,
                               KEY_SET_VALUE, nullptr, &key, nullptr));
  for (const auto& v : values) {  // natively: the registry functions end a name at a NUL
    const std::wstring data = WideFromCodePage(v.data);
    const USHORT bytes = static_cast<USHORT>(v.name.size() * 2);
    struct { USHORT length, maximum; const wchar_t* buffer; } name = {bytes, bytes, v.name.data()};
    EXPECT_EQ(0, setValueKey(key, &name, 0, REG_SZ, data.c_str(), (data.size() + 1) * 2));
  }
  RegCloseKey(key);
  RecordingSink sink;
  ScanRegistry(sink);
  ASSERT_EQ(sink.rows.size(), std::size(values));
  TempFolder backups;
  for (const auto& v : values) {
    const std::string shown = Narrow(v.shown);
    SCOPED_TRACE(Utf8FromCodePage(shown));
    const auto row = std::find_if(sink.rows.begin(), sink.rows.end(),
                                  [&](const RecordedRow& r) { return r.name == shown; });
    ASSERT_NE(row, sink.rows.end());
    const EntryOwner& owner = sink.owners[row - sink.rows.begin()];
    EXPECT_EQ(row->action, v.data);
    EXPECT_EQ(row->location, "HKEY_CURRENT_USER\\" + Narrow(kKey) + "Run");
    const bool plain = v.exact && WideFromCodePage(shown) == v.name;  // 932 lacks 'é'
    EXPECT_EQ(owner.exactName, plain ? std::wstring() : v.name);
    ChosenPathPrompts prompts(backups / "b.reg");
    BackupEntry(row->type, row->name, row->location, prompts, owner);
    EXPECT_EQ(prompts.dialogs, plain ? 1 : 0);
    EXPECT_EQ(SwitchEntry(row->type, row->name, row->location, true, owner) == ERROR_INVALID_NAME,
              !plain);
    std::set<std::wstring> left = RunValueNames();
    ASSERT_TRUE(RemoveEntry(row->type, row->name, row->location, owner));
    left.erase(v.name);
    EXPECT_EQ(RunValueNames(), left);
  }
}

// A start-up file whose path is longer than MAX_PATH bytes in UTF-8 (a name
// alone cannot be, nor hold a lone surrogate: Wine keeps names as Unix ones,
// UTF-8 of 255 bytes at most) is listed whole and removed.
TEST(Names, AStartupFileWithALongPathIsListedAndRemoved) {
  RegistrySandbox sandbox;
  TempFolder temp;
  RegistrySandbox::SetString(HKEY_CURRENT_USER, Narrow(kKey) + "Explorer\\Shell Folders",
                             "Startup", temp.Path());
  const std::wstring name = std::wstring(100, L'\xE9') + L"\\" + std::wstring(120, L'\xE9') + L".lnk";
  const std::wstring path = WideFromCodePage(temp.Path()) + L"\\" + name;
  ASSERT_TRUE(CreateDirectoryW(path.substr(0, path.rfind(L'\\')).c_str(), nullptr));
  CloseHandle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  RecordingSink sink;
  ScanStartupFolders(sink);
  ASSERT_EQ(sink.rows.size(), 1u);
  EXPECT_EQ(sink.rows[0].location, temp.Path() + "\\" + Narrow(name));
  const bool accentShown = GetACP() != 932;  // 932 has no 'é': shown '?', refused
  EXPECT_EQ(RemoveEntry(StartupFileType, sink.rows[0].name, sink.rows[0].location, sink.owners[0]),
            accentShown);
  EXPECT_EQ(GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES, !accentShown);
  std::filesystem::remove_all(path.substr(0, path.rfind(L'\\')));
}
}  // namespace
