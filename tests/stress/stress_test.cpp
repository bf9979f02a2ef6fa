// Hostile and outsized input: each case ends with the rows listed exactly, or
// silently skipped; never a crash, a hang or a write nobody asked for.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "actions/entry_actions.h"
#include "app/entry_list.h"
#include "scan/recording_sink.h"
#include "scan/registry_access.h"
#include "sources/registry/registry_scan.h"
#include "sources/startup_folder/startup_folder_scan.h"
#include "support/entry_list_window.h"
#include "support/registry_sandbox.h"
#include "support/chosen_path_prompts.h"
#include "support/temp_folder.h"

namespace {

const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kMachineRun[] = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

std::vector<RecordedRow> ScanRegistryRows() {
  RecordingSink sink;
  ScanRegistry(sink);
  return sink.rows;
}

std::vector<RecordedRow> ScanFolderRows() {
  RecordingSink sink;
  ScanStartupFolders(sink);
  return sink.rows;
}

TEST(RegistryStress, OneMebibyteValueIsListedWhole) {
  RegistrySandbox sandbox;
  std::string text(1 << 20, 'x');
  for (size_t i = 0; i < text.size(); i += 4096) text[i] = static_cast<char>('a' + i / 4096 % 26);
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Huge", text);
  std::vector<RecordedRow> rows = ScanRegistryRows();
  ASSERT_EQ(1u, rows.size());
  EXPECT_TRUE(rows[0].action == text) << "listed " << rows[0].action.size() << " bytes";

  EntryListWindow window;
  EntryListSink(window.list).AddEntryRow("Registry", "Huge", text.c_str(), kMachineRun, 0, {});
  EXPECT_TRUE(window.list.GetItemText(0, 2) == text);
}

// The longest name the registry allows: listed whole, and the name read back
// from the list still names the value, so Backup and Remove act on it.
TEST(RegistryStress, LongestValueNameIsListedBackedUpAndRemovedWhole) {
  RegistrySandbox sandbox;
  TempFolder temp;
  std::string name(16383, 'n');
  name.front() = 'A';
  name.back() = 'Z';
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, name, "long.exe");
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, name.substr(0, 16382), "shorter.exe");
  std::vector<RecordedRow> rows = ScanRegistryRows();
  ASSERT_EQ(2u, rows.size());
  EXPECT_TRUE(rows[1].name == name) << "listed a name of " << rows[1].name.size() << " bytes";

  EntryListWindow window;
  EntryListSink(window.list)
      .AddEntryRow("Registry", rows[1].name.c_str(), "long.exe", kMachineRun, 0, {});
  window.list.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
  SelectedEntry entry;
  ASSERT_TRUE(ReadSelectedEntry(window.list, entry));

  ChosenPathPrompts target(temp / "long.reg", IDNO);
  BackupEntry(entry.type, entry.name, entry.location, target);
  EXPECT_TRUE(target.warnings.empty());
  std::string file = TempFolder::ReadFile(temp / "long.reg");
  EXPECT_NE(std::string::npos, file.find("\r\n\"" + name + "\"=\"long.exe\"\r\n"));

  RemoveEntry(entry.type, entry.name, entry.location);
  EXPECT_FALSE(RegistrySandbox::ValueExists(HKEY_LOCAL_MACHINE, kRun, name));
  EXPECT_TRUE(RegistrySandbox::ValueExists(HKEY_LOCAL_MACHINE, kRun, name.substr(0, 16382)))
      << "only the value of that exact name goes";
}

TEST(RegistryStress, EveryNonZeroByteWithoutTerminator) {
  RegistrySandbox sandbox;
  std::string bytes;
  for (int b = 1; b <= 255; ++b) bytes += static_cast<char>(b);
  RegistrySandbox::SetValue(HKEY_LOCAL_MACHINE, kRun, "Bytes", REG_SZ, bytes.data(),
                            static_cast<DWORD>(bytes.size()));
  RegistrySandbox::SetValue(HKEY_LOCAL_MACHINE, kRun, "Expand", REG_EXPAND_SZ, bytes.data(),
                            static_cast<DWORD>(bytes.size()));
  std::vector<RecordedRow> rows = ScanRegistryRows();
  ASSERT_EQ(2u, rows.size());
  EXPECT_EQ("Bytes", rows[0].name);
  EXPECT_EQ(bytes, rows[0].action);
  EXPECT_EQ("Expand", rows[1].name);
  EXPECT_EQ(bytes, rows[1].action);
}

// Another thread deletes and recreates values and whole keys while scans run:
// every scan ends, and every row it lists is one that existed.
TEST(RegistryStress, KeysAndValuesChangingDuringTheScan) {
  RegistrySandbox sandbox;
  const int values = 40;
  for (int i = 0; i < values; ++i)
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "v" + std::to_string(i),
                               "stable" + std::to_string(i) + ".exe");
  // The sandbox maps the roots for this process, so the other thread sees them too.
  std::atomic<bool> stop{false};
  std::thread changer([&] {
    for (int round = 0; !stop; ++round) {
      std::string name = "v" + std::to_string(round % values);
      if (round % 7 == 0) {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kRun);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kRun);
      }
      std::string longer(static_cast<size_t>(round % 900), 'g');
      HKEY key;
      if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRun, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                          nullptr) == ERROR_SUCCESS) {
        RegDeleteValueA(key, name.c_str());
        std::string text = "stable" + std::to_string(round % values) + ".exe" + longer;
        RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
        RegCloseKey(key);
      }
    }
  });
  int rowsSeen = 0;
  for (int scan = 0; scan < 200; ++scan) {
    for (const RecordedRow& row : ScanRegistryRows()) {
      ++rowsSeen;
      ASSERT_EQ("Registry", row.type);
      ASSERT_EQ(kMachineRun, row.location);
      ASSERT_EQ('v', row.name[0]);
      std::string expected = "stable" + row.name.substr(1) + ".exe";
      ASSERT_EQ(expected, row.action.substr(0, expected.size())) << row.name;
      ASSERT_EQ(std::string::npos, row.action.find_first_not_of('g', expected.size()));
    }
  }
  stop = true;
  changer.join();
  EXPECT_GT(rowsSeen, 0);
}

class FolderStress : public ::testing::Test {
 protected:
  RegistrySandbox sandbox;
  TempFolder temp;

  void NameStartupFolder(const std::string& folder) {
    RegistrySandbox::SetString(HKEY_CURRENT_USER, kShellFolders, "Startup", folder);
  }
};

// Nested as deep as a path of MAX_PATH characters allows.
TEST_F(FolderStress, TreeAsDeepAsMaxPathAllows) {
  std::string folder = temp.Path();
  const std::string top = folder;
  std::vector<std::string> files;
  for (int level = 0;; ++level) {
    std::string next = folder + "\\d" + std::to_string(level % 10);
    if (next.size() + 1 + 12 >= MAX_PATH) break;  // room for "\f00.exe" and the zero
    ASSERT_TRUE(CreateDirectoryA(next.c_str(), nullptr)) << next;
    folder = next;
    files.push_back(folder + "\\f" + std::to_string(level % 100) + ".exe");
    temp.WriteFile(files.back().substr(top.size() + 1), "MZ");
  }
  NameStartupFolder(top);
  std::vector<RecordedRow> rows = ScanFolderRows();
  std::vector<std::string> listed;
  for (const RecordedRow& row : rows) listed.push_back(row.location);
  std::sort(listed.begin(), listed.end());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, listed) << "each file once, the deepest one too";
  size_t longest = 0;
  for (const std::string& file : files) longest = std::max(longest, file.size());
  EXPECT_GT(longest, MAX_PATH - 20u);
}

TEST_F(FolderStress, FiftyThousandFilesInOneFolder) {
  const int count = 50000;
  // Under Wine every file created in a large folder costs a scan of that
  // folder, so the harness makes them beforehand with the host's tools.
  const char* prepared = std::getenv("LUMIVANE_MANY_FILES_DIR");
  std::string folder = prepared && *prepared ? prepared : temp.Path();
  for (int i = 0; !(prepared && *prepared) && i < count; ++i) {
    std::string path = folder + "\\item" + std::to_string(i) + ".txt";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << path;
    CloseHandle(file);
  }
  RegistrySandbox::SetString(HKEY_CLASSES_ROOT, ".txt", "", "txtfile");
  RegistrySandbox::SetString(HKEY_CLASSES_ROOT, "txtfile", "", "Text Document");
  NameStartupFolder(folder);
  std::vector<RecordedRow> rows = ScanFolderRows();
  ASSERT_EQ(static_cast<size_t>(count), rows.size());
  std::set<std::string> names;
  for (const RecordedRow& row : rows) {
    ASSERT_EQ("Text Document", row.action);
    ASSERT_EQ(folder + "\\" + row.name, row.location);
    names.insert(row.name);
  }
  EXPECT_EQ(static_cast<size_t>(count), names.size()) << "each file exactly once";
  EXPECT_EQ(1u, names.count("item0.txt"));
  EXPECT_EQ(1u, names.count("item49999.txt"));
}

// Bytes of 0x80 and above in folder and file names come back as they are.
TEST_F(FolderStress, NamesWithHighBytes) {
  const std::string folder = "Caf\xE9 \xC4rger";
  const std::string names[] = {"na\xEFve.exe", "\xA9 \xAE.lnk", "\xFF\xFE.bat"};
  for (const std::string& name : names) temp.WriteFile(folder + "\\" + name, "x");
  NameStartupFolder(temp / folder);
  std::vector<RecordedRow> rows = ScanFolderRows();
  std::set<std::string> listed, expected;
  for (const RecordedRow& row : rows) {
    listed.insert(row.name);
    EXPECT_EQ(temp / folder + "\\" + row.name, row.location);
  }
  for (const std::string& name : names) expected.insert(name);
  EXPECT_EQ(expected, listed);
}

// A folder that leads back to its own ancestor: the walk ends, and lists each
// file a bounded number of times (on Windows the link is not entered at all;
// under Wine it is, until the path grows too long).
TEST_F(FolderStress, FolderLinkedBackToItsAncestorEnds) {
  const char* prepared = std::getenv("LUMIVANE_LOOP_DIR");  // made by the test harness
  std::string top;
  if (prepared && *prepared) {
    top = prepared;
  } else {
    top = temp.MakeFolder("loop");
    std::string link = top + "\\back";
    if (!CreateSymbolicLinkA(link.c_str(), top.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY | 2) ||
        GetFileAttributesA(link.c_str()) == INVALID_FILE_ATTRIBUTES)
      GTEST_SKIP() << "no way to link a folder back to its ancestor here";
    temp.WriteFile("loop\\file.exe", "x");
  }
  NameStartupFolder(top);
  std::vector<RecordedRow> rows = ScanFolderRows();
  size_t fileRows = 0;
  for (const RecordedRow& row : rows) {
    // A link whose attributes are not a plain folder's is listed like a file
    // and not entered.
    EXPECT_TRUE(row.name == "file.exe" || row.name == "back") << row.name;
    fileRows += row.name == "file.exe";
  }
  EXPECT_GE(fileRows, 1u);
  EXPECT_LE(fileRows, static_cast<size_t>(MAX_PATH / 2)) << "bounded by the path length";
}

TEST_F(FolderStress, ShellFolderNamingAFileListsNothing) {
  std::string file = temp.WriteFile("not a folder.exe", "MZ");
  NameStartupFolder(file);
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kShellFolders, "Common Startup", file + "\\");
  EXPECT_TRUE(ScanFolderRows().empty());
  EXPECT_EQ("MZ", TempFolder::ReadFile(file)) << "nothing written";
}

}  // namespace
