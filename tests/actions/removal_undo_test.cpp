// Remove keeps an exact copy before it deletes, and the copy writes the entry
// back as it was: raw bytes, type, switch, a shortcut's attributes and times.
#include "actions/removal_undo.h"

#include <gtest/gtest.h>

#include <string>

#include "support/registry_sandbox.h"
#include "support/temp_folder.h"

namespace {

const char kSwitches[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder";
const std::string kSwitch("\x03\0\0\0\x10\x20\x30\x40\x50\x60\x70\x01", 12);

// A file's bytes, attributes and times, and its switch: "" when missing.
// Reading the file moves its access time, which is put back.
std::string Snapshot(const std::string& path, const std::string& name) {
  WIN32_FILE_ATTRIBUTE_DATA info = {};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &info)) return "";
  const std::string bytes = TempFolder::ReadFile(path);
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, 0);
  SetFileTime(file, nullptr, &info.ftLastAccessTime, nullptr);
  CloseHandle(file);
  DWORD type = REG_NONE;
  std::string flags;
  RegistrySandbox::ReadValue(HKEY_CURRENT_USER, kSwitches, name, type, flags);
  return bytes + "|" + std::string(reinterpret_cast<char*>(&info), sizeof info) + "|" + flags;
}

// The registry's own round trip is the main window's test of Ctrl+Z.
TEST(RemoveEntryKept, RestoreGivesBackTheExactShortcut) {
  RegistrySandbox sandbox;
  TempFolder temp;
  RegistrySandbox::SetString(
      HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
      "Startup", temp.MakeFolder("start"));
  // Read-only and hidden, of old times, and switched off.
  const std::string link = temp.WriteFile("start\\x.lnk", std::string("L\0\0\0\x01\x14", 6));
  const FILETIME old = {0x12345678, 0x01C00000};
  HANDLE file = CreateFileA(link.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, 0);
  SetFileTime(file, &old, &old, &old);
  CloseHandle(file);
  SetFileAttributesA(link.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  RegistrySandbox::SetValue(HKEY_CURRENT_USER, kSwitches, "x.lnk", REG_BINARY, kSwitch.data(), 12);
  const std::string program = temp.WriteFile("start\\p.exe", "MZ");

  RemovalStore store(temp / "store");
  for (const std::string& path : {link, program}) {
    const std::string name = path.substr(path.rfind('\\') + 1);
    const std::string before = Snapshot(path, name);
    std::string id;
    EXPECT_EQ(RemovalResult::Removed, RemoveEntryKept("Start-Up", name, path, store, id));
    EXPECT_EQ("", Snapshot(path, name));
    RemovalRecord record;
    // Programs are wiped for good.
    EXPECT_EQ(path == link, store.Load(id, record)) << name;
    if (path != link) continue;
    EXPECT_FALSE(RemovalTargetExists(record));
    EXPECT_EQ(RestoreResult::Restored, RestoreRemoval(record));
    EXPECT_EQ(before, Snapshot(path, name));
  }
}

// The store never holds an undo for an entry that is still there.
TEST(RemoveEntryKept, AFailedRemovalDropsItsRecord) {
  TempFolder temp;
  const std::string link = temp.WriteFile("x.lnk", "link");
  HANDLE held =
      CreateFileA(link.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  RemovalStore store(temp / "removed");
  std::string id;
  EXPECT_EQ(RemovalResult::NotRemoved, RemoveEntryKept("Start-Up", "x.lnk", link, store, id));
  CloseHandle(held);
  EXPECT_EQ("", id);
  EXPECT_TRUE(store.List().empty());
}

TEST(RemovalStore, KeepsTheLastHundred) {
  TempFolder temp;
  RemovalStore store(temp / "a\\b");
  for (int i = 0; i <= 100; ++i) {
    RemovalRecord record;
    record.name = std::to_string(i);
    ASSERT_TRUE(store.Keep(record));
  }
  const std::vector<RemovalRecord> kept = store.List();
  ASSERT_EQ(100u, kept.size());
  EXPECT_EQ("100", kept.front().name);
  EXPECT_EQ("1", kept.back().name);
}

}  // namespace
