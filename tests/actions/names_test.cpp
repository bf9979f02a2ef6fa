// One table of names in many scripts, as Run values with their commands, as
// start-up files and as start-up folders. Built with the program's manifest
// (UTF-8) and without it, where the legacy code page carries some names and
// every action must refuse the rows of the others.
#include <gtest/gtest.h>

#include <algorithm>

#include "actions/entry_actions.h"
#include "actions/entry_switch.h"
#include "scan/recording_sink.h"
#include "scan/registry_scan.h"
#include "scan/startup_folder_scan.h"
#include "support/registry_sandbox.h"
#include "support/temp_folder.h"
#include "util/string_utils.h"
#include "util/text_encoding.h"

namespace {

// Cyrillic, Chinese (two that a legacy code page reads alike), fullwidth
// beside ASCII, beyond the BMP, a combining accent, right to left, and ソ,
// whose second byte in code page 932 is a backslash.
const wchar_t* const kNames[] = {L"Обновление", L"微信",       L"钉钉",  L"\xFF35pdater",
                                 L"Updater",    L"Go\U0001F680", L"Cafe\x0301", L"עברית",
                                 L"ソフト"};
const wchar_t kRun[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kApproved[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\";

std::string Narrow(const std::wstring& wide, bool* exact = nullptr) {
  std::string narrow;
  const bool carried = NarrowFromWide(wide, narrow);
  if (exact) *exact = carried;
  return narrow;
}

// What is really there: the Run values, the switches and the folder tree.
void List(std::vector<std::wstring>& out, const std::wstring& tag, const std::wstring& key) {
  HKEY k;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &k)) return;
  wchar_t name[256];
  for (DWORD i = 0, n = 256; !RegEnumValueW(k, i, name, &n, 0, 0, 0, 0); ++i, n = 256)
    out.push_back(tag + std::wstring(name, n));
  RegCloseKey(k);
}
void Tree(std::vector<std::wstring>* out, const std::wstring& folder, bool erase = false) {
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
  for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &found)) {
    const std::wstring path = folder + L"\\" + found.cFileName;
    if (found.cFileName[0] == L'.') continue;
    if (out) out->push_back(L"F:" + path);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) Tree(out, path, erase);
    if (erase) (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? RemoveDirectoryW : DeleteFileW)(path.c_str());
  }
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
}

struct RefusingPrompts : BackupPrompts {
  bool ChooseTarget(const SaveFileRequest&, std::string&) override { return false; }
  int Warn(const std::string& text, UINT) override { return warned.push_back(text), IDOK; }
  void Fail(const std::string& text) override { warned.push_back(text); }
  std::vector<std::string> warned;
};

class Names : public ::testing::Test {
 protected:
  void SetUp() override {
    RegistrySandbox::SetString(HKEY_CURRENT_USER,
                               "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                               "Startup", temp_.Path());
    for (const std::wstring name : kNames) {
      const std::wstring command = L"C:\\Apps\\" + name + L".exe";
      RegSetKeyValueW(HKEY_CURRENT_USER, kRun, name.c_str(), REG_SZ, command.c_str(),
                      static_cast<DWORD>(command.size() + 1) * sizeof(wchar_t));
      CreateDirectoryW((root_ + L"\\" + name).c_str(), nullptr);
      for (const std::wstring file : {root_ + L"\\" + name + L".exe", root_ + L"\\" + name + L"\\a.exe"})
        CloseHandle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    }
  }
  void TearDown() override { Tree(nullptr, root_, true); }
  std::vector<std::wstring> Now() const {
    std::vector<std::wstring> now;
    List(now, L"R:", kRun);
    List(now, L"A:", std::wstring(kApproved) + L"Run");
    List(now, L"A:", std::wstring(kApproved) + L"StartupFolder");
    Tree(&now, root_);
    std::sort(now.begin(), now.end());
    return now;
  }

  RegistrySandbox sandbox_;
  TempFolder temp_;
  const std::wstring root_ = WideFromCodePage(temp_.Path());
};

TEST_F(Names, EveryEntryListedOnceAndOnlyAnExactNameActedOn) {
  RecordingSink sink;
  ScanRegistry(sink);
  ScanStartupFolders(sink);
  std::vector<std::string> rowNames, names, rowPaths, paths;
  for (const RecordedRow& row : sink.rows)
    (row.type == RegistryEntryType ? rowNames : rowPaths).push_back(row.type == RegistryEntryType ? row.name : row.location);
  for (const std::wstring name : kNames) {
    names.push_back(Narrow(name));
    paths.push_back(Narrow(root_ + L"\\" + name + L".exe"));
    paths.push_back(Narrow(root_ + L"\\" + name + L"\\a.exe"));
  }
  for (auto* list : {&rowNames, &names, &rowPaths, &paths}) std::sort(list->begin(), list->end());
  EXPECT_EQ(rowNames, names);
  EXPECT_EQ(rowPaths, paths);
  const std::string listed = InventoryText(ScanInventory(), InventoryFormat::Tabs);

  for (const RecordedRow& row : sink.rows) {
    SCOPED_TRACE(Utf8FromCodePage(row.location + " | " + row.name));
    // The real entry a row names exactly, if any.
    bool exact = false;
    const bool registry = row.type == RegistryEntryType;
    std::wstring real, tag = registry ? L"R:" : L"F:", switchName;
    for (const std::wstring name : kNames) {
      if (registry && Narrow(name, &exact) == row.name && exact) real = switchName = name;
      if (!registry && Narrow(root_ + L"\\" + name + L".exe", &exact) == row.location && exact)
        switchName = name + L".exe";
    }
    if (!registry && FindFirstCharOf(row.location, "?") == std::string::npos) real = WideFromCodePage(row.location);
    if (!real.empty()) {
      EXPECT_EQ(row.name, Narrow(registry ? real : real.substr(real.rfind(L'\\') + 1)));
      if (registry) EXPECT_EQ(row.action, Narrow(L"C:\\Apps\\" + real + L".exe"));
      EXPECT_NE(listed.find(Utf8FromCodePage(row.name)), std::string::npos);
    }
    std::vector<std::wstring> before = Now();
    EXPECT_EQ(IsEntryAccessible(row.type, row.name, row.location), !real.empty());
    const LONG switched = SwitchEntry(row.type, row.name, row.location);
    RefusingPrompts prompts;
    BackupEntry(row.type, row.name, row.location, prompts);
    if (real.empty()) {
      EXPECT_EQ(switched, ERROR_INVALID_NAME);
      EXPECT_EQ(prompts.warned, std::vector<std::string>{EntryNotAccessible});
    } else if (!switchName.empty()) {
      std::vector<std::wstring> now = Now();
      EXPECT_TRUE(std::binary_search(now.begin(), now.end(), L"A:" + switchName));
    }
    RemoveEntry(row.type, row.name, row.location);
    if (!real.empty()) before.erase(std::find(before.begin(), before.end(), tag + real));
    EXPECT_EQ(Now(), before);
  }
}

}  // namespace
