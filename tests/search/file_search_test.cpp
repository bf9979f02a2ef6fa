#include "search/file_search.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/import_patch.h"
#include "support/temp_folder.h"
#include "util/text_encoding.h"
#include "util/file_utils.h"
#include "util/string_utils.h"

namespace {

using Hits = std::vector<std::string>;
using Tokens = std::vector<std::string>;

Hits g_hits;
void Record(const char* path) {
  g_hits.push_back(path);
}
void Throw(const char* path) {
  g_hits.push_back(path);
  throw std::runtime_error("stop");
}

template <typename Action>
std::string ThrownMessage(Action action) {
  try {
    action();
  } catch (const std::invalid_argument& error) {
    return error.what();
  } catch (...) {
    return "<another exception>";
  }
  return "<nothing thrown>";
}

std::string Slashed(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

std::set<std::string> AsSet(const Hits& hits) {
  return {hits.begin(), hits.end()};
}

// root\a.txt, b.EXE, README, sub1\c.txt, sub1\deep\d.lnk, sub2\e.exe
class SearchTree : public ::testing::Test {
 protected:
  SearchTree() {
    temp_.WriteFile("a.txt", "a");
    temp_.WriteFile("b.EXE", "b");
    temp_.WriteFile("README", "r");
    temp_.WriteFile("sub1\\c.txt", "c");
    temp_.WriteFile("sub1\\deep\\d.lnk", "d");
    temp_.WriteFile("sub2\\e.exe", "e");
    root_ = temp_.Path() + "\\";
    g_hits.clear();
  }

  Hits Run(SearchMode mode, const char* pattern = "-all", const char* query = "-all") {
    g_hits.clear();
    CFileSearch search(Record, root_.c_str(), pattern, query);
    search.Search(mode);
    return g_hits;
  }

  // What a plain depth-first walk in listing order reports, without filters.
  void ExpectedWalk(const std::string& folder, SearchMode mode, Hits& out) {
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "*.*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
      const std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (mode == FilesInFolder) continue;
        if (mode != FilesInTree) out.push_back(folder + name + "\\");
        if (mode != FoldersInFolder) ExpectedWalk(folder + name + "\\", mode, out);
      } else if (mode == FilesInFolder || mode == FilesInTree) {
        out.push_back(folder + name);
      }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
  }

  TempFolder temp_;
  std::string root_;
};

TEST_F(SearchTree, EveryModeReportsItsKind) {
  const std::string& r = root_;
  struct Case {
    SearchMode mode;
    std::set<std::string> expected;
  };
  const Case cases[] = {
      {FilesInFolder, {r + "a.txt", r + "b.EXE", r + "README"}},
      {FilesInTree,
       {r + "a.txt", r + "b.EXE", r + "README", r + "sub1\\c.txt", r + "sub1\\deep\\d.lnk",
        r + "sub2\\e.exe"}},
      {FoldersInFolder, {r + "sub1\\", r + "sub2\\"}},
      {FoldersInTree, {r + "sub1\\", r + "sub1\\deep\\", r + "sub2\\"}},
      {static_cast<SearchMode>(7), {}},
  };
  for (const Case& c : cases) {
    const Hits hits = Run(c.mode);
    EXPECT_EQ(hits.size(), c.expected.size()) << "mode " << c.mode;
    EXPECT_EQ(AsSet(hits), c.expected) << "mode " << c.mode;
  }
}

TEST_F(SearchTree, DepthFirstInListingOrder) {
  for (SearchMode mode : {FilesInFolder, FilesInTree, FoldersInFolder, FoldersInTree}) {
    Hits expected;
    ExpectedWalk(root_, mode, expected);
    EXPECT_EQ(Run(mode), expected) << "mode " << mode;
  }

  // sub1 holds one folder: depth first reports it right after sub1 itself, a
  // level-by-level walk would put sub2 in between.
  const Hits folders = Run(FoldersInTree);
  const auto sub1 = std::find(folders.begin(), folders.end(), root_ + "sub1\\");
  ASSERT_NE(sub1, folders.end());
  ASSERT_NE(sub1 + 1, folders.end());
  EXPECT_EQ(*(sub1 + 1), root_ + "sub1\\deep\\");

  // The files below sub1 come in one run.
  const Hits files = Run(FilesInTree);
  const auto c = std::find(files.begin(), files.end(), root_ + "sub1\\c.txt");
  const auto d = std::find(files.begin(), files.end(), root_ + "sub1\\deep\\d.lnk");
  ASSERT_NE(c, files.end());
  ASSERT_NE(d, files.end());
  EXPECT_EQ(std::abs(c - d), 1);
}

TEST_F(SearchTree, Filters) {
  const std::string& r = root_;
  struct Case {
    SearchMode mode;
    const char* pattern;
    const char* query;
    std::set<std::string> expected;
  };
  const Case cases[] = {
      {FilesInTree, "exe", "", {r + "b.EXE", r + "sub2\\e.exe"}},
      {FilesInTree,
       "EXE , lnk,,exe",
       "-all",
       {r + "b.EXE", r + "sub1\\deep\\d.lnk", r + "sub2\\e.exe"}},
      {FilesInTree, "-?", "", {r + "README"}},
      {FilesInTree, "txt", "a", {r + "a.txt"}},
      // Folders are entered whatever the query says.
      {FilesInTree, "", "c", {r + "sub1\\c.txt"}},
      // The extension is not part of the name the query sees.
      {FilesInTree, "", "txt", {}},
      {FilesInFolder, "lnk", "", {}},
      {FoldersInFolder, "txt", "sub", {r + "sub1\\", r + "sub2\\"}},
      {FoldersInTree, "", "SUB1", {r + "sub1\\"}},
      // Not reported, yet entered.
      {FoldersInTree, "", "deep", {r + "sub1\\deep\\"}},
      {FoldersInFolder, "", "deep", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AsSet(Run(c.mode, c.pattern, c.query)), c.expected)
        << "mode " << c.mode << " pattern \"" << c.pattern << "\" query \"" << c.query << '"';
  }
}

TEST_F(SearchTree, HiddenAndSystemEntriesAreListed) {
  const std::string hidden = temp_.WriteFile("hidden.lnk", "h");
  const std::string system = temp_.WriteFile("system.exe", "s");
  const std::string inside = temp_.WriteFile("both\\inside.txt", "i");
  ASSERT_TRUE(SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(SetFileAttributesA(system.c_str(), FILE_ATTRIBUTE_SYSTEM));
  ASSERT_TRUE(SetFileAttributesA((root_ + "both").c_str(), FILE_ATTRIBUTE_DIRECTORY |
                                                               FILE_ATTRIBUTE_HIDDEN |
                                                               FILE_ATTRIBUTE_SYSTEM));

  const std::set<std::string> files = AsSet(Run(FilesInTree));
  EXPECT_EQ(files.count(hidden), 1u);
  EXPECT_EQ(files.count(system), 1u);
  EXPECT_EQ(files.count(inside), 1u);
  EXPECT_EQ(AsSet(Run(FoldersInFolder)).count(root_ + "both\\"), 1u);
}

TEST_F(SearchTree, HitsUseTheNormalisedStartFolder) {
  g_hits.clear();
  CFileSearch search(Record, Slashed(temp_.Path()).c_str(), "", "");
  EXPECT_EQ(search.Directory(), root_);
  search.Search(FilesInFolder);
  EXPECT_EQ(AsSet(g_hits),
            (std::set<std::string>{root_ + "a.txt", root_ + "b.EXE", root_ + "README"}));
}

TEST_F(SearchTree, SearchCanRunAgainWithAnotherMode) {
  CFileSearch search(Record, root_.c_str(), "", "");
  g_hits.clear();
  search.Search(FoldersInFolder);
  EXPECT_EQ(g_hits.size(), 2u);
  g_hits.clear();
  search.Search(FilesInFolder);
  EXPECT_EQ(g_hits.size(), 3u);
}

TEST_F(SearchTree, HandlerExceptionEndsTheWalk) {
  CFileSearch search(Throw, root_.c_str(), "", "");
  g_hits.clear();
  EXPECT_THROW(search.Search(FilesInTree), std::runtime_error);
  EXPECT_EQ(g_hits.size(), 1u);
  search.SetHandler(Record);
  g_hits.clear();
  search.Search(FilesInTree);
  EXPECT_EQ(g_hits.size(), 6u);
}

TEST_F(SearchTree, FolderThatCannotBeListedGivesNothing) {
  CFileSearch search(Record, root_.c_str(), "", "");
  g_hits.clear();
  search.Search(FilesInTree);
  ASSERT_FALSE(g_hits.empty());
  g_hits.clear();
  search.SearchFolder(root_ + "vanished\\");
  EXPECT_TRUE(g_hits.empty());
}

TEST(FileSearch, ParsesLists) {
  TempFolder temp;
  struct Case {
    const char* text;
    Tokens expected;
  };
  const Case common[] = {
      {"-all", {}},
      {"-ALL", {}},
      {" -All\t", {}},
      {"", {}},
      {" \t\r\n", {}},
      {nullptr, {}},
      {",,,", {}},
      {"EXE , lnk,,exe", {"exe", "lnk"}},
      {" ,Exe, ", {"exe"}},
      {"exe,-all", {"exe", "-all"}},
      {"a b,\vc", {"a b", "\vc"}},
      {"\xC9T\xC9", {"\xC9t\xC9"}},
  };
  for (const Case& c : common) {
    CFileSearch search(Record, temp.Path().c_str(), c.text, c.text);
    const char* shown = c.text ? c.text : "null";
    EXPECT_EQ(search.Extensions(), c.expected) << shown;
    EXPECT_EQ(search.Fragments(), c.expected) << shown;
  }

  CFileSearch search(Record, temp.Path().c_str(), "exe,-?,-?", "");
  EXPECT_EQ(search.Extensions(), (Tokens{"exe", "-?"}));
  search.SetQuery("Run, autorun");
  EXPECT_EQ(search.Fragments(), (Tokens{"run", "autorun"}));
  search.SetQuery("-all");
  EXPECT_TRUE(search.Fragments().empty());
}

TEST(FileSearch, RefusesForbiddenCharacters) {
  const std::string pattern = "The szPattern parameter contains invalid characters.";
  const std::string query = "The szQuery parameter contains invalid characters.";
  TempFolder temp;
  CFileSearch search(Record, temp.Path().c_str(), "", "");

  for (const char* forbidden = InvalidNameChars; *forbidden; ++forbidden) {
    const std::string text = std::string("exe,a") + *forbidden + "b";
    EXPECT_EQ(ThrownMessage([&] { search.SetPattern(text.c_str()); }), pattern)
        << static_cast<int>(*forbidden);
    EXPECT_EQ(ThrownMessage([&] { search.SetQuery(text.c_str()); }), query)
        << static_cast<int>(*forbidden);
  }
  EXPECT_EQ(ThrownMessage([&] { search.SetPattern("*.exe"); }), pattern);
  EXPECT_EQ(ThrownMessage([&] { search.SetPattern("-?x"); }), pattern);
  EXPECT_EQ(ThrownMessage([&] { search.SetQuery("-?"); }), query);
  EXPECT_EQ(ThrownMessage([&] { search.SetQuery("run,-?"); }), query);

  // A refused list keeps what was accepted before the bad token.
  EXPECT_EQ(ThrownMessage([&] { search.SetPattern("exe,lnk,*.bad,com"); }), pattern);
  EXPECT_EQ(search.Extensions(), (Tokens{"exe", "lnk"}));
}

TEST(FileSearch, ConstructorChecksInArgumentOrder) {
  TempFolder temp;
  const std::string good = temp.Path();
  const std::string missing = temp / "missing";
  struct Case {
    SearchHandler handler;
    std::string directory;
    const char* pattern;
    const char* query;
    std::string message;
  };
  const Case cases[] = {
      {nullptr, missing, "*", "?", "Invalid function pointer(handler)."},
      {Record, missing, "*", "?", "Invalid directory."},
      {Record, "", "*", "?", "Invalid directory."},
      {Record, " \t\r\n", "", "", "Invalid directory."},
      {Record, good, "*", "?", "The szPattern parameter contains invalid characters."},
      {Record, good, "", "-?", "The szQuery parameter contains invalid characters."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(
        ThrownMessage([&] { CFileSearch(c.handler, c.directory.c_str(), c.pattern, c.query); }),
        c.message)
        << '"' << c.directory << "\" " << c.pattern << ' ' << c.query;
  }
  EXPECT_EQ(ThrownMessage([&] { CFileSearch(Record, nullptr, "", ""); }), "Invalid directory.");

  CFileSearch search(Record, good.c_str(), "", "");
  EXPECT_EQ(ThrownMessage([&] { search.SetHandler(nullptr); }),
            "Invalid function pointer(handler).");
}

TEST(FileSearch, ResolvesTheStartFolder) {
  TempFolder temp;
  temp.MakeFolder("sub");
  const std::string folder = temp.Path() + "\\";
  struct Case {
    std::string argument, expected;
  };
  const Case cases[] = {
      {"-win", WindowsFolder()},
      {" -WIN\t", WindowsFolder()},
      {"-sys", SystemFolder()},
      {"-Sys", SystemFolder()},
      {"-root", SystemDrive()},
      {"-ROOT ", SystemDrive()},
      {Slashed(temp.Path()), folder},
      {Slashed(folder), folder},
      {folder, folder},
      {"  " + folder + "sub\n", folder + "sub\\"},
      {SystemDrive().substr(0, 2), SystemDrive()},
  };
  for (const Case& c : cases) {
    CFileSearch search(Record, c.argument.c_str(), "", "");
    EXPECT_EQ(search.Directory(), c.expected) << c.argument;
  }

  // Only the whole text is a keyword.
  for (const char* ordinary : {"-win\\Temp", "-windows", "-system", "-root\\"}) {
    EXPECT_EQ(ThrownMessage([&] { CFileSearch(Record, ordinary, "", ""); }), "Invalid directory.")
        << ordinary;
  }
}

TEST(FileSearch, RelativeStartFolderBecomesAbsolute) {
  TempFolder temp;
  temp.MakeFolder("sub");
  char saved[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, saved);
  ASSERT_TRUE(SetCurrentDirectoryA(temp.Path().c_str()));
  std::string sub, dot;
  {
    CFileSearch search(Record, "sub", "", "");
    sub = search.Directory();
    search.SetDirectory(".");
    dot = search.Directory();
  }
  SetCurrentDirectoryA(saved);
  EXPECT_EQ(LowerCopy(sub), LowerCopy(temp.Path() + "\\sub\\"));
  EXPECT_EQ(LowerCopy(dot), LowerCopy(temp.Path() + "\\"));
}

TEST(FileSearch, FailedSetDirectoryKeepsTheOldOne) {
  TempFolder temp;
  CFileSearch search(Record, temp.Path().c_str(), "", "");
  const std::string before = search.Directory();
  EXPECT_EQ(ThrownMessage([&] { search.SetDirectory((temp / "missing").c_str()); }),
            "Invalid directory.");
  EXPECT_EQ(ThrownMessage([&] { search.SetDirectory(""); }), "Invalid directory.");
  EXPECT_EQ(search.Directory(), before);
}

TEST(FileSearch, RootStartsAtTheSystemDrive) {
  CFileSearch search(Record, "-root", "", "");
  g_hits.clear();
  search.Search(FoldersInFolder);
  std::set<std::string> lowered;
  for (const std::string& hit : g_hits) lowered.insert(LowerCopy(hit));
  EXPECT_EQ(lowered.count(LowerCopy(WindowsFolder())), 1u);
}

TEST(FileSearch, FolderAttributeWords) {
  const std::set<uint32_t> folders = {16,  17,  18,  19,  20,  21,  22,  23,  48,
                                      49,  50,  51,  52,  54,  55,  144, 145, 146,
                                      147, 148, 150, 151, 176, 177, 179, 183};
  ASSERT_EQ(folders.size(), 26u);
  for (uint32_t word = 0; word < 0x10000; ++word) {
    EXPECT_EQ(CFileSearch::IsFolderAttribute(word), folders.count(word) == 1) << std::hex << word;
  }
  for (uint32_t word : {0x35u, 0x95u, 0x410u, 0x2010u, 0x10010u, 0x80010u, 0x80000010u, 0xFFFFFFFFu,
                        0xFFFFFFFFu & ~0x10u}) {
    EXPECT_FALSE(CFileSearch::IsFolderAttribute(word)) << std::hex << word;
  }
}

// Listings answered from a table instead of the disk, for attribute words no
// test folder can be given. Listings of other paths pass through.
class FakeListings {
 public:
  using Entries = std::vector<std::pair<std::string, DWORD>>;  // name, attribute word

  explicit FakeListings(std::map<std::string, Entries> listings) : listings_(std::move(listings)) {
    active_ = this;
    for (const char* function :
         {"FindFirstFileW", "FindFirstFileExW", "FindNextFileW", "FindClose"})
      patches_.push_back(
          std::make_unique<ImportPatch>("kernel32.dll", function, StandIn(function)));
  }
  ~FakeListings() {
    patches_.clear();
    active_ = nullptr;
  }
  // The listings were taken from here: FindFirstFileW, or its Ex form, is patched.
  bool applied() const { return patches_[0]->applied() || patches_[1]->applied(); }

  std::vector<std::string> asked;  // every folder pattern listed, in order

 private:
  struct Cursor {
    const Entries* entries;
    size_t next;
  };

  static void* StandIn(const std::string& function) {
    if (function == "FindFirstFileW") return reinterpret_cast<void*>(&First);
    if (function == "FindFirstFileExW") return reinterpret_cast<void*>(&FirstEx);
    if (function == "FindNextFileW") return reinterpret_cast<void*>(&Next);
    return reinterpret_cast<void*>(&Close);
  }
  static bool Fill(Cursor& cursor, WIN32_FIND_DATAW* data) {
    if (cursor.next == cursor.entries->size()) return false;
    *data = {};
    const auto& [name, attributes] = (*cursor.entries)[cursor.next++];
    WideFromCodePage(name).copy(data->cFileName, MAX_PATH - 1);
    data->dwFileAttributes = attributes;
    return true;
  }
  static HANDLE Open(const wchar_t* widePattern, WIN32_FIND_DATAW* data) {
    std::string pattern;
    NarrowFromWide(widePattern, pattern);
    active_->asked.push_back(pattern);
    auto listing = active_->listings_.find(pattern);
    if (listing == active_->listings_.end()) return nullptr;
    active_->cursors_.push_back({&listing->second, 0});
    HANDLE handle = reinterpret_cast<HANDLE>(kFirstHandle + active_->cursors_.size() - 1);
    if (Fill(active_->cursors_.back(), data)) return handle;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  static Cursor* Find(HANDLE handle) {
    const uintptr_t index = reinterpret_cast<uintptr_t>(handle) - kFirstHandle;
    return index < active_->cursors_.size() ? &active_->cursors_[index] : nullptr;
  }
  static HANDLE WINAPI First(const wchar_t* pattern, WIN32_FIND_DATAW* data) {
    if (HANDLE fake = Open(pattern, data)) return fake;
    return reinterpret_cast<decltype(&FindFirstFileW)>(active_->patches_[0]->original())(pattern,
                                                                                         data);
  }
  static HANDLE WINAPI FirstEx(const wchar_t* pattern, FINDEX_INFO_LEVELS level, void* data,
                               FINDEX_SEARCH_OPS search, void* filter, DWORD flags) {
    if (HANDLE fake = Open(pattern, static_cast<WIN32_FIND_DATAW*>(data))) return fake;
    return reinterpret_cast<decltype(&FindFirstFileExW)>(active_->patches_[1]->original())(
        pattern, level, data, search, filter, flags);
  }
  static BOOL WINAPI Next(HANDLE handle, WIN32_FIND_DATAW* data) {
    if (Cursor* cursor = Find(handle)) {
      if (Fill(*cursor, data)) return TRUE;
      SetLastError(ERROR_NO_MORE_FILES);
      return FALSE;
    }
    return reinterpret_cast<decltype(&FindNextFileW)>(active_->patches_[2]->original())(handle,
                                                                                        data);
  }
  static BOOL WINAPI Close(HANDLE handle) {
    if (Find(handle)) return TRUE;
    return reinterpret_cast<decltype(&FindClose)>(active_->patches_[3]->original())(handle);
  }

  static constexpr uintptr_t kFirstHandle = 0x7A5E0000;
  static inline FakeListings* active_ = nullptr;
  std::map<std::string, Entries> listings_;
  std::vector<Cursor> cursors_;
  std::vector<std::unique_ptr<ImportPatch>> patches_;
};

// The listing gives "." the folder's own attribute word and ".." its parent's;
// neither is ever an entry, whatever the word. A folder whose word is no folder
// word (0x2010: not indexed) is a file: reported as one, never entered.
TEST(FileSearch, DotNamesAndFoldersOfOtherWordsInAFakeListing) {
  TempFolder temp;
  const std::string root = temp.Path() + "\\";
  FakeListings listings({
      {root + "*.*",
       {{".", 0x2010}, {"..", 0x810}, {"a.exe", 0x20}, {"sub", 0x2010}, {"real", 0x10}}},
      {root + "sub\\*.*", {{".", 0x2010}, {"..", 0x2010}, {"hidden.exe", 0x20}}},
      {root + "real\\*.*", {{".", 0x10}, {"..", 0x2010}, {"...", 0x810}, {"b.exe", 0x20}}},
  });
  ASSERT_TRUE(listings.applied());
  struct Case {
    SearchMode mode;
    Hits expected;
  };
  const Case cases[] = {
      {FilesInFolder, {root + "a.exe", root + "sub"}},
      {FilesInTree, {root + "a.exe", root + "sub", root + "real\\b.exe"}},
      {FoldersInFolder, {root + "real\\"}},
      {FoldersInTree, {root + "real\\"}},
  };
  for (const Case& c : cases) {
    g_hits.clear();
    listings.asked.clear();
    CFileSearch search(Record, root.c_str(), "", "");
    search.Search(c.mode);
    EXPECT_EQ(g_hits, c.expected) << "mode " << c.mode;
    EXPECT_EQ(std::count(listings.asked.begin(), listings.asked.end(), root + "sub\\*.*"), 0)
        << "mode " << c.mode;
  }
}

TEST(FileSearch, ExtensionFilter) {
  TempFolder temp;
  struct Case {
    const char* pattern;
    const char* name;
    bool accepted;
  };
  const Case cases[] = {
      {"exe,-?", "a.exe", true},
      {"exe,-?", "README", true},
      {"exe,-?", "notes.", true},
      {"exe,-?", "a.txt", false},
      {"exe,-?", "SETUP.EXE", true},
      {"exe,-?", "a.exe ", true},
      {"exe,-?", "a. exe", true},
      {"exe,-?", "backup.tar.exe", true},
      {"exe,-?", "archive.exe.txt", false},
      {"exe,-?", ".exe", true},
      {"exe,-?", "D:\\My.Folder\\run", true},
      {"exe", "README", false},
      {"exe", "a.exe2", false},
      {"exe", "a.ex", false},
      {"exe", "a.xe", false},
      {"gz", "backup.tar.gz", true},
      {"tar", "backup.tar.gz", false},
      {"-all", "anything.at.all", true},
      {"", "a.txt", true},
      {" ", "README", true},
  };
  for (const Case& c : cases) {
    CFileSearch search(Record, temp.Path().c_str(), c.pattern, "");
    EXPECT_EQ(search.MatchesPattern(c.name), c.accepted) << c.pattern << " / " << c.name;
  }
}

TEST(FileSearch, FragmentFilter) {
  TempFolder temp;
  struct Case {
    const char* query;
    SearchMode mode;
    const char* name;
    bool accepted;
  };
  const Case cases[] = {
      {"run", FilesInTree, "Run.exe", true},
      {"run", FilesInTree, "autorun.inf", true},
      {"run", FilesInTree, "rundll32.exe", true},
      {"run", FilesInTree, "notepad.exe", false},
      {"RUN", FilesInFolder, "RUNDLL32.EXE", true},
      // A longer fragment accepts a name it contains.
      {"autorun32", FilesInTree, "autorun.inf", true},
      {"autorun32", FilesInTree, "autorun32.exe", true},
      {"autorun32", FilesInTree, "autorun33.inf", false},
      {"autorun32", FilesInTree, "autorunx.inf", false},
      {"final", FilesInTree, "report.final.doc", true},
      {"doc", FilesInTree, "report.final.doc", false},
      {"doc", FoldersInTree, "report.final.doc", true},
      {"profile", FilesInTree, ".profile", true},
      {"pro", FoldersInFolder, ".profile", true},
      {".pro", FilesInTree, ".profile", false},
      {"dir", FoldersInFolder, "my.dir", true},
      {"my.dir", FoldersInTree, "my.dir", true},
      {"dir", FilesInTree, "my.dir", false},
      {"my", FilesInTree, "my .dir", true},
      {"a", FilesInTree, " ", false},
      {"a", FilesInTree, "", false},
      {"a", FoldersInTree, ".", false},
      {"a", FilesInTree, ". \t", false},
      {"zzz, note", FilesInTree, "notepad.exe", true},
      {"zzz, yyy", FilesInTree, "notepad.exe", false},
      {"-all", FilesInTree, " ", true},
      {"", FoldersInTree, "", true},
  };
  for (const Case& c : cases) {
    CFileSearch search(Record, temp.Path().c_str(), "", c.query);
    EXPECT_EQ(search.MatchesQuery(c.name, c.mode), c.accepted)
        << c.query << " / mode " << c.mode << " / \"" << c.name << '"';
  }
}

}  // namespace
