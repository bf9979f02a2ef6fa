#include "details/entry_details.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>

#include "details/image_resolution.h"
#include "support/registry_sandbox.h"
#include "support/temp_folder.h"
#include "util/string_utils.h"

namespace {

std::string TestFolder() {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  return FolderOf(self);
}

// wintrust looks its providers up in HKEY_LOCAL_MACHINE once per process: a
// first check made inside a registry sandbox would leave it with none.
const bool kTrustProvidersLoaded =
    CheckFileSignature(TestFolder() + "sample-unsigned.exe").verdict == SignatureVerdict::Unsigned;

TEST(CommandImage, FindsWhatWindowsWouldStart) {
  RegistrySandbox sandbox;
  TempFolder temp;
  const std::string t = temp.Path();
  const std::string program = temp.WriteFile("Program Files\\a b\\x.exe", "x");
  const std::string tool = temp.WriteFile("Tools\\tool.exe", "t");
  const std::string library = temp.WriteFile("Tools\\lib.dll", "l");
  const std::string onPath = temp.WriteFile("OnPath\\pathtool.exe", "p");
  const std::string registered = temp.WriteFile("Apps\\registered.exe", "r");
  const std::string usersOwn = temp.WriteFile("Apps\\users own.exe", "u");
  const std::string script = temp.WriteFile("Tools\\s.vbs", "s");
  const std::string appPaths = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, appPaths + "apptool.exe", "",
                             "\"" + registered + "\"");
  RegistrySandbox::SetString(HKEY_CURRENT_USER, appPaths + "userapp.exe", "", usersOwn);
  UserEnvironment environment = UserEnvironment::OfThisProcess();
  environment.Set("LumiTools", temp / "Tools");
  environment.Set("PATH", temp / "Nowhere" + ";" + temp / "OnPath");
  char system[MAX_PATH];
  GetSystemDirectoryA(system, MAX_PATH);
  const std::string system32 = std::string(system) + "\\";

  const struct {
    std::string command;
    bool expand;
    std::string image;
    bool exists;
  } cases[] = {
      {"\"" + program + "\" /q", false, program, true},
      {t + "\\Program Files\\a b\\x.exe /q", false, program, true},
      {t + "\\Program Files\\a b\\x /q", false, program, true},
      {t + "\\Tools\\tool", false, tool, true},
      {"%LumiTools%\\tool.exe -x", true, tool, true},
      {"%LumiTools%\\tool.exe", false, "", false},
      {"%NotSetAnywhere%\\tool.exe", true, "", false},
      {"rundll32 shell32.dll,Control_RunDLL", false, system32 + "shell32.dll", true},
      {"rundll32.exe " + t + "\\Tools\\lib,Entry x", false, library, true},
      {"notepad /a", false, system32 + "notepad.exe", true},
      {"pathtool.exe", false, onPath, true},
      {"apptool -x", false, registered, true},
      {"nosuchtool /x", false, "", false},
      {t + "\\Gone\\gone.exe /x", false, t + "\\Gone\\gone.exe", false},
      {"", false, "", false},
      {"   ", false, "", false},
      {"\"" + program + " /q", false, "", false},
      // Tabs; unknown variables outside the image's path; script hosts; devices.
      {t + "\\Tools\\tool\t/x", false, tool, true},
      {"notepad\t/a", false, system32 + "notepad.exe", true},
      {"%LumiTools%\\tool.exe %NotSetAnywhere%", true, tool, true},
      {t + "\\%NotSetAnywhere%\\tool.exe %LumiTools%", true, "", false},
      {"wscript.exe //B \"" + script + "\" /arg", false, script, true},
      {"userapp", false, usersOwn, true},
      {"\\\\.\\pipe\\lumivane.exe", false, "\\\\.\\pipe\\lumivane.exe", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const ResolvedImage image = CommandImage(c.command, c.expand, environment);
    EXPECT_EQ(c.image, image.path);
    EXPECT_EQ(c.exists, image.exists);
  }
  // The shortest piece wins once it exists.
  const std::string shortest = temp.WriteFile("Program.exe", "p");
  EXPECT_EQ(shortest, CommandImage(t + "\\Program Files\\a b\\x.exe /q", false, environment).path);
}

void MakeShortcut(const std::string& path, const std::string& target,
                  const std::string& arguments) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IShellLinkA* link = nullptr;
  ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_IShellLinkA, reinterpret_cast<void**>(&link)));
  link->SetPath(target.c_str());
  link->SetArguments(arguments.c_str());
  IPersistFile* file = nullptr;
  link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  wchar_t wide[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
  EXPECT_HRESULT_SUCCEEDED(file->Save(wide, TRUE));
  file->Release();
  link->Release();
  CoUninitialize();
}

// What a shortcut starts: its target as stored, read in its owner's
// environment, then the host rules of a command.
TEST(StartupImage, ShortcutsAsWindowsStartsThem) {
  RegistrySandbox sandbox;
  TempFolder temp;
  const std::string target = temp.WriteFile("target.exe", "t");
  const std::string library = temp.WriteFile("pub\\x.dll", "l");
  const std::string othersTool = temp.WriteFile("other\\bin\\t.exe", "o");
  const std::string sid = "S-1-5-21-7-7-7-1002";
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE,
                             "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\" + sid,
                             "ProfileImagePath", temp / "other");
  UserEnvironment mine = UserEnvironment::OfThisProcess();
  const UserEnvironment other = UserEnvironment::OfHive(sid);
  char system[MAX_PATH];
  GetSystemDirectoryA(system, MAX_PATH);
  const struct {
    const char* label;
    std::string target, arguments;
    const UserEnvironment& environment;
    std::string image;
  } cases[] = {
      {"plain", target, "-p", mine, target},
      // (Wine expands a target's variables when it stores it: arguments keep them.)
      {"arguments in another user's environment", std::string(system) + "\\rundll32.exe",
       "%USERPROFILE%\\bin\\t.exe,Start", other, othersTool},
      {"64-bit program files", std::string(system) + "\\rundll32.exe",
       "%ProgramFiles%\\Lumivane Test\\t.dll,Start", mine,
       "C:\\Program Files\\Lumivane Test\\t.dll"},
      {"rundll32", std::string(system) + "\\rundll32.exe", library + ",Start", mine, library},
      {"unknown variable in the arguments", target, "%NotSetAnywhere%", mine, target},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string shortcut = temp / (std::string(c.label) + ".lnk");
    MakeShortcut(shortcut, c.target, c.arguments);
    EXPECT_EQ(c.image, StartupImage(shortcut, c.environment).path);
  }
  EXPECT_EQ(target, StartupImage(target, mine).path);
  EXPECT_EQ("", StartupImage(temp.WriteFile("site.url", "[InternetShortcut]"), mine).path);
}

// Another user's hive: its own variables and profile folders; this user's
// are not taken for it.
TEST(UserEnvironment, HiveUsesItsOwnProfileAndVariables) {
  RegistrySandbox sandbox;
  const std::string sid = "S-1-5-21-7-7-7-1001";
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE,
                             "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\" + sid,
                             "ProfileImagePath", "%SystemDrive%\\Users\\other", REG_EXPAND_SZ);
  RegistrySandbox::SetString(HKEY_USERS, sid + "\\Environment", "Tools", "%USERPROFILE%\\bin",
                             REG_EXPAND_SZ);
  const UserEnvironment hive = UserEnvironment::OfHive(sid);
  std::string drive;
  ASSERT_TRUE(hive.Expand("%SystemDrive%", drive));
  const struct {
    const char* text;
    bool known;
    std::string expanded;
  } cases[] = {
      {"%APPDATA%\\a.exe", true, drive + "\\Users\\other\\AppData\\Roaming\\a.exe"},
      {"%localappdata%\\b.exe", true, drive + "\\Users\\other\\AppData\\Local\\b.exe"},
      {"%Tools%\\c.exe 100%", true, drive + "\\Users\\other\\bin\\c.exe 100%"},
      {"%USERNAME%\\d.exe", false, ""},
  };
  for (const auto& c : cases) {
    std::string expanded;
    EXPECT_EQ(c.known, hive.Expand(c.text, expanded)) << c.text;
    if (c.known) {
      EXPECT_EQ(c.expanded, expanded);
    }
  }
  EXPECT_EQ("All Users", OwnerUserName({}));
  EXPECT_EQ("Dana", OwnerUserName({EntryOwner::Kind::Profile, "Dana"}));
  EXPECT_EQ(sid, OwnerUserName({EntryOwner::Kind::Hive, sid}));
  EXPECT_EQ("NT AUTHORITY\\SYSTEM", OwnerUserName({EntryOwner::Kind::Hive, "S-1-5-18"}));
}

// Wine checks a signature but not its root (see tests/scripts/sign-sample.sh).
TEST(CheckFileSignature, SignedTamperedUnsigned) {
  ASSERT_TRUE(kTrustProvidersLoaded);
  const std::string folder = TestFolder();
  const struct {
    const char* file;
    SignatureVerdict verdict;
    const char* signer;
  } cases[] = {
      {"sample-signed.exe", SignatureVerdict::Verified, "Lumivane Test Signer"},
      {"sample-tampered.exe", SignatureVerdict::NotVerified, ""},
      {"sample-unsigned.exe", SignatureVerdict::Unsigned, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    ASSERT_TRUE(ImageFileExists(folder + c.file));
    const FileSignature signature = CheckFileSignature(folder + c.file);
    EXPECT_EQ(c.verdict, signature.verdict);
    EXPECT_EQ(c.signer, signature.signer);
  }
}

}  // namespace
