#include "util/file_utils.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/file_faults.h"
#include "support/import_patch.h"
#include "support/temp_folder.h"
#include "util/text_encoding.h"
#include "util/string_utils.h"

namespace {

using namespace std::string_literals;

// Zero bytes, CR/LF, a lone LF, Ctrl-Z (end of file for text streams) and high bytes.
const std::string kBinary = "MZ\0\0\r\n\nline\r\x1A\0tail\xFF\xE9"s;

std::string Slashed(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

bool IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A second name of the same file: it keeps the data reachable after the first
// name has been deleted, so a test can see what a wipe left in the file.
std::string HardLink(const TempFolder& temp, const std::string& target, const char* name) {
  const std::string link = temp / name;
  EXPECT_TRUE(CreateHardLinkA(link.c_str(), target.c_str(), nullptr)) << GetLastError();
  return link;
}

// Restores the current directory when a test that changes it ends.
class CurrentDirectoryGuard {
 public:
  CurrentDirectoryGuard() {
    char buffer[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, buffer);
    saved_ = buffer;
  }
  ~CurrentDirectoryGuard() { SetCurrentDirectoryA(saved_.c_str()); }

 private:
  std::string saved_;
};

TEST(NormalizeFolderPath, AppendsOneBackslashAndTurnsSlashes) {
  TempFolder temp;
  const std::string folder = temp.Path();
  struct Case {
    std::string input, expected;
    bool exists;
  };
  const Case cases[] = {
      {Slashed(folder), folder + "\\", true},
      {Slashed(folder) + "/", folder + "\\", true},
      {folder + "\\", folder + "\\", true},
      {folder + "/", folder + "\\", true},
      {folder + "\\missing", folder + "\\missing\\", false},
      {folder + "/missing/", folder + "\\missing\\", false},
      {"C:", "C:\\", true},
      {"", "", false},  // must stay empty: a lone backslash would name the drive root
  };
  for (const Case& c : cases) {
    std::string path = c.input;
    EXPECT_EQ(NormalizeFolderPath(path), c.exists) << c.input;
    EXPECT_EQ(path, c.expected) << c.input;
  }
}

TEST(ProgramFolder, FirstCommandWordWithoutItsName) {
  const char* const program = "C:\\Program Files\\Lumivane\\lumivane.exe";
  struct Case {
    const char* argv0;
    std::string expected;
  };
  const Case cases[] = {
      {"C:\\Program Files\\Lumivane\\lumivane.exe", "C:\\Program Files\\Lumivane"},
      {"C:\\Tools\\lumivane.exe", "C:\\Tools"},
      {"C:/Tools/lumivane.exe", "C:/Tools"},
      {"C:\\lumivane.exe", "C:"},
      {"lumivane", "lumivane"},
      {"lumivane.exe", "lumivane.exe"},
      // No word: the program's own path, never the root of the drive.
      {"", "C:\\Program Files\\Lumivane"},
      {nullptr, "C:\\Program Files\\Lumivane"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProgramFolderOf(c.argv0, program), c.expected) << (c.argv0 ? c.argv0 : "null");
  }
  EXPECT_EQ(ProgramFolderOf(nullptr, nullptr), "");
}

TEST(ProgramFolder, IsTheFolderOfTheRunningProgram) {
  char module[MAX_PATH] = {};
  ASSERT_NE(GetModuleFileNameA(nullptr, module, MAX_PATH), 0u);
  char full[MAX_PATH] = {};
  ASSERT_NE(GetFullPathNameA(ProgramFolder().c_str(), MAX_PATH, full, nullptr), 0u);
  std::string expected = FolderOf(module);
  expected.pop_back();
  EXPECT_EQ(LowerCopy(full), LowerCopy(expected)) << GetCommandLineA();
}

TEST(SystemFolders, EndInOneBackslashAndExist) {
  char windows[MAX_PATH] = {};
  GetWindowsDirectoryA(windows, MAX_PATH);
  EXPECT_EQ(WindowsFolder(), std::string(windows) + "\\");

  for (const std::string& folder : {WindowsFolder(), SystemFolder()}) {
    ASSERT_GE(folder.size(), 4u) << folder;
    EXPECT_EQ(folder.back(), '\\') << folder;
    EXPECT_NE(folder[folder.size() - 2], '\\') << folder;
    EXPECT_TRUE(IsFolder(folder)) << folder;
  }

  const std::string drive = SystemDrive();
  ASSERT_EQ(drive.size(), 3u);
  EXPECT_EQ(drive.substr(1), ":\\");
  EXPECT_EQ(WindowsFolder().compare(0, 3, drive), 0);
}

TEST(WipeAndDeleteFile, LeavesWhatIsNotARegularFile) {
  TempFolder temp;
  const std::string missing = temp / "missing.txt";
  EXPECT_TRUE(WipeAndDeleteFile(missing.c_str(), 1));
  EXPECT_FALSE(TempFolder::Exists(missing));

  const std::string folder = temp.MakeFolder("folder");
  const std::string inside = temp.WriteFile("folder\\inside.txt", "keep");
  EXPECT_TRUE(WipeAndDeleteFile(folder.c_str(), 1));
  EXPECT_TRUE(IsFolder(folder));
  EXPECT_EQ(TempFolder::ReadFile(inside), "keep");

  EXPECT_TRUE(WipeAndDeleteFile(nullptr, 1));
}

TEST(WipeAndDeleteFile, OverwritesWithZerosOfTheSameLengthThenDeletes) {
  struct Case {
    const char* name;
    std::string content;
    DWORD attributes;
    uint16_t passes;
  };
  const Case cases[] = {
      {"read-only, two passes", kBinary, FILE_ATTRIBUTE_READONLY, 2},
      {"hidden system, one pass", "secret", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, 1},
      {"larger than one write", std::string(200001, 'x'), FILE_ATTRIBUTE_NORMAL, 1},
  };
  for (const Case& c : cases) {
    TempFolder temp;
    const std::string path = temp.WriteFile("entry.lnk", c.content);
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), c.attributes));
    {
      const FileWitness witness(path);
      ASSERT_TRUE(witness.IsOpen());

      EXPECT_TRUE(WipeAndDeleteFile(path.c_str(), c.passes)) << c.name;

      EXPECT_EQ(witness.Read(), std::string(c.content.size(), '\0')) << c.name;
      EXPECT_FALSE(witness.Attributes() & FILE_ATTRIBUTE_READONLY) << c.name;
    }
    EXPECT_FALSE(TempFolder::Exists(path)) << c.name;
  }
}

// Zeros written through one name of a file would show through all the others,
// and through a link in what it leads to: such a name is only deleted, and
// the attributes the other names share stay as they were.
TEST(WipeAndDeleteFile, DeletesOnlyTheNameOfAFileWithOthers) {
  const DWORD attributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
  struct Case {
    const char* name;
    bool hardLink;  // else the file is taken for a link (reparse point)
  };
  for (const Case& c : {Case{"second hard link", true}, Case{"reparse point", false}}) {
    TempFolder temp;
    const std::string path = temp.WriteFile("entry.exe", kBinary);
    const std::string other = c.hardLink ? HardLink(temp, path, "lumivane.exe") : path;
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), attributes));
    FileFaults faults;
    ASSERT_TRUE(faults.applied());
    if (!c.hardLink)
      faults.changeInformation = [](BY_HANDLE_FILE_INFORMATION& info) {
        info.dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
      };
    {
      const FileWitness witness(path);
      ASSERT_TRUE(witness.IsOpen());

      EXPECT_TRUE(WipeAndDeleteFile(path.c_str(), 2)) << c.name;

      EXPECT_EQ(witness.Read(), kBinary) << c.name;
      EXPECT_EQ(witness.Attributes() & attributes, attributes) << c.name;
    }
    EXPECT_FALSE(TempFolder::Exists(path)) << c.name;
    if (c.hardLink) {
      EXPECT_EQ(TempFolder::ReadFile(other), kBinary);
      EXPECT_EQ(GetFileAttributesA(other.c_str()) & attributes, attributes);
    }
  }
}

TEST(WipeAndDeleteFile, NoPassesOnlyDeletes) {
  TempFolder temp;
  const std::string path = temp.WriteFile("entry.exe", kBinary);
  const std::string link = HardLink(temp, path, "link.bin");
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));

  EXPECT_TRUE(WipeAndDeleteFile(path.c_str(), 0));

  EXPECT_FALSE(TempFolder::Exists(path));
  EXPECT_EQ(TempFolder::ReadFile(link), kBinary);
}

TEST(WipeAndDeleteFile, DeletesAnEmptyFile) {
  TempFolder temp;
  const std::string path = temp.WriteFile("empty.txt", "");
  EXPECT_TRUE(WipeAndDeleteFile(path.c_str(), 1));
  EXPECT_FALSE(TempFolder::Exists(path));
}

TEST(WipeAndDeleteFile, FalseWhenTheDeletionFails) {
  TempFolder temp;
  const std::string path = temp.WriteFile("busy.exe", "content");
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  // Open without FILE_SHARE_DELETE: the file can be written but not deleted.
  HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);

  EXPECT_FALSE(WipeAndDeleteFile(path.c_str(), 1));

  CloseHandle(holder);
  // Nothing was wiped: only a file that can be deleted is.
  EXPECT_EQ(GetFileAttributesA(path.c_str()) & 3, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(TempFolder::ReadFile(path), "content");
}

TEST(ProbeTargetFile, ClassifiesTargets) {
  TempFolder temp;
  const std::string existing = temp.WriteFile("existing.reg", kBinary);
  const std::string readOnly = temp.WriteFile("read-only.reg", "ro");
  ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
  const std::string folder = temp.MakeFolder("folder");
  struct Case {
    std::string path;
    TargetFileState expected;
  };
  const Case cases[] = {
      {existing, TargetExists},
      {Slashed(existing), TargetExists},
      {readOnly, TargetExists},
      {temp / "new.reg", TargetCreatable},
      {temp / "folder\\new file.reg", TargetCreatable},
      {temp / "missing\\new.reg", TargetInvalid},
      {folder, TargetInvalid},
      {temp / "bad*name.reg", TargetInvalid},
      {"", TargetInvalid},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProbeTargetFile(c.path.c_str()), c.expected) << c.path;
  }
  EXPECT_EQ(ProbeTargetFile(nullptr), TargetInvalid);

  // Nothing created or changed: the three originals and the empty folder.
  EXPECT_EQ(TempFolder::EntryCount(temp.Path()), 3u);
  EXPECT_EQ(TempFolder::EntryCount(folder), 0u);
  EXPECT_FALSE(TempFolder::Exists(temp / "missing"));
  EXPECT_EQ(TempFolder::ReadFile(existing), kBinary);
  EXPECT_EQ(TempFolder::ReadFile(readOnly), "ro");
  SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(CopyFileChecked, CopiesByteForByte) {
  struct Case {
    const char* name;
    std::string content;
  };
  const Case cases[] = {
      {"binary", kBinary},
      {"empty", ""},
      {"several chunks", std::string(150001, '\r') + "\n\0"s},
  };
  for (const Case& c : cases) {
    TempFolder temp;
    const std::string source = temp.WriteFile("source.lnk", c.content);
    const std::string target = temp / "backup.lnk";
    EXPECT_TRUE(CopyFileChecked(source.c_str(), target.c_str(), false)) << c.name;
    EXPECT_EQ(TempFolder::ReadFile(target), c.content) << c.name;
    EXPECT_EQ(TempFolder::ReadFile(source), c.content) << c.name;
  }
}

TEST(CopyFileChecked, ExistingTarget) {
  TempFolder temp;
  const std::string source = temp.WriteFile("source.lnk", kBinary);
  const std::string longer = kBinary + kBinary + "old tail";
  const std::string target = temp.WriteFile("backup.lnk", longer);

  EXPECT_FALSE(CopyFileChecked(source.c_str(), target.c_str(), false));
  EXPECT_EQ(TempFolder::ReadFile(target), longer);

  EXPECT_TRUE(CopyFileChecked(source.c_str(), target.c_str(), true));
  EXPECT_EQ(TempFolder::ReadFile(target), kBinary);
}

// Another file that looks alike (same size, same write time) is still another file.
TEST(CopyFileChecked, LookAlikeTargetIsOverwritten) {
  TempFolder temp;
  const std::string source = temp.WriteFile("source.lnk", "source!");
  const std::string target = temp.WriteFile("target.lnk", "target?");
  FILETIME written;
  HANDLE file = CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  GetFileTime(file, nullptr, nullptr, &written);
  CloseHandle(file);
  file = CreateFileA(target.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  SetFileTime(file, nullptr, nullptr, &written);
  CloseHandle(file);

  EXPECT_TRUE(CopyFileChecked(source.c_str(), target.c_str(), true));
  EXPECT_EQ(TempFolder::ReadFile(target), "source!");
}

TEST(CopyFileChecked, Refusals) {
  TempFolder temp;
  const std::string source = temp.WriteFile("source.lnk", kBinary);
  const std::string folder = temp.MakeFolder("folder");
  struct Case {
    const char* name;
    std::string source, target;
  };
  const Case cases[] = {
      {"missing source", temp / "missing.lnk", temp / "copy1.lnk"},
      {"folder as source", folder, temp / "copy2.lnk"},
      {"target in a missing folder", source, temp / "missing\\copy3.lnk"},
      {"folder as target", source, folder},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(CopyFileChecked(c.source.c_str(), c.target.c_str(), true)) << c.name;
  }
  EXPECT_FALSE(CopyFileChecked(nullptr, source.c_str(), true));
  EXPECT_FALSE(CopyFileChecked(source.c_str(), nullptr, true));

  EXPECT_EQ(TempFolder::EntryCount(temp.Path()), 2u);
  EXPECT_EQ(TempFolder::EntryCount(folder), 0u);
  EXPECT_EQ(TempFolder::ReadFile(source), kBinary);
}

// Copying a file onto itself would truncate it before the first byte is read.
TEST(CopyFileChecked, SameFileUnderAnotherPathIsLeftIntact) {
  TempFolder temp;
  temp.MakeFolder("sub");
  const std::string source = temp.WriteFile("Long Start-Up Entry.lnk", kBinary);
  const std::string link = HardLink(temp, source, "second name.lnk");
  char shortPath[MAX_PATH] = {};
  ASSERT_NE(GetShortPathNameA(source.c_str(), shortPath, MAX_PATH), 0u);
  ASSERT_NE(LowerCopy(shortPath), LowerCopy(source));

  CurrentDirectoryGuard restore;
  ASSERT_TRUE(SetCurrentDirectoryA(temp.Path().c_str()));

  struct Case {
    const char* name;
    std::string target;
  };
  const Case cases[] = {
      {"same text", source},
      {"letter case and blanks", "  " + LowerCopy(source) + "\t"},
      {"slashes", Slashed(source)},
      {"short name", shortPath},
      {"relative", "Long Start-Up Entry.lnk"},
      {"dot segments", temp / "sub\\..\\.\\Long Start-Up Entry.lnk"},
      {"doubled separator", temp.Path() + "\\\\Long Start-Up Entry.lnk"},
      {"hard link", link},
  };
  for (const Case& c : cases) {
    for (bool overwrite : {false, true}) {
      EXPECT_TRUE(CopyFileChecked(source.c_str(), c.target.c_str(), overwrite)) << c.name;
      EXPECT_EQ(TempFolder::ReadFile(source), kBinary) << c.name;
    }
  }
}

// A write that fails at any step leaves the target as it was (or absent) and
// nothing else in its folder: a full disk must not cut a file short.
TEST(WriteFileWhole, FailureAtAnyStepChangesNothing) {
  const std::string original = "original\r\ncontent\r\n";
  const std::string bytes = std::string(150001, 'n');  // more than one write
  struct Case {
    const char* name;
    std::function<void(FileFaults&)> fault;
    bool opened;  // the path itself can take a file ("usable")
  };
  const Case cases[] = {
      {"new file not created",
       [](FileFaults& f) {
         f.failCreate = [](const std::string&, DWORD disposition) -> DWORD {
           return disposition == TRUNCATE_EXISTING ? ERROR_ACCESS_DENIED : 0;
         };
       },
       true},
      {"first write", [](FileFaults& f) { f.failWrite = [] { return ERROR_DISK_FULL; }; }, true},
      {"second write",
       [](FileFaults& f) {
         f.failWrite = [&f]() -> DWORD { return f.writes == 2 ? ERROR_DISK_FULL : 0; };
       },
       true},
      {"flush", [](FileFaults& f) { f.failFlush = [] { return ERROR_DISK_FULL; }; }, true},
      {"close", [](FileFaults& f) { f.failClose = [] { return ERROR_NETNAME_DELETED; }; }, true},
      {"replace",
       [](FileFaults& f) {
         f.failMove = [](const std::string&, const std::string&) { return ERROR_ACCESS_DENIED; };
       },
       true},
  };
  for (const Case& c : cases) {
    for (bool existing : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (existing ? ", existing target" : ", new target"));
      TempFolder temp;
      const std::string target = temp / "Boot.ini";
      if (existing) temp.WriteFile("Boot.ini", original);
      const std::string source = temp.WriteFile("source.lnk", bytes);
      for (bool copy : {false, true}) {
        {
          FileFaults faults;
          ASSERT_TRUE(faults.applied());
          c.fault(faults);
          if (copy) {
            EXPECT_FALSE(CopyFileChecked(source.c_str(), target.c_str(), true));
          } else {
            bool opened = !c.opened;
            EXPECT_FALSE(WriteFileWhole(target.c_str(), bytes, &opened));
            EXPECT_EQ(opened, c.opened);
          }
        }
        EXPECT_EQ(TempFolder::Exists(target), existing);
        if (existing) {
          EXPECT_EQ(TempFolder::ReadFile(target), original);
        }
        EXPECT_EQ(TempFolder::EntryCount(temp.Path()), existing ? 2u : 1u);
      }
    }
  }
}

// A hidden system file (Boot.ini, say) stays hidden and system once replaced;
// a new file gets neither.
TEST(WriteFileWhole, KeepsTheAttributesOfTheFileItReplaces) {
  TempFolder temp;
  const DWORD boot = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  const std::string hidden = temp.WriteFile("Boot.ini", "old");
  ASSERT_TRUE(SetFileAttributesA(hidden.c_str(), boot));
  EXPECT_TRUE(WriteFileWhole(hidden.c_str(), "new"));
  EXPECT_EQ(TempFolder::ReadFile(hidden), "new");
  EXPECT_EQ(GetFileAttributesA(hidden.c_str()) & boot, boot);

  const std::string created = temp / "new.txt";
  EXPECT_TRUE(WriteFileWhole(created.c_str(), kBinary));
  EXPECT_EQ(GetFileAttributesA(created.c_str()) & boot, 0u);
  EXPECT_EQ(TempFolder::EntryCount(temp.Path()), 2u);
}

// A written file is marked for backup; a link is written through. Wine makes no
// links and shows ARCHIVE on every file: the test answers for the system.
std::string g_link, g_real;
std::vector<DWORD> g_attributesSet;
ImportPatchSet g_linkPatches("kernel32.dll");
ImportPatch *g_finalPath, *g_setAttributes;

DWORD WINAPI FinalPathThroughLink(HANDLE file, LPWSTR buffer, DWORD size, DWORD flags) {
  const DWORD length = reinterpret_cast<decltype(&FinalPathThroughLink)>(g_finalPath->original())(
      file, buffer, size, flags);
  const std::wstring real = L"\\\\?\\" + WideFromCodePage(g_real);
  if (length == 0 || length >= size ||
      _wcsicmp(buffer, (L"\\\\?\\" + WideFromCodePage(g_link)).c_str()) != 0 || real.size() >= size)
    return length;
  wcscpy(buffer, real.c_str());
  return static_cast<DWORD>(real.size());
}

BOOL WINAPI RecordAttributes(LPCSTR path, DWORD attributes) {
  g_attributesSet.push_back(attributes);
  return reinterpret_cast<decltype(&RecordAttributes)>(g_setAttributes->original())(path, attributes);
}

TEST(WriteFileWhole, WritesThroughALinkAndSetsArchive) {
  TempFolder temp;
  g_real = temp.WriteFile("real\\System.ini", "old");
  g_link = temp.WriteFile("link.ini", "the link");
  g_finalPath = g_linkPatches.Add("GetFinalPathNameByHandleW", (void*)&FinalPathThroughLink);
  g_setAttributes = g_linkPatches.Add("SetFileAttributesA", (void*)&RecordAttributes);
  ASSERT_TRUE(g_linkPatches.applied());
  EXPECT_TRUE(WriteFileWhole(g_link.c_str(), "new"));
  g_linkPatches.Undo();
  EXPECT_EQ("new", TempFolder::ReadFile(g_real));
  EXPECT_EQ("the link", TempFolder::ReadFile(g_link));
  EXPECT_EQ(1u, TempFolder::EntryCount(temp / "real"));
  EXPECT_EQ(std::vector<DWORD>{FILE_ATTRIBUTE_ARCHIVE}, g_attributesSet);
}

TEST(ReadWholeFile, AllOrNothing) {
  TempFolder temp;
  const std::string content = std::string(200000, 'r');  // several reads
  const std::string path = temp.WriteFile("Config.sys", content);
  std::string bytes;
  EXPECT_TRUE(ReadWholeFile(path, bytes));
  EXPECT_EQ(bytes, content);

  FileFaults faults;
  ASSERT_TRUE(faults.applied());
  faults.failRead = [&faults]() -> DWORD { return faults.reads == 2 ? ERROR_NETNAME_DELETED : 0; };
  EXPECT_FALSE(ReadWholeFile(path, bytes));
  EXPECT_EQ(bytes, "");
  faults.failRead = nullptr;
  EXPECT_FALSE(ReadWholeFile(temp / "missing.sys", bytes));
}

// A file is replaced whole or not at all, and no scratch file stays behind.
TEST(WriteFileWhole, ReplacesWholeOrKeepsTheEarlierFile) {
  TempFolder temp;
  const std::string folder = temp.MakeFolder("folder");
  const std::string readOnly = temp.WriteFile("read-only.csv", "kept");
  ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
  const std::string earlier = temp.WriteFile("earlier.csv", "a much longer earlier text");
  // Held by another program without sharing: it could not be replaced either.
  const std::string locked = temp.WriteFile("locked.csv", "locked");
  HANDLE lock = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  const struct {
    const char* name;
    std::string path;
    bool written;
    std::string content;  // afterwards; "" for no file
  } cases[] = {
      {"new file", temp / "new.csv", true, kBinary},
      {"earlier file replaced, not merged", earlier, true, kBinary},
      {"read-only file kept", readOnly, false, "kept"},
      {"locked file kept", locked, false, ""},  // read once it is let go
      {"folder in the way", folder, false, ""},
      {"missing folder", temp / "missing\\list.csv", false, ""},
      {"no name", "", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetLastError(ERROR_SUCCESS);
    bool opened = !c.written;
    EXPECT_EQ(c.written, WriteFileWhole(c.path.c_str(), kBinary, &opened));
    // Each failure here but the locked file's is one of the path itself.
    EXPECT_EQ(c.written || c.path == locked, opened);
    if (!c.written) {
      EXPECT_NE(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    }
    if (!c.content.empty()) {
      EXPECT_EQ(c.content, TempFolder::ReadFile(c.path));
    }
  }
  CloseHandle(lock);
  EXPECT_EQ("locked", TempFolder::ReadFile(locked));
  // folder, read-only, earlier, locked, new
  EXPECT_EQ(5u, TempFolder::EntryCount(temp.Path()));
  EXPECT_EQ(0u, TempFolder::EntryCount(folder));
  SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(WriteFileWhole, EmptyTextGivesAnEmptyFile) {
  TempFolder temp;
  const std::string path = temp.WriteFile("list.csv", "old");
  EXPECT_TRUE(WriteFileWhole(path.c_str(), ""));
  EXPECT_EQ("", TempFolder::ReadFile(path));
}

}  // namespace


// Opens Elsewhere\a.lnk whenever the program asks for Startup\a.lnk: the file
// swapped in between the listing and the removal.
ImportPatch* swapPatch = nullptr;
HANDLE WINAPI OpenSwapped(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE templateFile) {
  std::wstring opened = path;
  const size_t at = opened.find(L"Startup");
  if (at != std::wstring::npos) opened.replace(at, 7, L"Elsewhere");
  return reinterpret_cast<decltype(&CreateFileW)>(swapPatch->original())(
      opened.c_str(), access, share, security, disposition, flags, templateFile);
}

// Only the file listed in its folder goes, or one pending deletion because
// another program holds it open (the handle `prepare` returns) with delete
// sharing; anything else stays.
TEST(RemoveListedFile, RemovesOnlyTheFileListedInItsFolder) {
  using Prepare = std::function<HANDLE(TempFolder&, const std::string& file)>;
  const struct {
    const char* label;
    Prepare prepare;
    bool removed, stays;
  } cases[] = {
      {"the file itself", [](TempFolder&, const std::string&) { return HANDLE(); }, true, false},
      {"held open", [](TempFolder&, const std::string& f) {
         return CreateFileA(f.c_str(), GENERIC_READ, 7, nullptr, OPEN_EXISTING, 0, nullptr); },
       true, true},
      {"another name of it", [](TempFolder& t, const std::string& f) {
         HardLink(t, f, "b.lnk"); return HANDLE(); }, false, true},
      {"a folder in its place", [](TempFolder& t, const std::string& f) {
         DeleteFileA(f.c_str()); t.MakeFolder("Startup\\a.lnk"); return HANDLE(); }, false, true},
      {"swapped", [](TempFolder& t, const std::string&) {
         t.WriteFile("Elsewhere\\a.lnk", "other"); return HANDLE(); }, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempFolder temp;
    const std::string file = temp.WriteFile("Startup\\a.lnk", "shortcut");
    const std::wstring path(file.begin(), file.end());  // the temporary folders are ASCII
    const HANDLE held = c.prepare(temp, file);
    std::optional<ImportPatch> patch;
    if (std::string(c.label) == "swapped") {
      patch.emplace("kernel32.dll", "CreateFileW", reinterpret_cast<void*>(&OpenSwapped));
      swapPatch = &*patch;
    }
    EXPECT_EQ(RemoveListedFile(path, path, 1), c.removed);
    patch.reset();
    EXPECT_EQ(GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES, c.stays);
    if (held) {
      CloseHandle(held);
      EXPECT_FALSE(TempFolder::Exists(file)) << "gone once the other program lets go";
    }
  }
}
