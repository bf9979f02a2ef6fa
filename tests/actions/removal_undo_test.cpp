// Remove keeps an exact copy before it deletes, and the copy writes the entry
// back as it was: raw bytes, type, switch, a shortcut's attributes and times.
#include "actions/removal_undo.h"

#include <gtest/gtest.h>

#include <string>

#include "support/registry_sandbox.h"
#include "support/temp_folder.h"

namespace {

const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kApproved[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\";
const std::string kSwitch("\x03\0\0\0\x10\x20\x30\x40\x50\x60\x70\x01", 12);

struct FileState {
  std::string bytes;
  WIN32_FILE_ATTRIBUTE_DATA info = {};
  bool operator==(const FileState& o) const {
    return bytes == o.bytes && info.dwFileAttributes == o.info.dwFileAttributes &&
           !CompareFileTime(&info.ftCreationTime, &o.info.ftCreationTime) &&
           !CompareFileTime(&info.ftLastAccessTime, &o.info.ftLastAccessTime) &&
           !CompareFileTime(&info.ftLastWriteTime, &o.info.ftLastWriteTime);
  }
};

// Reading the bytes moves the access time: it is put back.
FileState StateOf(const std::string& path) {
  FileState state;
  GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &state.info);
  state.bytes = TempFolder::ReadFile(path);
  HANDLE file =
      CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  SetFileTime(file, nullptr, &state.info.ftLastAccessTime, nullptr);
  CloseHandle(file);
  return state;
}

// A value or file and its switch as they stand: "" for what is missing.
std::string Snapshot(const std::string& type, const std::string& name, const std::string& where,
                     const char* switches) {
  DWORD valueType = REG_NONE;
  std::string value, flags;
  if (type == "Registry") {
    RegistrySandbox::ReadValue(HKEY_CURRENT_USER, where, name, valueType, value);
  } else if (GetFileAttributesA(where.c_str()) != INVALID_FILE_ATTRIBUTES) {
    const FileState file = StateOf(where);
    value = file.bytes + std::string(reinterpret_cast<const char*>(&file.info), sizeof file.info);
  }
  RegistrySandbox::ReadValue(HKEY_CURRENT_USER, std::string(kApproved) + switches, name, valueType,
                             flags);
  return value.empty() ? "" : std::to_string(valueType) + ":" + value + "|" + flags;
}

TEST(RemoveEntryKept, RestoreGivesBackTheExactEntry) {
  RegistrySandbox sandbox;
  TempFolder temp;
  const std::string start = temp.MakeFolder("start");
  RegistrySandbox::SetString(
      HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
      "Startup", start);
  // An expandable string without its zero, and a shortcut read-only and hidden, of old times.
  RegistrySandbox::SetValue(HKEY_CURRENT_USER, kRun, "Tool", REG_EXPAND_SZ, "%x%\0y", 5);
  const std::string link = temp.WriteFile("start\\x.lnk", std::string("L\0\0\0\x01\x14", 6));
  const std::string program = temp.WriteFile("start\\p.exe", "MZ");
  const FILETIME old = {0x12345678, 0x01C00000};
  HANDLE file =
      CreateFileA(link.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  SetFileTime(file, &old, &old, &old);
  CloseHandle(file);
  SetFileAttributesA(link.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  for (const char* name : {"Tool", "x.lnk"}) {
    const char* switches = *name == 'T' ? "Run" : "StartupFolder";
    RegistrySandbox::SetValue(HKEY_CURRENT_USER, std::string(kApproved) + switches, name,
                              REG_BINARY, kSwitch.data(), 12);
  }

  const struct {
    const char* type;
    const char* name;
    std::string location, where;
    const char* switches;
    bool kept;
  } cases[] = {
      {"Registry", "Tool", std::string("HKEY_CURRENT_USER\\") + kRun, kRun, "Run", true},
      {"Start-Up", "x.lnk", link, link, "StartupFolder", true},
      {"Start-Up", "p.exe", program, program, "StartupFolder", false},
  };
  RemovalStore store(temp / "store");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string before = Snapshot(c.type, c.name, c.where, c.switches);
    ASSERT_NE("", before);
    std::string id;
    EXPECT_EQ(RemovalResult::Removed, RemoveEntryKept(c.type, c.name, c.location, store, id));
    EXPECT_EQ("", Snapshot(c.type, c.name, c.where, c.switches));
    EXPECT_EQ(c.kept, !id.empty());
    RemovalRecord record;
    if (!c.kept || !store.Load(id, record)) continue;
    EXPECT_FALSE(RemovalTargetExists(record));
    EXPECT_EQ(RestoreResult::Restored, RestoreRemoval(record));
    EXPECT_EQ(before, Snapshot(c.type, c.name, c.where, c.switches));
  }
  EXPECT_EQ(2u, store.List().size());
}

// A removal is never done without its undo, and an undo is never kept for
// an entry that is still there.
TEST(RemoveEntryKept, NoRemovalWithoutItsRecordNorRecordWithoutRemoval) {
  RegistrySandbox sandbox;
  TempFolder temp;
  RegistrySandbox::SetString(HKEY_CURRENT_USER, kRun, "Tool", "tool.exe");
  const std::string location = std::string("HKEY_CURRENT_USER\\") + kRun;
  std::string id;
  RemovalStore unwritable(temp.WriteFile("store", "a file, not a folder"));
  EXPECT_EQ(RemovalResult::NotSaved, RemoveEntryKept("Registry", "Tool", location, unwritable, id));
  EXPECT_TRUE(RegistrySandbox::ValueExists(HKEY_CURRENT_USER, kRun, "Tool"));

  const std::string link = temp.WriteFile("x.lnk", "link");
  HANDLE held =
      CreateFileA(link.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  RemovalStore store(temp / "removed");
  EXPECT_EQ(RemovalResult::NotRemoved, RemoveEntryKept("Start-Up", "x.lnk", link, store, id));
  CloseHandle(held);
  EXPECT_EQ("", id);
  EXPECT_TRUE(store.List().empty());
}

TEST(RemovalStore, KeepsTheLastHundred) {
  TempFolder temp;
  RemovalStore store(temp / "a\\b");
  std::string first;
  for (int i = 0; i <= 100; ++i) {
    RemovalRecord record;
    record.name = std::to_string(i);
    ASSERT_TRUE(store.Keep(record));
    if (i == 0) first = record.id;
  }
  const std::vector<RemovalRecord> kept = store.List();
  ASSERT_EQ(100u, kept.size());
  EXPECT_EQ("100", kept.front().name);
  EXPECT_EQ("1", kept.back().name);
  RemovalRecord dropped;
  EXPECT_FALSE(store.Load(first, dropped));
}

}  // namespace
