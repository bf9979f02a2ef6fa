#include "util/file_utils.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_folder.h"
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

size_t FolderEntryCount(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
  size_t count = 0;
  if (find == INVALID_HANDLE_VALUE) return count;
  do {
    if (std::string(found.cFileName) != "." && std::string(found.cFileName) != "..") ++count;
  } while (FindNextFileA(find, &found));
  FindClose(find);
  return count;
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
  struct Case {
    const char* commandLine;
    std::string expected;
  };
  const Case cases[] = {
      {"\"C:\\Program Files\\Lumivane\\lumivane.exe\" /x", "C:\\Program Files\\Lumivane"},
      {"\"C:\\Program Files\\Lumivane\\lumivane.exe\"\targ", "C:\\Program Files\\Lumivane"},
      {"C:\\Tools\\lumivane.exe", "C:\\Tools"},
      {"C:\\Tools\\lumivane.exe save\\to\\here", "C:\\Tools"},
      {"C:\\Tools\\lumivane.exe\t/q", "C:\\Tools"},
      {"C:/Tools/lumivane.exe", "C:/Tools"},
      {"C:\\lumivane.exe", "C:"},
      {"lumivane", "lumivane"},
      {"lumivane.exe -q", "lumivane.exe"},
      {"", ""},
      {nullptr, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProgramFolderOf(c.commandLine), c.expected)
        << (c.commandLine ? c.commandLine : "null");
  }
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
    const std::string link = HardLink(temp, path, "link.bin");
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), c.attributes));

    EXPECT_TRUE(WipeAndDeleteFile(path.c_str(), c.passes)) << c.name;

    EXPECT_FALSE(TempFolder::Exists(path)) << c.name;
    EXPECT_EQ(TempFolder::ReadFile(link), std::string(c.content.size(), '\0')) << c.name;
    EXPECT_FALSE(GetFileAttributesA(link.c_str()) & FILE_ATTRIBUTE_READONLY) << c.name;
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
  // Open without FILE_SHARE_DELETE: the file can be written but not deleted.
  HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);

  EXPECT_FALSE(WipeAndDeleteFile(path.c_str(), 1));

  CloseHandle(holder);
  EXPECT_TRUE(TempFolder::Exists(path));
  EXPECT_EQ(TempFolder::ReadFile(path), std::string(7, '\0'));
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
  EXPECT_EQ(FolderEntryCount(temp.Path()), 3u);
  EXPECT_EQ(FolderEntryCount(folder), 0u);
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

  EXPECT_EQ(FolderEntryCount(temp.Path()), 2u);
  EXPECT_EQ(FolderEntryCount(folder), 0u);
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

}  // namespace

// A file is replaced whole or not at all, and no scratch file stays behind.
TEST(WriteFileWhole, ReplacesWholeOrKeepsTheEarlierFile) {
  TempFolder temp;
  const std::string folder = temp.MakeFolder("folder");
  const std::string readOnly = temp.WriteFile("read-only.csv", "kept");
  ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
  const std::string earlier = temp.WriteFile("earlier.csv", "a much longer earlier text");
  const struct {
    const char* name;
    std::string path;
    bool written;
    std::string content;  // afterwards; "" for no file
  } cases[] = {
      {"new file", temp / "new.csv", true, kBinary},
      {"earlier file replaced, not merged", earlier, true, kBinary},
      {"read-only file kept", readOnly, false, "kept"},
      {"folder in the way", folder, false, ""},
      {"missing folder", temp / "missing\\list.csv", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(c.written, WriteFileWhole(c.path.c_str(), kBinary));
    if (!c.written) {
      EXPECT_NE(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    }
    if (!c.content.empty()) {
      EXPECT_EQ(c.content, TempFolder::ReadFile(c.path));
    }
  }
  EXPECT_EQ(4u, FolderEntryCount(temp.Path()));  // folder, read-only, earlier, new
  EXPECT_EQ(0u, FolderEntryCount(folder));
  SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(WriteFileWhole, EmptyTextGivesAnEmptyFile) {
  TempFolder temp;
  const std::string path = temp.WriteFile("list.csv", "old");
  EXPECT_TRUE(WriteFileWhole(path.c_str(), ""));
  EXPECT_EQ("", TempFolder::ReadFile(path));
}
