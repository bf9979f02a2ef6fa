// A backup is only worth what the system's registry editor makes of it: back a
// value up, delete it, import the file with the real regedit in a child
// process and compare type and bytes with what was there before.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "actions/entry_actions.h"
#include "scan/registry_access.h"
#include "support/chosen_path_prompts.h"
#include "support/temp_folder.h"

namespace {

// Every byte from 0x80 to 0xFF.
std::string HighBytes() {
  std::string bytes;
  for (int c = 0x80; c <= 0xFF; ++c) bytes += static_cast<char>(c);
  return bytes;
}

// In the process's code page, as the narrow registry calls take it.
std::string Narrow(const std::wstring& text) {
  char narrow[256] = "";
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, narrow, sizeof narrow, nullptr, nullptr);
  return narrow;
}

struct StoredValue {
  DWORD type = REG_NONE;
  std::string bytes;
};

bool ReadStoredValue(const std::string& subKey, const std::string& name, StoredValue& value) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  DWORD size = 0;
  LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &value.type, nullptr, &size);
  if (rc == ERROR_SUCCESS) {
    value.bytes.assign(size, '\0');
    rc = RegQueryValueExA(key, name.c_str(), nullptr, &value.type,
                          reinterpret_cast<BYTE*>(value.bytes.data()), &size);
    value.bytes.resize(size);
  }
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

// The system's registry editor imports `file` silently; returns its exit code.
DWORD ImportWithRegedit(const std::string& file) {
  char windows[MAX_PATH] = "";
  GetWindowsDirectoryA(windows, MAX_PATH);
  // The Windows folder's regedit has the bitness of the system (of the prefix
  // under Wine); HKEY_CURRENT_USER is the same key in both views.
  std::string command = "\"" + std::string(windows) + "\\regedit.exe\" /s \"" + file + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    ADD_FAILURE() << "cannot start " << command << ": " << GetLastError();
    return ~0u;
  }
  DWORD exitCode = ~0u;
  if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0)
    GetExitCodeProcess(process.hProcess, &exitCode);
  else
    ADD_FAILURE() << "regedit did not finish";
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return exitCode;
}

struct RoundTripCase {
  const char* label;
  std::string valueName;
  DWORD type;
  std::string data;  // stored with its terminating zero
};

void PrintTo(const RoundTripCase& c, std::ostream* out) {
  *out << c.label;
}

class RegeditRoundTripTest : public ::testing::TestWithParam<RoundTripCase> {
 protected:
  // Below the real HKEY_CURRENT_USER: the child process sees only real keys.
  std::string base_ = "Software\\LumivaneTest\\RoundTrip-" + std::to_string(GetCurrentProcessId());
  TempFolder folder_;

  void TearDown() override {
    RegDeleteTreeA(HKEY_CURRENT_USER, base_.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, base_.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\LumivaneTest");  // only when empty
  }
};

TEST_P(RegeditRoundTripTest, ImportRestoresTypeAndBytes) {
  const RoundTripCase& c = GetParam();
  const std::string subKey = base_ + "\\" + c.label + "\\Run";
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, &key, nullptr));
  LONG rc = RegSetValueExA(key, c.valueName.c_str(), 0, c.type,
                           reinterpret_cast<const BYTE*>(c.data.c_str()),
                           static_cast<DWORD>(c.data.size() + 1));
  RegCloseKey(key);
  ASSERT_EQ(ERROR_SUCCESS, rc);
  StoredValue before;
  ASSERT_TRUE(ReadStoredValue(subKey, c.valueName, before));

  const std::string file = folder_ / "backup.reg";
  ChosenPathPrompts prompts(file);
  BackupEntry("Registry", c.valueName, "HKEY_CURRENT_USER\\" + subKey, prompts);
  EXPECT_EQ(1, prompts.dialogs);
  EXPECT_EQ(std::vector<std::string>(), prompts.warnings);
  ASSERT_TRUE(TempFolder::Exists(file));
  // regedit reads anything but UTF-16 in its own code page, not ours; data
  // holding a zero before its end is only kept as hex of its UTF-16 bytes.
  const bool ascii = (c.valueName + c.data).find_first_of(HighBytes()) == std::string::npos &&
                     c.data.find('\0') == std::string::npos;
  EXPECT_EQ(ascii ? "REGEDIT4" : "\xFF\xFEW", TempFolder::ReadFile(file).substr(0, ascii ? 8 : 3));

  ASSERT_EQ(ERROR_SUCCESS, DeleteValue(HKEY_CURRENT_USER, subKey, c.valueName));
  StoredValue gone;
  ASSERT_FALSE(ReadStoredValue(subKey, c.valueName, gone));

  EXPECT_EQ(0u, ImportWithRegedit(file));
  StoredValue after;
  ASSERT_TRUE(ReadStoredValue(subKey, c.valueName, after)) << "not imported; the file was:\n"
                                                           << TempFolder::ReadFile(file);
  EXPECT_EQ(before.type, after.type);
  EXPECT_EQ(before.bytes, after.bytes) << TempFolder::ReadFile(file);
}

INSTANTIATE_TEST_SUITE_P(
    TrickyValues, RegeditRoundTripTest,
    ::testing::Values(
        RoundTripCase{"Plain", "Tool", REG_SZ, "C:\\Tools\\tool.exe /min"},
        RoundTripCase{"QuotedPath", "Tool", REG_SZ, "\"D:\\Tools\\tool.exe\" /min"},
        RoundTripCase{"NameWithBackslashAndQuotes", "back\\slash \"quoted\" name", REG_SZ, "x"},
        RoundTripCase{"NameEndingInBackslash", "dir\\", REG_SZ, "C:\\dir\\"},
        RoundTripCase{"TabsAndFeeds", "tabs", REG_SZ, "a\tb\vc\fd"},
        RoundTripCase{"SingleQuotes", "it's", REG_SZ, "'it''s' \"x\""},
        RoundTripCase{"LineBreaks", "lines", REG_SZ, "first\r\nsecond\nthird\rfourth\r\n"},
        RoundTripCase{"LineBreakWithQuotes", "q", REG_SZ, "\"C:\\a b\\x.exe\"\n/run"},
        RoundTripCase{"NameWithLineBreaks", "two\r\nlines", REG_SZ, "v"},
        RoundTripCase{"HighBytes", "caf\xc3\xa9", REG_SZ, "x " + HighBytes()},
        RoundTripCase{"BackslashSequences", "seq", REG_SZ, "\\n \\r \\t \\\\ \\\" \\0 \\"},
        RoundTripCase{"ControlBytes", "ctrl", REG_SZ, "\x01\x1a\x1b\x7f"},
        RoundTripCase{"ZeroInside", "zero", REG_SZ, std::string("C:\\a.exe\0hidden", 15)},
        RoundTripCase{"EmptyData", "empty", REG_SZ, ""},
        RoundTripCase{"EmptyName", "", REG_SZ, "default"},
        RoundTripCase{"EmptyNameAndData", "", REG_SZ, ""},
        RoundTripCase{"AtSignName", "@", REG_SZ, "at"},
        RoundTripCase{"EqualsAndBrackets", "a=b [c]", REG_SZ, "x=y ]"},
        RoundTripCase{"Expandable", "expand", REG_EXPAND_SZ, "%SystemRoot%\\system32\\x.exe %1"},
        RoundTripCase{"ExpandableTricky", "expand", REG_EXPAND_SZ,
                      "%A%\r\n\"q\"\t\\" + HighBytes()},
        RoundTripCase{"ExpandableEmpty", "expand", REG_EXPAND_SZ, ""},
        RoundTripCase{"ExpandableEmptyName", "", REG_EXPAND_SZ, "%TEMP%"},
        RoundTripCase{"CyrillicChineseEmoji", Narrow(L"Обновление \U0001F680"), REG_SZ,
                      Narrow(L"\"C:\\微信\\WeChat.exe\" -钉钉")},
        RoundTripCase{"NonAsciiLineBreak", "lines", REG_SZ, Narrow(L"строка\r\nвторая\n")},
        RoundTripCase{"NonAsciiExpandable", Narrow(L"ソフト"), REG_EXPAND_SZ,
                      Narrow(L"%APPDATA%\\ソフト\\x.exe")}),
    [](const ::testing::TestParamInfo<RoundTripCase>& info) {
      return std::string(info.param.label);
    });

}  // namespace
