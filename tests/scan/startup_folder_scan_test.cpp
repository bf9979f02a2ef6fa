#include "sources/startup_folder/startup_folder_scan.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "recording_sink.h"
#include "registry_faults.h"
#include "search/file_search.h"
#include "support/registry_sandbox.h"
#include "support/temp_folder.h"

namespace {

const char kShell[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kShellSpaced[] =
    "Software\\Microsoft\\Windows\\Current Version\\Explorer\\Shell Folders";
const char kProfileStartup[] = "\\Start Menu\\Programs\\Startup";
const char kUnknown[] = "Unknown File Type";

using Paths = std::vector<std::string>;

RecordedRow FileRow(const std::string& path, const std::string& description = kUnknown) {
  return RecordedRow{"Start-Up", path.substr(path.find_last_of('\\') + 1), description, path, 1};
}

std::vector<RecordedRow> Scan() {
  RecordingSink sink;
  ScanStartupFolders(sink);
  return sink.rows;
}

Paths LocationsOf(const std::vector<RecordedRow>& rows) {
  Paths paths;
  for (const RecordedRow& row : rows) paths.push_back(row.location);
  return paths;
}

std::vector<RecordedRow> Sorted(std::vector<RecordedRow> rows) {
  std::sort(rows.begin(), rows.end(),
            [](const RecordedRow& a, const RecordedRow& b) { return a.location < b.location; });
  return rows;
}

std::string Slashed(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

// What the search engine itself reports for a folder tree, in its order.
Paths g_engineHits;
void CollectForComparison(const char* path) {
  g_engineHits.push_back(path);
}
Paths EngineFilesInTree(const std::string& folder) {
  g_engineHits.clear();
  CFileSearch search(CollectForComparison, folder.c_str(), "", "");
  search.Search(FilesInTree);
  return g_engineHits;
}

void SetMachine(const char* key, const std::string& folder, DWORD type = REG_SZ) {
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, key, "Common Startup", folder, type);
}
void SetUser(const char* key, const std::string& folder, DWORD type = REG_SZ) {
  RegistrySandbox::SetString(HKEY_CURRENT_USER, key, "Startup", folder, type);
}
void SetHive(const std::string& hive, const char* key, const std::string& folder) {
  RegistrySandbox::SetString(HKEY_USERS, hive + "\\" + key, "Startup", folder);
}
void SetCommonDesktop(const char* key, const std::string& folder, DWORD type = REG_SZ) {
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, key, "Common Desktop", folder, type);
}

// Makes the folder the current one for the life of the object.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::string& folder) {
    char previous[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, previous);
    previous_ = previous;
    EXPECT_TRUE(SetCurrentDirectoryA(folder.c_str())) << folder;
  }
  ~CurrentFolder() { SetCurrentDirectoryA(previous_.c_str()); }

 private:
  std::string previous_;
};

// A profile with one start-up file right below the root of a drive, removed
// again with the object.
class DriveRootProfile {
 public:
  explicit DriveRootProfile(const std::string& drive) {
    std::string folder = drive + "\\lumivane-test-profile-" + std::to_string(GetCurrentProcessId());
    for (const char* part : {"", "\\Start Menu", "\\Programs", "\\Startup"}) {
      folder += part;
      if (!CreateDirectoryA(folder.c_str(), nullptr)) return;
      folders_.push_back(folder);
    }
    const std::string path = folder + "\\decoy.lnk";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    CloseHandle(file);
    file_ = path;
  }
  ~DriveRootProfile() {
    if (!file_.empty()) DeleteFileA(file_.c_str());
    for (auto folder = folders_.rbegin(); folder != folders_.rend(); ++folder)
      RemoveDirectoryA(folder->c_str());
  }
  DriveRootProfile(const DriveRootProfile&) = delete;
  DriveRootProfile& operator=(const DriveRootProfile&) = delete;

  // Empty when it could not be made.
  const std::string& File() const { return file_; }

 private:
  Paths folders_;
  std::string file_;
};

class StartupScanTest : public ::testing::Test {
 protected:
  void SetUp() override { FreshRegistry(); }

  // An empty sandbox that knows two file types.
  void FreshRegistry() {
    sandbox_.reset();
    sandbox_.emplace();
    RegistrySandbox::SetString(HKEY_CLASSES_ROOT, ".lnk", "", "lnkfile");
    RegistrySandbox::SetString(HKEY_CLASSES_ROOT, "lnkfile", "", "Shortcut");
    RegistrySandbox::SetString(HKEY_CLASSES_ROOT, ".exe", "", "exefile");
    RegistrySandbox::SetString(HKEY_CLASSES_ROOT, "exefile", "", "Application");
  }

  // A profile's start-up folder below `root`, holding the given files.
  std::string MakeProfile(const std::string& root, const std::string& profile, const Paths& files) {
    const std::string startup = root + "\\" + profile + kProfileStartup;
    for (const std::string& file : files)
      temp_.WriteFile(startup.substr(temp_.Path().size() + 1) + "\\" + file, file);
    if (files.empty()) temp_.MakeFolder(startup.substr(temp_.Path().size() + 1));
    return startup;
  }

  TempFolder temp_;
  std::optional<RegistrySandbox> sandbox_;
};

// ---- What a start-up folder lists ---------------------------------------------------------

TEST_F(StartupScanTest, ListsEveryFileAtAnyDepthWithItsOwnName) {
  const std::string start = temp_ / "start";
  temp_.WriteFile("start\\a.lnk", "a");
  temp_.WriteFile("start\\tool.exe", "t");
  temp_.WriteFile("start\\README", "r");
  temp_.WriteFile("start\\sub\\b.exe", "b");
  temp_.WriteFile("start\\sub\\deep\\c.txt", "c");
  const std::string hidden = temp_.WriteFile("start\\hidden.lnk", "h");
  const std::string system = temp_.WriteFile("start\\system.exe", "s");
  const std::string spaced = temp_.WriteFile("start\\ spaced.lnk", "s");
  temp_.WriteFile("start\\veiled\\inner.lnk", "i");
  temp_.MakeFolder("start\\empty");
  ASSERT_TRUE(SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(SetFileAttributesA(system.c_str(), FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(SetFileAttributesA((start + "\\veiled").c_str(), FILE_ATTRIBUTE_DIRECTORY |
                                                                   FILE_ATTRIBUTE_HIDDEN |
                                                                   FILE_ATTRIBUTE_SYSTEM));
  SetMachine(kShell, start);

  const std::vector<RecordedRow> rows = Scan();
  const std::string s = start + "\\";
  EXPECT_EQ(Sorted({
                FileRow(s + "a.lnk", "Shortcut"),
                FileRow(s + "tool.exe", "Application"),
                FileRow(s + "README"),
                FileRow(s + "sub\\b.exe", "Application"),
                FileRow(s + "sub\\deep\\c.txt"),
                FileRow(hidden, "Shortcut"),
                FileRow(system, "Application"),
                // The name is trimmed; the location is the path as it is.
                RecordedRow{"Start-Up", "spaced.lnk", "Shortcut", spaced, 1},
                FileRow(s + "veiled\\inner.lnk", "Shortcut"),
            }),
            Sorted(rows));
  // In the order the search reports them.
  EXPECT_EQ(EngineFilesInTree(start), LocationsOf(rows));
}

TEST_F(StartupScanTest, LocationStartsWithTheFolderAsTheSearchNormalisedIt) {
  const std::string start = temp_ / "Start Up";
  temp_.WriteFile("Start Up\\a.lnk", "a");
  const struct {
    const char* label;
    std::string value;
    std::string location;
  } cases[] = {
      {"as is", start, start + "\\a.lnk"},
      {"final backslash", start + "\\", start + "\\a.lnk"},
      {"slashes", Slashed(start), start + "\\a.lnk"},
      {"slashes and a final one", Slashed(start) + "/", start + "\\a.lnk"},
      {"other letter case", Upper(start), Upper(start) + "\\a.lnk"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    FreshRegistry();
    SetUser(kShell, c.value);
    EXPECT_EQ(std::vector<RecordedRow>{FileRow(c.location, "Shortcut")}, Scan());
  }
}

TEST_F(StartupScanTest, EmptyOrMissingFoldersAddNothing) {
  temp_.MakeFolder("empty");
  temp_.MakeFolder("only folders\\a\\b");
  const std::string file = temp_.WriteFile("file.lnk", "f");
  const std::string used = temp_.WriteFile("used\\u.exe", "u");
  const struct {
    const char* label;
    std::string folder;
  } cases[] = {{"empty folder", temp_ / "empty"},
               {"folders without files", temp_ / "only folders"},
               {"missing folder", temp_ / "missing"},
               {"missing drive", "Q:\\Startup"},
               {"a file", file},
               {"not a path at all", "<no folder>"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    FreshRegistry();
    SetMachine(kShell, c.folder);
    EXPECT_EQ(std::vector<RecordedRow>{}, Scan());
    // The scan goes on with the next folder.
    SetUser(kShell, temp_ / "used");
    EXPECT_EQ(std::vector<RecordedRow>{FileRow(used, "Application")}, Scan());
  }
}

TEST_F(StartupScanTest, NothingReadableGivesNoRows) {
  EXPECT_EQ(std::vector<RecordedRow>{}, Scan());
  RegistrySandbox::CreateKey(HKEY_LOCAL_MACHINE, kShell);
  RegistrySandbox::CreateKey(HKEY_CURRENT_USER, kShellSpaced);
  RegistrySandbox::CreateKey(HKEY_USERS, std::string("S-1-5-21-x\\") + kShell);
  EXPECT_EQ(std::vector<RecordedRow>{}, Scan());
}

// ---- Which folders are searched, and in what order ---------------------------------------

TEST_F(StartupScanTest, RowsFollowTheOrderOfTheFolderCandidates) {
  // One file per folder, named after its place in the order.
  const char* const order[] = {"m1", "m2", "u1", "u2", "d1", "d2", "x2", "z1", "a1", "profile"};
  const std::string profiles = temp_ / "Profiles";
  temp_.MakeFolder("Profiles\\Public\\Desktop");
  const std::string profileStartup = MakeProfile(profiles, "P", {"profile.lnk"});
  for (const char* name : order) temp_.WriteFile(std::string(name) + "\\" + name + ".lnk", name);
  auto folder = [&](const char* name) { return temp_ / name; };

  // Written last place first. Registry value names do not care about letter
  // case: Wine writes "Common StartUp" and "StartUp".
  SetCommonDesktop(kShell, profiles + "\\Public\\Desktop");
  SetHive("alpha", kShellSpaced, folder("a1"));
  SetHive("Zeta", kShell, folder("z1"));
  SetHive("S-1-5-21-x", kShell, folder("x2"));
  SetHive(".DEFAULT", kShell, folder("d2"));
  SetHive(".DEFAULT", kShellSpaced, folder("d1"));
  RegistrySandbox::SetString(HKEY_CURRENT_USER, kShell, "StartUp", folder("u2"));
  SetUser(kShellSpaced, folder("u1"));
  SetMachine(kShell, folder("m2"));
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kShellSpaced, "Common StartUp", folder("m1"));
  RegistrySandbox::CreateKey(HKEY_USERS, "S-1-5-18\\Software");

  // Values that name no start-up folder of theirs.
  temp_.WriteFile("ignored\\ignored.lnk", "i");
  const std::string ignored = temp_ / "ignored";
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kShell, "Startup", ignored);
  RegistrySandbox::SetString(HKEY_CURRENT_USER, kShell, "Common Startup", ignored);
  RegistrySandbox::SetString(HKEY_USERS, std::string("Zeta\\") + kShell, "Common Startup", ignored);
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE,
                             "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User "
                             "Shell Folders",
                             "Common Startup", ignored);
  RegistrySandbox::SetString(HKEY_CURRENT_USER, kShell, "Common Desktop",
                             temp_ / "Elsewhere\\Public\\Desktop");
  MakeProfile(temp_ / "Elsewhere", "Q", {"ignored.lnk"});

  Paths expected;
  for (const char* name : order)
    expected.push_back(name == std::string("profile") ? profileStartup + "\\profile.lnk"
                                                      : folder(name) + "\\" + name + ".lnk");
  EXPECT_EQ(expected, LocationsOf(Scan()));
}

// The example of a machine where the same three folders are named seven
// times: F1, F2, F3, F2 from the registry, then F1, F3, F2 from the profiles.
TEST_F(StartupScanTest, SevenCandidatesForThreeFoldersGiveThreeSearches) {
  const std::string profiles = temp_ / "Profiles";
  temp_.MakeFolder("Profiles\\Public\\Desktop");
  const std::string f1 = MakeProfile(profiles, "A", {"one.lnk"});
  const std::string f3 = MakeProfile(profiles, "B", {"three.exe"});
  const std::string f2 = MakeProfile(profiles, "C", {"two.txt"});
  SetCommonDesktop(kShell, profiles + "\\Public\\Desktop");
  SetMachine(kShell, f1);
  SetUser(kShell, f2);
  SetHive(".DEFAULT", kShell, f3);
  RegistrySandbox::CreateKey(HKEY_USERS, "S-1-5-18\\Software\\Microsoft");
  SetHive("S-1-5-21-1000", kShell, f2);
  RegistrySandbox::CreateKey(HKEY_USERS, "S-1-5-21-1000_Classes");

  EXPECT_EQ(
      (std::vector<RecordedRow>{FileRow(f1 + "\\one.lnk", "Shortcut"), FileRow(f2 + "\\two.txt"),
                                FileRow(f3 + "\\three.exe", "Application")}),
      Scan());
}

TEST_F(StartupScanTest, FolderTextsDifferingOnlyInLetterCaseAreSearchedOnce) {
  const std::string f = temp_ / "Start";
  temp_.WriteFile("Start\\only.lnk", "o");
  const std::string in = f + "\\only.lnk";
  const std::string inUpper = Upper(f) + "\\only.lnk";  // the listing gives the name
  const struct {
    const char* label;
    std::vector<std::pair<HKEY, std::string>> values;  // whose Shell Folders, folder text
    Paths expected;
  } cases[] = {
      {"machine and user, other case",
       {{HKEY_LOCAL_MACHINE, f}, {HKEY_CURRENT_USER, Upper(f)}},
       {in}},
      {"current user and its own hive", {{HKEY_CURRENT_USER, f}, {HKEY_USERS, f}}, {in}},
      {"three places",
       {{HKEY_LOCAL_MACHINE, Upper(f)}, {HKEY_CURRENT_USER, f}, {HKEY_USERS, f}},
       {inUpper}},
      {"with and without a final backslash",
       {{HKEY_LOCAL_MACHINE, f}, {HKEY_CURRENT_USER, f + "\\"}},
       {in, in}},
      {"back and forward slashes",
       {{HKEY_LOCAL_MACHINE, f}, {HKEY_CURRENT_USER, Slashed(f)}},
       {in, in}},
      {"two texts, each twice",
       {{HKEY_LOCAL_MACHINE, f}, {HKEY_CURRENT_USER, Upper(f) + "\\"}, {HKEY_USERS, f + "\\"}},
       {in, inUpper}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    FreshRegistry();
    for (const auto& value : c.values) {
      if (value.first == HKEY_LOCAL_MACHINE) SetMachine(kShell, value.second);
      if (value.first == HKEY_CURRENT_USER) SetUser(kShell, value.second);
      if (value.first == HKEY_USERS) SetHive("S-1-5-21-x", kShell, value.second);
    }
    EXPECT_EQ(c.expected, LocationsOf(Scan()));
  }
}

TEST_F(StartupScanTest, OneValueUnderBothSpellingsIsSearchedOnce) {
  const std::string file = temp_.WriteFile("Start\\only.lnk", "o");
  for (const auto& write : {SetMachine, SetUser}) {
    FreshRegistry();
    write(kShellSpaced, temp_ / "Start", REG_SZ);
    write(kShell, temp_ / "Start", REG_EXPAND_SZ);
    EXPECT_EQ(std::vector<RecordedRow>{FileRow(file, "Shortcut")}, Scan());
  }
}

TEST_F(StartupScanTest, ProfileFolderNamedInTheRegistryIsSearchedInTheRegistryPlace) {
  const std::string profiles = temp_ / "Profiles";
  temp_.MakeFolder("Profiles\\Public\\Desktop");
  const std::string anna = MakeProfile(profiles, "Anna", {"anna.lnk"});
  const std::string ben = MakeProfile(profiles, "Ben", {"ben.lnk"});
  SetCommonDesktop(kShell, profiles + "\\Public\\Desktop");
  SetUser(kShell, Upper(ben));
  // Ben's folder comes first, under the registry's text, whatever order the
  // profiles are listed in, and only once.
  EXPECT_EQ(
      (std::vector<RecordedRow>{{"Start-Up", "ben.lnk", "Shortcut", Upper(ben) + "\\ben.lnk", 1},
                                FileRow(anna + "\\anna.lnk", "Shortcut")}),
      Scan());
}

// ---- Profiles beside the common desktop -------------------------------------------------

TEST(ProfileRootTest, IsTwoLevelsAboveTheCommonDesktop) {
  const struct {
    const char* desktop;
    const char* root;
  } cases[] = {
      {"D:\\Profiles\\Public\\Desktop", "D:\\Profiles\\"},
      {"D:\\Profiles\\Public\\Desktop\\", "D:\\Profiles\\"},
      {"D:/Profiles/Public/Desktop/", "D:/Profiles/"},
      {"D:\\Profiles\\Public\\Desktop/", "D:\\Profiles\\"},
      {"\\\\server\\share\\Public\\Desktop", "\\\\server\\share\\"},
      {" D:\\Profiles\\Public\\Desktop ", "D:\\Profiles\\"},
      {"C:\\Users\\Desktop", "C:\\"},
      // One final separator is dropped, not more.
      {"D:\\Profiles\\Public\\Desktop\\\\", "D:\\Profiles\\Public\\"},
      // Less than two levels deep: nothing, never a drive or the current folder.
      {"C:\\Desktop", ""},
      {"C:\\Desktop\\", ""},
      {"\\Desktop", ""},
      {"Public\\Desktop", ""},
      {"Desktop", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.root, ProfileRootOf(c.desktop)) << c.desktop;
}

TEST_F(StartupScanTest, ListsTheStartupFolderOfEveryProfile) {
  const std::string profiles = temp_ / "Profiles";
  const std::string desktop = profiles + "\\Public\\Desktop";
  temp_.MakeFolder("Profiles\\Public\\Desktop");
  const std::string anna = MakeProfile(profiles, "Anna", {"anna.lnk"});
  temp_.WriteFile("Profiles\\Anna\\Start Menu\\Programs\\Startup\\sub\\deep.exe", "d");
  MakeProfile(profiles, "Ben", {});
  const std::string carl = MakeProfile(profiles, "Carl", {"carl.exe"});
  temp_.MakeFolder("Profiles\\Dora\\Start Menu\\Programs");
  temp_.WriteFile("Profiles\\Eve\\Start Menu\\Programs\\Startup.lnk", "not a folder");
  temp_.WriteFile("Profiles\\ntuser.dat", "a file beside the profiles");
  const std::string hidden = MakeProfile(profiles, "Hidden", {"hidden.lnk"});
  ASSERT_TRUE(SetFileAttributesA((profiles + "\\Hidden").c_str(),
                                 FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN));
  const std::vector<RecordedRow> expected = {
      FileRow(anna + "\\anna.lnk", "Shortcut"), FileRow(anna + "\\sub\\deep.exe", "Application"),
      FileRow(carl + "\\carl.exe", "Application"), FileRow(hidden + "\\hidden.lnk", "Shortcut")};

  const struct {
    const char* label;
    const char* key;
    std::string desktop;
    DWORD type;
  } cases[] = {
      {"desktop without a final separator", kShell, desktop, REG_SZ},
      {"with a final backslash", kShell, desktop + "\\", REG_SZ},
      {"written with slashes", kShell, Slashed(desktop) + "/", REG_SZ},
      {"under the other spelling", kShellSpaced, desktop, REG_EXPAND_SZ},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    FreshRegistry();
    SetCommonDesktop(c.key, c.desktop, c.type);
    const std::vector<RecordedRow> rows = Scan();
    EXPECT_EQ(Sorted(expected), Sorted(rows));
    // Each profile's files stay together.
    const Paths locations = LocationsOf(rows);
    const auto deep = std::find(locations.begin(), locations.end(), anna + "\\sub\\deep.exe");
    const auto first = std::find(locations.begin(), locations.end(), anna + "\\anna.lnk");
    ASSERT_TRUE(deep != locations.end() && first != locations.end());
    EXPECT_EQ(1, std::abs(deep - first));
  }
}

TEST_F(StartupScanTest, CommonDesktopIsReadUnderTheSecondSpellingOnlyWhenTheFirstFails) {
  const std::string first = MakeProfile(temp_ / "First", "Anna", {"first.lnk"});
  const std::string second = MakeProfile(temp_ / "Second", "Ben", {"second.lnk"});
  const std::string firstDesktop = temp_ / "First\\Public\\Desktop";
  const std::string secondDesktop = temp_ / "Second\\Public\\Desktop";
  const struct {
    const char* label;
    bool spacedIsText;  // otherwise a DWORD, which reads as an empty text
    Paths expected;
  } cases[] = {
      {"both readable", true, {first + "\\first.lnk"}},
      // A value of another type is read, as nothing: no profile root at all.
      {"the first of another type", false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    FreshRegistry();
    if (c.spacedIsText)
      SetCommonDesktop(kShellSpaced, firstDesktop);
    else
      RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, kShellSpaced, "Common Desktop", 1);
    SetCommonDesktop(kShell, secondDesktop);
    EXPECT_EQ(c.expected, LocationsOf(Scan()));
  }
  FreshRegistry();
  RegistrySandbox::CreateKey(HKEY_LOCAL_MACHINE, kShellSpaced);
  SetCommonDesktop(kShell, secondDesktop);
  EXPECT_EQ(Paths{second + "\\second.lnk"}, LocationsOf(Scan())) << "only the second spelling";
}

TEST_F(StartupScanTest, MissingProfileRootLeavesTheRegistryFolders) {
  const std::string used = temp_.WriteFile("used\\u.lnk", "u");
  SetUser(kShell, temp_ / "used");
  SetCommonDesktop(kShell, temp_ / "Missing\\Public\\Desktop");
  EXPECT_EQ(std::vector<RecordedRow>{FileRow(used, "Shortcut")}, Scan());
}

// ---- Texts that name no folder -----------------------------------------------------------

// The current folder holds files and profile-like folders, and so does the
// root of its drive: an empty text taken for the current folder or the drive,
// or a profile root cut too short, would list them.
TEST_F(StartupScanTest, EmptyOrTooShallowFolderTextsListNothing) {
  const std::string current = temp_ / "current";
  const std::string decoy = temp_.WriteFile("current\\decoy.lnk", "d");
  temp_.WriteFile("current\\Public\\Start Menu\\Programs\\Startup\\decoy.exe", "d");
  temp_.WriteFile("current\\A\\Start Menu\\Programs\\Startup\\decoy.exe", "d");
  const std::string drive = current.substr(0, 2);  // "C:"
  DriveRootProfile rootProfile(drive);
  CurrentFolder cwd(current);

  const std::string dword("\1\0\0\0", 4);
  const struct {
    const char* label;
    const char* valueName;  // under HKEY_LOCAL_MACHINE
    DWORD type;
    std::string bytes;
  } cases[] = {
      {"empty start-up folder", "Common Startup", REG_SZ, std::string(1, '\0')},
      {"start-up folder stored with size 0", "Common Startup", REG_SZ, ""},
      {"blank start-up folder", "Common Startup", REG_SZ, std::string(" \t ", 4)},
      {"start-up folder as a DWORD", "Common Startup", REG_DWORD, dword},
      {"start-up folder as binary", "Common Startup", REG_BINARY, "C:\\"},
      {"empty common desktop", "Common Desktop", REG_SZ, std::string(1, '\0')},
      {"common desktop as a DWORD", "Common Desktop", REG_DWORD, dword},
      {"desktop right below a root", "Common Desktop", REG_SZ, drive + "\\Desktop" + '\0'},
      {"relative desktop, one level", "Common Desktop", REG_SZ, std::string("Public\\Desktop", 15)},
      {"relative desktop, bare", "Common Desktop", REG_SZ, std::string("Desktop", 8)},
      {"desktop at the top of the drive", "Common Desktop", REG_SZ, std::string("\\Desktop", 9)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    FreshRegistry();
    RegistrySandbox::SetValue(HKEY_LOCAL_MACHINE, kShell, c.valueName, c.type, c.bytes.data(),
                              static_cast<DWORD>(c.bytes.size()));
    EXPECT_EQ(std::vector<RecordedRow>{}, Scan());
  }

  // The decoys are there to be found by folder texts that name them.
  FreshRegistry();
  SetMachine(kShell, current);
  const Paths found = LocationsOf(Scan());
  EXPECT_EQ(3u, found.size());
  EXPECT_EQ(1, std::count(found.begin(), found.end(), decoy));
  if (!rootProfile.File().empty()) {
    FreshRegistry();
    SetCommonDesktop(kShell, drive + "\\Users\\Desktop");
    const Paths atRoot = LocationsOf(Scan());
    EXPECT_EQ(1, std::count(atRoot.begin(), atRoot.end(), rootProfile.File()));
  }
}

TEST_F(StartupScanTest, EnvironmentReferencesAreNotExpanded) {
  temp_.WriteFile("real\\expanded.lnk", "e");
  const std::string literal = temp_.WriteFile("%LUMIVANE_STARTUP%\\literal.lnk", "l");
  temp_.WriteFile("real\\Profile\\Start Menu\\Programs\\Startup\\profile.lnk", "p");
  ASSERT_TRUE(SetEnvironmentVariableA("LUMIVANE_STARTUP", (temp_ / "real").c_str()));
  const struct {
    const char* label;
    const char* valueName;
    std::string value;
    Paths expected;
  } cases[] = {
      {"a folder of that literal name", "Common Startup", temp_ / "%LUMIVANE_STARTUP%", {literal}},
      {"no such literal folder", "Common Startup", "%LUMIVANE_STARTUP%", {}},
      {"profile root", "Common Desktop", "%LUMIVANE_STARTUP%\\Public\\Desktop", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    FreshRegistry();
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kShell, c.valueName, c.value, REG_EXPAND_SZ);
    EXPECT_EQ(c.expected, LocationsOf(Scan()));
  }
  SetEnvironmentVariableA("LUMIVANE_STARTUP", nullptr);
}

// ---- Unreadable registry -----------------------------------------------------------------

TEST_F(StartupScanTest, UnreadableKeysOnlyLoseTheirOwnFolders) {
  const std::string machine = temp_.WriteFile("machine\\m.lnk", "m");
  const std::string user = temp_.WriteFile("user\\u.lnk", "u");
  const std::string hive = temp_.WriteFile("hive\\h.lnk", "h");
  SetMachine(kShell, temp_ / "machine");
  SetUser(kShell, temp_ / "user");
  SetHive("S-1-5-21-x", kShell, temp_ / "hive");
  const struct {
    const char* label;
    HKEY root;
    std::string subKey;  // denied
    Paths expected;
    const char* description;
  } cases[] = {
      {"machine's key", HKEY_LOCAL_MACHINE, kShell, {user, hive}, "Shortcut"},
      {"user's key", HKEY_CURRENT_USER, kShell, {machine, hive}, "Shortcut"},
      {"HKEY_USERS itself", HKEY_USERS, "", {machine, user}, "Shortcut"},
      {"the hive's key",
       HKEY_USERS,
       std::string("S-1-5-21-x\\") + kShell,
       {machine, user},
       "Shortcut"},
      {"the file type's key", HKEY_CLASSES_ROOT, "lnkfile", {machine, user, hive}, kUnknown},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    RegistryFaults faults;
    ASSERT_TRUE(faults.applied());
    faults.failOpen = [&c](HKEY root, const std::string& subKey, REGSAM) {
      return static_cast<LONG>(root == c.root && subKey == c.subKey ? ERROR_ACCESS_DENIED
                                                                    : ERROR_SUCCESS);
    };
    const std::vector<RecordedRow> rows = Scan();
    EXPECT_EQ(c.expected, LocationsOf(rows));
    for (const RecordedRow& row : rows) EXPECT_EQ(c.description, row.action);
  }
}

TEST_F(StartupScanTest, ReadsOnlyAndClosesEveryKey) {
  temp_.WriteFile("Profiles\\A\\Start Menu\\Programs\\Startup\\a.lnk", "a");
  temp_.WriteFile("start\\s.exe", "s");
  SetCommonDesktop(kShell, temp_ / "Profiles\\Public\\Desktop");
  SetMachine(kShellSpaced, temp_ / "start");
  SetHive("S-1-5-21-x", kShell, temp_ / "missing");
  RegistryFaults faults;
  ASSERT_TRUE(faults.applied());
  EXPECT_EQ(2u, Scan().size());
  EXPECT_GT(faults.opens, 0);
  // Read access only; the machine's keys in their 64-bit view.
  for (size_t i = 0; i < faults.accessRights.size(); ++i)
    EXPECT_EQ(static_cast<REGSAM>(KEY_READ),
              faults.accessRights[i] &
                  ~(faults.openedRoots[i] == HKEY_LOCAL_MACHINE ? KEY_WOW64_64KEY : 0))
        << i;
  EXPECT_TRUE(faults.openKeys.empty()) << faults.openKeys.size() << " keys left open";
  EXPECT_EQ(0, faults.strayCloses);
}

// ---- Hits and repeated scans -------------------------------------------------------------

TEST_F(StartupScanTest, HitsOfAnEarlierRunAreNeitherListedNorKept) {
  const std::string file = temp_.WriteFile("start\\a.lnk", "a");
  SearchHits.assign({"C:\\stale\\left.lnk", "C:\\stale\\over.exe"});
  SetMachine(kShell, temp_ / "start");
  EXPECT_EQ(std::vector<RecordedRow>{FileRow(file, "Shortcut")}, Scan());
  EXPECT_TRUE(SearchHits.empty());

  FreshRegistry();
  SearchHits.assign({"C:\\stale\\left.lnk"});
  EXPECT_EQ(std::vector<RecordedRow>{}, Scan());
  EXPECT_TRUE(SearchHits.empty());
}

TEST(CollectSearchHitTest, AppendsACopyOfEachPath) {
  SearchHits.clear();
  char path[] = "C:\\Startup\\a.lnk";
  CollectSearchHit(path);
  path[11] = 'b';
  CollectSearchHit(path);
  CollectSearchHit("");
  path[0] = '\0';
  EXPECT_EQ((Paths{"C:\\Startup\\a.lnk", "C:\\Startup\\b.lnk", ""}), SearchHits);
  SearchHits.clear();
}

TEST_F(StartupScanTest, EveryScanLooksAgain) {
  const std::string a = temp_.WriteFile("start\\a.lnk", "a");
  SetMachine(kShell, temp_ / "start");
  EXPECT_EQ(std::vector<RecordedRow>{FileRow(a, "Shortcut")}, Scan());

  const std::string b = temp_.WriteFile("other\\b.exe", "b");
  SetMachine(kShell, temp_ / "other");
  RegistrySandbox::SetString(HKEY_CLASSES_ROOT, "exefile", "", "Program");
  EXPECT_EQ(std::vector<RecordedRow>{FileRow(b, "Program")}, Scan());

  ASSERT_TRUE(DeleteFileA(b.c_str()));
  EXPECT_EQ(std::vector<RecordedRow>{}, Scan());
}

}  // namespace
