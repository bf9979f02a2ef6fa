#include "scan/file_types.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "registry_faults.h"
#include "support/registry_sandbox.h"

namespace {

const char kUnknown[] = "Unknown File Type";

void SetDefault(const std::string& key, const std::string& text, DWORD type = REG_SZ) {
  RegistrySandbox::SetString(HKEY_CLASSES_ROOT, key, "", text, type);
}

// Registered types, plus decoys that a wrong reading of the name or of an
// empty type name would find: the key "." (an empty extension), the key
// ".Folder\run" (a dot in a folder of the path) and the default value of
// HKEY_CLASSES_ROOT itself (an empty type name).
class FileTypeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDefault(".exe", "exefile");
    SetDefault("exefile", "Application");
    SetDefault(".txt", "txtfile");
    SetDefault("txtfile", "Text Document");
    SetDefault(".tar", "tarfile");
    SetDefault("tarfile", "Tar archive");
    SetDefault(".gz", "gzfile");
    SetDefault("gzfile", "GZip archive");
    SetDefault(".profile", "proffile");
    SetDefault("proffile", "Profile settings");
    SetDefault(".expand", "expandfile");
    SetDefault("expandfile", "%SystemRoot%\\notes", REG_EXPAND_SZ);
    SetDefault(".padded", " padded type ");
    SetDefault(" padded type ", "  Kept as stored  ");
    SetDefault("padded type", "Trimmed type name");
    SetDefault(".\xE9t\xE9", "summerfile");
    SetDefault("summerfile", "\xC9t\xE9 file");

    SetDefault(".", "dotfile");
    SetDefault(".Folder\\run", "dotfile");
    SetDefault("dotfile", "Decoy: wrong extension");
    SetDefault("", "Decoy: HKEY_CLASSES_ROOT itself");

    RegistrySandbox::CreateKey(HKEY_CLASSES_ROOT, ".nodefault");
    SetDefault(".emptytype", "");
    RegistrySandbox::SetDword(HKEY_CLASSES_ROOT, ".dwordtype", "", 1);
    SetDefault(".dangling", "nosuchfile");
    SetDefault(".nodesc", "nodescfile");
    RegistrySandbox::CreateKey(HKEY_CLASSES_ROOT, "nodescfile");
    SetDefault(".emptydesc", "emptydescfile");
    SetDefault("emptydescfile", "");
    SetDefault(".dworddesc", "dworddescfile");
    RegistrySandbox::SetDword(HKEY_CLASSES_ROOT, "dworddescfile", "", 1);
  }

  RegistrySandbox sandbox_;
};

TEST_F(FileTypeTest, DescriptionOfEachKindOfName) {
  const struct {
    const char* path;
    std::string expected;
  } cases[] = {
      {"C:\\Tools\\app.exe", "Application"},
      {"app.exe", "Application"},
      {"C:/Tools/app.exe", "Application"},
      // The registry finds ".exe" for ".EXE"; the text looked up keeps its case.
      {"SETUP.EXE", "Application"},
      {"notes.TXT", "Text Document"},
      // Blanks around the extension do not count.
      {"C:\\Tools\\app.exe  ", "Application"},
      {"notes.  txt", "Text Document"},
      {"backup.tar.gz", "GZip archive"},
      {".profile", "Profile settings"},
      {"C:\\home\\.profile", "Profile settings"},
      {"C:\\x.\xE9t\xE9", "\xC9t\xE9 file"},
      // Both texts as stored: nothing expanded, nothing trimmed.
      {"x.expand", "%SystemRoot%\\notes"},
      {"x.padded", "  Kept as stored  "},

      {"README", kUnknown},
      {"notes.", kUnknown},
      {"notes. \t", kUnknown},
      {"D:\\My.Folder\\run", kUnknown},
      {"D:\\My.Folder\\", kUnknown},
      {"", kUnknown},
      {"x.unregistered", kUnknown},
      {"x.nodefault", kUnknown},
      {"x.emptytype", kUnknown},
      {"x.dwordtype", kUnknown},
      {"x.dangling", kUnknown},
      {"x.nodesc", kUnknown},
      {"x.emptydesc", kUnknown},
      {"x.dworddesc", kUnknown},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, GetFileTypeDescription(c.path)) << c.path;
  EXPECT_EQ(kUnknown, GetFileTypeDescription(nullptr));
}

TEST(FileTypeLookupTest, EmptyClassesRootKnowsNoType) {
  RegistrySandbox sandbox;
  for (const char* path : {"C:\\app.exe", "notes.txt", "README"})
    EXPECT_EQ(kUnknown, GetFileTypeDescription(path)) << path;
}

// Only the extension's key and the type's key are opened, read-only, and
// both are closed again.
TEST_F(FileTypeTest, OpensAtMostTheTwoKeysItNeeds) {
  const struct {
    const char* path;
    std::vector<std::string> opened;
  } cases[] = {
      {"C:\\app.exe", {".exe", "exefile"}},
      {"SETUP.EXE", {".EXE", "exefile"}},
      {"x.padded", {".padded", " padded type "}},
      {"x.dangling", {".dangling", "nosuchfile"}},
      {"x.unregistered", {".unregistered"}},
      {"x.emptytype", {".emptytype"}},
      {"x.dwordtype", {".dwordtype"}},
      {"README", {}},
      {"notes.", {}},
  };
  for (const auto& c : cases) {
    RegistryFaults faults;
    ASSERT_TRUE(faults.applied());
    std::vector<std::string> opened;
    bool otherRoot = false;
    faults.failOpen = [&](HKEY root, const std::string& subKey, REGSAM) {
      opened.push_back(subKey);
      otherRoot = otherRoot || root != HKEY_CLASSES_ROOT;
      return static_cast<LONG>(ERROR_SUCCESS);
    };
    GetFileTypeDescription(c.path);
    EXPECT_EQ(c.opened, opened) << c.path;
    EXPECT_FALSE(otherRoot) << c.path;
    EXPECT_EQ(std::vector<REGSAM>(faults.accessRights.size(), KEY_READ), faults.accessRights);
    EXPECT_TRUE(faults.openKeys.empty()) << c.path;
    EXPECT_EQ(0, faults.strayCloses) << c.path;
  }
}

TEST_F(FileTypeTest, UnreadableKeysGiveUnknown) {
  const struct {
    const char* label;
    const char* deniedKey;
  } cases[] = {{"extension key", ".exe"}, {"type key", "exefile"}};
  for (const auto& c : cases) {
    RegistryFaults faults;
    faults.failOpen = [&](HKEY, const std::string& subKey, REGSAM) {
      return static_cast<LONG>(subKey == c.deniedKey ? ERROR_ACCESS_DENIED : ERROR_SUCCESS);
    };
    EXPECT_EQ(kUnknown, GetFileTypeDescription("app.exe")) << c.label;
  }
  RegistryFaults faults;
  faults.changeQuery = [](const std::string&, bool withData, DWORD*, LONG result) {
    return withData ? static_cast<LONG>(ERROR_FILE_NOT_FOUND) : result;
  };
  EXPECT_EQ(kUnknown, GetFileTypeDescription("app.exe")) << "value vanished before its read";
}

// One scan's descriptions: each name gets what a lookup of its own gives,
// though the object met the names before it, and an extension's keys are read
// only for its first name, whatever the letter case of the others.
TEST_F(FileTypeTest, DescriptionsOfOneScanAreLookedUpOncePerExtension) {
  const struct {
    const char* path;
    std::vector<std::string> opened;
  } cases[] = {
      {"C:\\Tools\\app.exe", {".exe", "exefile"}},
      {"SETUP.EXE", {}},
      {"b.Exe", {}},
      {"notes.TXT", {".TXT", "txtfile"}},
      {"notes.txt", {}},
      {"x.tar", {".tar", "tarfile"}},
      {"backup.tar.gz", {".gz", "gzfile"}},
      {"y.gz", {}},
      {".profile", {".profile", "proffile"}},
      {"C:\\home\\.profile", {}},
      {"x.\xE9t\xE9", {".\xE9t\xE9", "summerfile"}},
      // Letter case beyond ASCII is the same key to the registry too.
      {"x.\xC9T\xC9", {}},
      {"x.padded", {".padded", " padded type "}},
      {"x. padded ", {}},
      {"README", {}},
      {"notes.", {}},
      {"x.emptytype", {".emptytype"}},
      {"x.nodesc", {".nodesc", "nodescfile"}},
      {"x.unregistered", {".unregistered"}},
      {"again.EXE", {}},
  };
  FileTypeDescriptions descriptions;
  RegistryFaults faults;
  ASSERT_TRUE(faults.applied());
  std::vector<std::string> opened;
  faults.failOpen = [&](HKEY, const std::string& subKey, REGSAM) {
    opened.push_back(subKey);
    return static_cast<LONG>(ERROR_SUCCESS);
  };
  for (const auto& c : cases) {
    const std::string expected = GetFileTypeDescription(c.path);
    opened.clear();
    EXPECT_EQ(expected, descriptions.Of(c.path)) << c.path;
    EXPECT_EQ(c.opened, opened) << c.path;
  }
  EXPECT_TRUE(faults.openKeys.empty());
}

TEST_F(FileTypeTest, EveryCallReadsTheRegistryAgain) {
  EXPECT_EQ("Application", GetFileTypeDescription("a.exe"));
  SetDefault("exefile", "Program");
  EXPECT_EQ("Program", GetFileTypeDescription("a.exe"));
  SetDefault(".exe", "txtfile");
  EXPECT_EQ("Text Document", GetFileTypeDescription("a.exe"));
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CLASSES_ROOT, ".exe"));
  EXPECT_EQ(kUnknown, GetFileTypeDescription("a.exe"));
}

}  // namespace
