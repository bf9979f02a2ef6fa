#include "sources/logon/logon_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recording_sink.h"
#include "support/registry_sandbox.h"

namespace {

const char kWinlogon[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const char kPolicy[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const char kWindows[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
const char kSetup[] = "Software\\Microsoft\\Active Setup\\Installed Components";
const char kSetup32[] = "Software\\Wow6432Node\\Microsoft\\Active Setup\\Installed Components";
const char kHive[] = "S-1-5-21-7-7-7-1001";

std::string SystemFolder() {
  char path[MAX_PATH] = "";
  GetSystemDirectoryA(path, MAX_PATH);
  return path;
}

std::string WindowsFolder() {
  char path[MAX_PATH] = "";
  GetSystemWindowsDirectoryA(path, MAX_PATH);
  return path;
}

RecordedRow Row(const std::string& name, const std::string& command, const std::string& location) {
  return RecordedRow{"Logon", name, command, location, 3};
}

std::vector<RecordedRow> Scan() {
  RecordingSink sink;
  ScanLogon(sink);
  for (const EntryApproval& approval : sink.approvals)
    EXPECT_EQ(EntryState::NotApplicable, approval.state);
  return sink.rows;
}

// A row shows the value's name as Windows spells it, its text and its key.
TEST(LogonScan, EachValueAtAndOffItsDefault) {
  const HKEY hklm = HKEY_LOCAL_MACHINE, hkcu = HKEY_CURRENT_USER, hku = HKEY_USERS;
  const std::string userinit = SystemFolder() + "\\userinit.exe";
  const std::string hive = std::string(kHive) + "\\";
  const struct {
    HKEY root;
    std::string key, value, data;
    DWORD type;
    const char* row;  // the Name of its row; null: not listed
  } cases[] = {
      {hklm, kWinlogon, "Shell", "explorer.exe", REG_SZ, nullptr},
      {hklm, kWinlogon, "Shell", " EXPLORER.EXE ", REG_SZ, nullptr},
      {hklm, kWinlogon, "Shell", WindowsFolder() + "\\Explorer.exe", REG_SZ, nullptr},
      {hklm, kWinlogon, "Shell", "", REG_SZ, nullptr},
      {hklm, kWinlogon, "Shell", "explorer.exe,evil.exe", REG_SZ, "Shell"},
      {hklm, kWinlogon, "Userinit", userinit + ",", REG_SZ, nullptr},
      {hklm, kWinlogon, "Userinit", userinit, REG_SZ, nullptr},
      {hklm, kWinlogon, "Userinit", "userinit.exe,", REG_SZ, "Userinit"},
      {hklm, kWinlogon, "Userinit", userinit + ",C:\\x.exe", REG_EXPAND_SZ, "Userinit"},
      {hklm, kWinlogon, "Load", "C:\\x.exe", REG_SZ, nullptr},
      {hkcu, kWinlogon, "Shell", "Explorer.exe", REG_SZ, nullptr},
      {hkcu, kWinlogon, "Shell", "kiosk.exe", REG_SZ, "Shell"},
      {hkcu, kPolicy, "shell", "kiosk.exe", REG_SZ, "Shell"},
      {hkcu, kWindows, "load", "a.exe b.exe", REG_SZ, "load"},
      {hkcu, kWindows, "run", "   ", REG_SZ, nullptr},
      {hkcu, kWindows, "run", "", REG_DWORD, nullptr},
      {hku, hive + kWindows, "run", "b.exe", REG_SZ, "run"},
      {hku, std::string(".DEFAULT\\") + kWindows, "run", "b.exe", REG_SZ, nullptr},
      {hku, std::string("S-1-5-18\\") + kWindows, "run", "b.exe", REG_SZ, nullptr},
      {hku, std::string(kHive) + "_Classes\\" + kWindows, "run", "b.exe", REG_SZ, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key + " " + c.value + "=" + c.data);
    RegistrySandbox sandbox;
    if (c.type == REG_DWORD)
      RegistrySandbox::SetDword(c.root, c.key, c.value, 1);
    else
      RegistrySandbox::SetString(c.root, c.key, c.value, c.data, c.type);
    const char* root = c.root == hklm   ? "HKEY_LOCAL_MACHINE\\"
                       : c.root == hkcu ? "HKEY_CURRENT_USER\\"
                                        : "HKEY_USERS\\";
    std::vector<RecordedRow> rows;
    if (c.row) rows.push_back(Row(c.row, c.data, root + c.key));
    EXPECT_EQ(rows, Scan());
  }
}

TEST(LogonScan, ActiveSetupRowsWhereTheStubIsStillToRun) {
  RegistrySandbox sandbox;
  const struct {
    const char* id;
    const char* name;     // null: none
    const char* stub;     // null: none
    const char* version;  // null: none
    DWORD installed;      // 2: no value
    const char* stamp;    // the current user's; null: no key
    const char* hiveStamp;
  } components[] = {
      {"{A}", "Alpha", "a.exe", "1,2,0,0", 2, nullptr, "1,2,0,0"},
      {"{B}", nullptr, "b.exe", "1,2,0,0", 1, "1,2,0,0", "1,1,9"},
      {"{C}", nullptr, "c.exe", "1,10", 2, "1,9,0,0", "1,10"},
      {"{D}", "Disabled", "d.exe", "1", 0, nullptr, nullptr},
      {"{E}", "No stub", nullptr, "1", 2, nullptr, nullptr},
      {"{F}", nullptr, "f.exe", "3.0", 2, "3,0,0,0", "2.9"},
      {"{G}", nullptr, "g.exe", nullptr, 2, "", nullptr},
  };
  for (const auto& c : components) {
    const std::string key = std::string(kSetup) + "\\" + c.id;
    RegistrySandbox::CreateKey(HKEY_LOCAL_MACHINE, key);
    if (c.name) RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, key, "", c.name);
    if (c.stub) RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, key, "StubPath", c.stub);
    if (c.version) RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, key, "Version", c.version);
    if (c.installed != 2)
      RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, key, "IsInstalled", c.installed);
    if (c.stamp && *c.stamp) RegistrySandbox::SetString(HKEY_CURRENT_USER, key, "Version", c.stamp);
    if (c.stamp && !*c.stamp) RegistrySandbox::CreateKey(HKEY_CURRENT_USER, key);
    if (c.hiveStamp)
      RegistrySandbox::SetString(HKEY_USERS, std::string(kHive) + "\\" + key, "Version",
                                 c.hiveStamp);
  }
  const std::string user = std::string("HKEY_CURRENT_USER\\") + kSetup + "\\";
  const std::string hive = std::string("HKEY_USERS\\") + kHive + "\\" + kSetup + "\\";
  std::vector<RecordedRow> expected = {
      Row("Alpha", "a.exe", user + "{A}"), Row("{C}", "c.exe", user + "{C}"),
      Row("{G}", "g.exe", user + "{G}"),   Row("{B}", "b.exe", hive + "{B}"),
      Row("{F}", "f.exe", hive + "{F}"),   Row("{G}", "g.exe", hive + "{G}"),
  };
  BOOL wow64 = FALSE;
  if (sizeof(void*) == 8 || (IsWow64Process(GetCurrentProcess(), &wow64) && wow64)) {
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, std::string(kSetup32) + "\\{W}", "StubPath",
                               "w.exe");
    expected.insert(expected.begin() + 3,
                    Row("{W}", "w.exe", std::string("HKEY_CURRENT_USER\\") + kSetup32 + "\\{W}"));
    expected.push_back(
        Row("{W}", "w.exe", std::string("HKEY_USERS\\") + kHive + "\\" + kSetup32 + "\\{W}"));
  }
  EXPECT_EQ(expected, Scan());
}

TEST(LogonScan, TheProgramBeyondWindowsOwn) {
  const std::string userinit = SystemFolder() + "\\userinit.exe";
  const struct {
    std::string value, program;
  } cases[] = {
      {userinit + ",C:\\x.exe,", "C:\\x.exe"},
      {" explorer.exe , \"C:\\a,b.exe\" /x", "\"C:\\a,b.exe\" /x"},
      {"explorer.exe", ""},
      {",,", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.program, FirstAddedProgram(c.value)) << c.value;
}

}  // namespace
