// lumivanec run as a program against the real registry of the test prefix:
// its text in every format is the main window's rows, its options and exit
// statuses, and the rows of both registry views.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "actions/entry_actions.h"
#include "actions/entry_switch.h"
#include "app/entry_list.h"
#include "app/lumivane_app.h"
#include "app/lumivane_dlg.h"
#include "details/image_resolution.h"
#include "inventory/inventory.h"
#include "util/file_utils.h"
#include "support/details_wait.h"
#include "support/child_process.h"
#include "support/chosen_path_prompts.h"
#include "support/modal_script.h"
#include "support/temp_folder.h"
#include "util/text_encoding.h"

// Found by the test framework's printer next to the type, outside this file's namespace.
std::ostream& operator<<(std::ostream& out, const InventoryRow& row) {
  return out << "{" << row.type << " | " << row.name << " | " << row.command << " | "
             << row.location << " | " << row.state << "}";
}

namespace {

const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kPolicyRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";

ChildRun Lumivanec(const std::string& arguments) {
  return RunChild("\"" LUMIVANEC_PATH "\"" + (arguments.empty() ? "" : " " + arguments));
}

// Seeds values into a real key of the prefix and deletes them again. The
// wineserver of the test run stays up from seeding to checking, so Wine does
// not start the programs they name (which do not exist either).
class RealValues {
 public:
  RealValues(HKEY root, const std::string& subKey, REGSAM view = 0)
      : root_(root), subKey_(subKey), view_(view) {}
  ~RealValues() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root_, subKey_.c_str(), 0, KEY_SET_VALUE | view_, &key) != ERROR_SUCCESS)
      return;
    for (const std::string& name : names_) RegDeleteValueA(key, name.c_str());
    RegCloseKey(key);
  }
  void Set(const std::string& name, const std::string& text, DWORD type = REG_SZ) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root_, subKey_.c_str(), 0, nullptr, 0,
                                             KEY_SET_VALUE | view_, nullptr, &key, nullptr));
    names_.push_back(name);
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name.c_str(), 0, type,
                                            reinterpret_cast<const BYTE*>(text.c_str()),
                                            static_cast<DWORD>(text.size() + 1)));
    RegCloseKey(key);
  }
  // Also deletes the value at the end, whoever wrote it.
  void Forget(const std::string& name) { names_.push_back(name); }

 private:
  HKEY root_;
  std::string subKey_;
  REGSAM view_;
  std::vector<std::string> names_;
};

std::vector<InventoryRow> MainWindowRows() {
  CLumivaneApp app;
  CLumivaneDlg dialog;
  app.m_pMainWnd = &dialog;
  std::vector<InventoryRow> rows;
  RunModal(dialog, {[&] {
              WaitForDetails(dialog);
              rows = ListedRows(dialog.EntryList());
            }});
  return rows;
}

// The rows of lumivanec's tab-separated text, its escapes read back.
std::vector<InventoryRow> TabRows(const std::string& text) {
  std::vector<InventoryRow> rows;
  size_t start = text.find("\r\n") + 2;  // after the header
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    std::vector<std::string> fields(1);
    for (size_t i = start; i < end; ++i) {
      if (text[i] == '\t') {
        fields.emplace_back();
      } else if (text[i] == '\\' && i + 1 < end) {
        const char escaped = text[++i];
        fields.back() += escaped == 't'   ? '\t'
                         : escaped == 'r' ? '\r'
                         : escaped == 'n' ? '\n'
                                          : escaped;
      } else {
        fields.back() += text[i];
      }
    }
    fields.resize(9);
    rows.push_back({fields[0], fields[1], fields[2], fields[3], fields[4], 0, fields[5], fields[6],
                    fields[7], fields[8]});
  }
  return rows;
}

std::vector<InventoryRow> RowsNamed(const std::vector<InventoryRow>& rows,
                                    const std::string& name) {
  std::vector<InventoryRow> named;
  for (const InventoryRow& row : rows)
    if (row.name == name) named.push_back(row);
  return named;
}

TEST(Lumivanec, EveryFormatIsTheMainWindowsRows) {
  RealValues run(HKEY_CURRENT_USER, kRun);
  const std::vector<std::pair<std::string, std::string>> awkward = {
      {"Lumivane test, \"quoted\"", "\"C:\\Program Files\\t.exe\" /x,y"},
      {"Lumivane test\ttab", "tab\there"},
      {"Lumivane test\r\nnew line", "one\ntwo\r"},
      {"Lumivane test \\ \xC3\xA9\xE2\x82\xAC\xC3\xBF", "caf\xC3\xA9.exe"},
  };
  for (const auto& value : awkward) run.Set(value.first, value.second);

  const std::vector<InventoryRow> rows = MainWindowRows();
  const std::string shown = std::string("HKEY_CURRENT_USER\\") + kRun;
  const std::string me = OwnerUserName({EntryOwner::Kind::CurrentUser});
  for (const auto& value : awkward) {
    // Only the quoted program has a path, not there.
    const bool path = value.second[0] == '"';
    const InventoryRow row = {"Registry",
                              value.first,
                              value.second,
                              shown,
                              "enabled",
                              0,
                              path ? "C:\\Program Files\\t.exe" : "",
                              "",
                              path ? "missing" : "n/a",
                              me};
    EXPECT_EQ(1, std::count(rows.begin(), rows.end(), row)) << row;
  }
  const struct {
    const char* option;
    InventoryFormat format;
  } formats[] = {
      {"", InventoryFormat::Tabs}, {"-c", InventoryFormat::Csv}, {"-j", InventoryFormat::Json}};
  for (const auto& f : formats) {
    SCOPED_TRACE(f.option);
    const ChildRun listed = Lumivanec(f.option);
    EXPECT_EQ(0u, listed.exitCode);
    EXPECT_EQ("", listed.err);
    EXPECT_EQ(InventoryText(rows, f.format), listed.out);
  }
  // One row of the CSV as a reader of RFC 4180 expects it.
  EXPECT_NE(std::string::npos,
            Lumivanec("-c").out.find("Registry,\"Lumivane test, \"\"quoted\"\"\",\"\"\"C:\\Program "
                                     "Files\\t.exe\"\" /x,y\",HKEY_CURRENT_USER\\" +
                                     std::string(kRun) +
                                     ",enabled,C:\\Program Files\\t.exe,,missing," + me + "\r\n"));
}

TEST(Lumivanec, OptionsExitStatusAndMessages) {
  TempFolder folder;
  const std::string file = folder / "list.json";
  const struct {
    std::string arguments;
    DWORD exitCode;
    std::vector<std::string> inOut, inErr;
  } cases[] = {
      {"--help",
       0,
       {"Usage: lumivanec [-c | -j] [-o FILE]", "UTF-8", "console's\r\ncode page"},
       {}},
      {"-h", 0, {"Usage: lumivanec"}, {}},
      {"-x", 2, {}, {"lumivanec: unknown option '-x'", "Usage: lumivanec"}},
      {"-c -j", 2, {}, {"-c and -j exclude each other", "Usage: lumivanec"}},
      {"-o", 2, {}, {"-o needs a file name"}},
      {"-o \"" + folder.MakeFolder("folder") + "\"", 1, {}, {"lumivanec: cannot write"}},
      {"-j -o \"" + file + "\"", 0, {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    const ChildRun run = Lumivanec(c.arguments);
    EXPECT_EQ(c.exitCode, run.exitCode);
    for (const std::string& text : c.inOut)
      EXPECT_NE(std::string::npos, run.out.find(text)) << text;
    for (const std::string& text : c.inErr)
      EXPECT_NE(std::string::npos, run.err.find(text)) << text;
    if (c.inOut.empty()) {
      EXPECT_EQ("", run.out);
    }
    if (c.inErr.empty()) {
      EXPECT_EQ("", run.err);
    }
  }
  EXPECT_EQ(Lumivanec("-j").out, TempFolder::ReadFile(file));
}

// Monitoring agents act on exit status 1: something new since the baseline.
TEST(Lumivanec, CompareExitsAsDiffDoes) {
  const std::string name = "Lumivane compare test";
  RealValues run(HKEY_CURRENT_USER, kRun);
  run.Set(name, "new.exe");
  TempFolder folder;
  std::string older = Lumivanec("").out;
  const size_t row = older.find("Registry\t" + name);
  ASSERT_NE(std::string::npos, row);
  older.erase(row, older.find("\r\n", row) + 2 - row);
  const struct {
    std::string arguments;
    DWORD exitCode;
    std::string out, err;
  } cases[] = {
      {"--compare \"" + folder.WriteFile("now.json", Lumivanec("-j").out) + "\"", 0,
       "Change\t" + older.substr(0, older.find("\r\n") + 2), ""},
      {"-c --compare \"" + folder.WriteFile("older.tsv", older) + "\"", 1,
       "added,Registry," + name + ",new.exe,HKEY_CURRENT_USER\\" + kRun, ""},
      {"--compare \"" + (folder / "missing.csv") + "\"", 2, "", "lumivanec: cannot read"},
      {"--compare \"" + folder.WriteFile("bad.csv", "Type,Name\r\n") + "\"", 2, "",
       "is not a list written by lumivanec or Save List"},
      {"--compare \"" + folder.WriteFile("huge.csv", std::string((64 << 20) + 1, '\n')) + "\"", 2,
       "", "is larger than 64 MiB"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    const ChildRun compared = Lumivanec(c.arguments);
    EXPECT_EQ(c.exitCode, compared.exitCode);
    if (c.exitCode == 0) {
      EXPECT_EQ(c.out, compared.out);  // unchanged rows are left out
    } else {
      EXPECT_NE(std::string::npos, compared.out.find(c.out)) << compared.out;
    }
    EXPECT_NE(std::string::npos, compared.err.find(c.err)) << compared.err;
  }
}

TEST(Lumivanec, NamesBeyondTheCodePageAndTheMarkOfCsvFiles) {
  const std::wstring run = WideFromCodePage(kRun);
  const wchar_t name[] = L"Lumivane \x9b\x30bd";
  RegSetKeyValueW(HKEY_CURRENT_USER, run.c_str(), name, REG_SZ, name, sizeof name);
  const std::string csv = Lumivanec("-c").out;
  EXPECT_NE(std::string::npos, csv.find("\"" + Utf8FromWide(name) + "\",\"" + Utf8FromWide(name)));
  TempFolder folder;
  const std::string file = Utf8FromCodePage(folder / "") + "\xE5\xBE\xAE\xE3\x82\xBD.csv";
  RunChild("\"" LUMIVANEC_PATH "\" -c -o \"" + file + "\"", nullptr, nullptr, CP_UTF8);
  std::ifstream written(WideFromUtf8(file).c_str(), std::ios::binary);
  EXPECT_EQ("\xEF\xBB\xBF" + csv, std::string(std::istreambuf_iterator<char>(written), {}));
  written.close();
  DeleteFileW(WideFromUtf8(file).c_str());
  RegDeleteKeyValueW(HKEY_CURRENT_USER, run.c_str(), name);
}

bool ValueIn(REGSAM view, const std::string& name, const char* subKey = kRun) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS)
    return false;
  const bool found =
      RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(key);
  return found;
}

// Values a 32-bit installer writes go below Wow6432Node; both programs list
// them there, and Remove and Backup of such a row touch that key only.
TEST(RegistryViews, ThirtyTwoBitValuesAreWow6432NodeRows) {
  BOOL wow64 = FALSE;
  if (sizeof(void*) == 4 && !(IsWow64Process(GetCurrentProcess(), &wow64) && wow64))
    GTEST_SKIP() << "32-bit Windows: one registry view";
  const std::string name = "Lumivane view test";
  RealValues machine(HKEY_LOCAL_MACHINE, kRun, KEY_WOW64_64KEY);
  RealValues thirtyTwo(HKEY_LOCAL_MACHINE, kRun, KEY_WOW64_32KEY);
  RealValues policy(HKEY_LOCAL_MACHINE, kPolicyRun, KEY_WOW64_64KEY);
  // Written the way installers and scripts do: by the system's reg.exe.
  for (const char* view : {"64", "32"}) {
    machine.Forget(name);
    thirtyTwo.Forget(name);
    const ChildRun added = RunChild("reg.exe add \"HKLM\\" + std::string(kRun) + "\" /v \"" + name +
                                    "\" /d \"" + view + ".exe\" /reg:" + view + " /f");
    ASSERT_EQ(0u, added.exitCode) << added.out << added.err;
  }
  policy.Set(name, "policy.exe");
  ASSERT_TRUE(ValueIn(KEY_WOW64_64KEY, name));
  ASSERT_TRUE(ValueIn(KEY_WOW64_32KEY, name));

  const std::string machineKey = std::string("HKEY_LOCAL_MACHINE\\") + kRun;
  const std::string wowKey =
      "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
  const std::vector<InventoryRow> expected = {
      {"Registry", name, "64.exe", machineKey, "enabled", 0, "", "", "n/a", "All Users"},
      {"Registry", name, "policy.exe", std::string("HKEY_LOCAL_MACHINE\\") + kPolicyRun, "n/a", 0,
       "", "", "n/a", "All Users"},
      {"Registry", name, "32.exe", wowKey, "enabled", 0, "", "", "n/a", "All Users"},
  };
  EXPECT_EQ(expected, RowsNamed(TabRows(Lumivanec("").out), name));
  EXPECT_EQ(expected, RowsNamed(MainWindowRows(), name));

  // The 32-bit view's entry has its switch in Run32, apart from the other's.
  const char kRun32Switches[] =
      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run32";
  RealValues switches(HKEY_LOCAL_MACHINE, kRun32Switches, KEY_WOW64_64KEY);
  switches.Forget(name);
  ASSERT_EQ(ERROR_SUCCESS, SwitchEntry("Registry", name, wowKey, true));
  std::vector<InventoryRow> disabled = expected;
  disabled[2].state = "disabled";
  EXPECT_EQ(disabled, RowsNamed(TabRows(Lumivanec("").out), name));
  EXPECT_NE(std::string::npos,
            Lumivanec("-j").out.find(
                "\"Location\": \"HKEY_LOCAL_MACHINE\\\\Software\\\\Wow6432Node\\\\"
                "Microsoft\\\\Windows\\\\CurrentVersion\\\\Run\", \"State\": "
                "\"disabled\", \"ImagePath\": \"\", \"Publisher\": \"\", "
                "\"Signature\": \"n/a\", \"User\": \"All Users\", "
                "\"Description\": \"\", \"Version\": \"\", \"DisabledSince\": \"20"));

  TempFolder folder;
  ChosenPathPrompts prompts(folder / "backup.reg");
  BackupEntry("Registry", name, wowKey, prompts);
  EXPECT_EQ(std::vector<std::string>(), prompts.warnings);
  EXPECT_EQ("REGEDIT4\r\n\r\n[" + wowKey + "]\r\n\"" + name + "\"=\"32.exe\"\r\n\r\n",
            TempFolder::ReadFile(folder / "backup.reg"));

  RemoveEntry("Registry", name, wowKey);
  EXPECT_FALSE(ValueIn(KEY_WOW64_32KEY, name));
  EXPECT_FALSE(ValueIn(KEY_WOW64_64KEY, name, kRun32Switches));
  EXPECT_TRUE(ValueIn(KEY_WOW64_64KEY, name));
  RemoveEntry("Registry", name, machineKey);
  EXPECT_FALSE(ValueIn(KEY_WOW64_64KEY, name));
  RemoveEntry("Registry", name, std::string("HKEY_LOCAL_MACHINE\\") + kPolicyRun);
  EXPECT_EQ(std::vector<InventoryRow>(), RowsNamed(TabRows(Lumivanec("").out), name));
}

// The 32-bit program finds the programs the 64-bit shell starts: the 64-bit
// folders for %ProgramFiles% and the like, System32 past its redirection.
TEST(RegistryViews, BothBuildsGiveTheSameImage) {
  char programFiles[MAX_PATH] = "", commonFiles[MAX_PATH] = "", system[MAX_PATH] = "";
  if (!GetEnvironmentVariableA("ProgramW6432", programFiles, MAX_PATH) ||
      !GetEnvironmentVariableA("CommonProgramW6432", commonFiles, MAX_PATH))
    GTEST_SKIP() << "32-bit Windows: one kind of program";
  GetSystemDirectoryA(system, MAX_PATH);
  // In the 64-bit System32 alone (written past this build's redirection).
  const std::string only64 = std::string(system) + "\\lumivane-only64.exe";
  ASSERT_TRUE(WriteFileWhole(NativeFilePath(only64).c_str(), "x"));
  RealValues run(HKEY_CURRENT_USER, kRun);
  const struct {
    const char* name;
    std::string command, image, signature;
  } cases[] = {
      {"Lumivane image 1", "%ProgramFiles%\\Lumivane Test\\t.exe /x",
       std::string(programFiles) + "\\Lumivane Test\\t.exe", "missing"},
      {"Lumivane image 2", "\"%CommonProgramFiles%\\t.exe\"", std::string(commonFiles) + "\\t.exe",
       "missing"},
      {"Lumivane image 3", only64, only64, "unsigned"},
  };
  for (const auto& c : cases) run.Set(c.name, c.command, REG_EXPAND_SZ);
  const std::vector<InventoryRow> rows = TabRows(Lumivanec("").out);
  for (const auto& c : cases) {
    // Listed under HKEY_CURRENT_USER and again under the user's hive.
    const std::vector<InventoryRow> named = RowsNamed(rows, c.name);
    ASSERT_FALSE(named.empty()) << c.name;
    for (const InventoryRow& row : named) {
      EXPECT_EQ(c.image, row.imagePath) << row.location;
      EXPECT_EQ(c.signature, row.signature) << row.location;
    }
  }
  DeleteFileA(NativeFilePath(only64).c_str());
}

}  // namespace
