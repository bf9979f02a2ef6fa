// Disable and Enable write Windows' own switch as Task Manager does: only bit
// 0 of the first byte flips, the other flag bytes stay, and the time is the
// moment of disabling.
#include "actions/entry_switch.h"

#include <gtest/gtest.h>

#include <string>

#include "support/registry_sandbox.h"
#include "support/temp_folder.h"

namespace {

const char kLocation[] = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kSwitches[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";

uint64_t Now() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

std::string Bytes(const char* literal, size_t size) {
  return std::string(literal, size);
}

uint64_t TimeOf(const std::string& bytes) {
  uint64_t time = 0;
  for (int i = 11; i >= 4; --i) time = (time << 8) | static_cast<unsigned char>(bytes[i]);
  return time;
}

struct SwitchCase {
  const char* label;
  bool stored;  // false: no value before
  DWORD type;
  std::string before;
  std::string flagsAfter;  // bytes 0-3
  bool disables;           // the time is now; otherwise zero
};

void PrintTo(const SwitchCase& c, std::ostream* out) {
  *out << c.label;
}

class SwitchBytesTest : public ::testing::TestWithParam<SwitchCase> {
 protected:
  RegistrySandbox sandbox_;
};

TEST_P(SwitchBytesTest, FlipsBitZeroAndSetsTheTime) {
  const SwitchCase& c = GetParam();
  if (c.stored)
    RegistrySandbox::SetValue(HKEY_LOCAL_MACHINE, kSwitches, "Alpha", c.type, c.before.data(),
                              static_cast<DWORD>(c.before.size()));
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kLocation + 19, "Alpha", "a.exe");  // the entry
  const uint64_t before = Now();
  ASSERT_EQ(ERROR_SUCCESS, SwitchEntry("Registry", "Alpha", kLocation, c.disables));
  const uint64_t after = Now();
  DWORD type = REG_NONE;
  std::string bytes;
  ASSERT_TRUE(RegistrySandbox::ReadValue(HKEY_LOCAL_MACHINE, kSwitches, "Alpha", type, bytes));
  EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
  ASSERT_EQ(12u, bytes.size());
  EXPECT_EQ(c.flagsAfter, bytes.substr(0, 4));
  if (c.disables) {
    EXPECT_LE(before, TimeOf(bytes));
    EXPECT_GE(after, TimeOf(bytes));
  } else {
    EXPECT_EQ(0u, TimeOf(bytes));
  }
}

const char kOldTime[] = "\x10\x20\x30\x40\x50\x60\x70\x01";

INSTANTIATE_TEST_SUITE_P(
    Values, SwitchBytesTest,
    ::testing::Values(
        SwitchCase{"MissingDisables", false, REG_NONE, "", Bytes("\x03\0\0\0", 4), true},
        SwitchCase{"TaskManagersEnabled", true, REG_BINARY, Bytes("\x02\0\0\0\0\0\0\0\0\0\0\0", 12),
                   Bytes("\x03\0\0\0", 4), true},
        SwitchCase{"OtherFlagsKept", true, REG_BINARY,
                   Bytes("\x06\x11\x22\x33\0\0\0\0\0\0\0\0", 12), "\x07\x11\x22\x33", true},
        SwitchCase{"DisabledEnables", true, REG_BINARY, Bytes("\x03\0\0\0", 4) + kOldTime,
                   Bytes("\x02\0\0\0", 4), false},
        SwitchCase{"OtherFlagsKeptOnEnable", true, REG_BINARY,
                   std::string("\x07\x11\x22\x33") + kOldTime, "\x06\x11\x22\x33", false},
        // Malformed values read as enabled and are written anew.
        SwitchCase{"WrongLength", true, REG_BINARY, Bytes("\x07\x11\x22\x33", 4) + "\x10\x20\x30",
                   Bytes("\x03\0\0\0", 4), true},
        SwitchCase{"Longer", true, REG_BINARY, std::string("\x07\x11\x22\x33") + kOldTime + "x",
                   Bytes("\x03\0\0\0", 4), true},
        SwitchCase{"WrongType", true, REG_NONE, std::string("\x07\x11\x22\x33") + kOldTime,
                   Bytes("\x03\0\0\0", 4), true}),
    [](const ::testing::TestParamInfo<SwitchCase>& info) { return std::string(info.param.label); });

TEST(SwitchEntryTest, RowsWithoutASwitchWriteNothing) {
  RegistrySandbox sandbox;
  const std::string runOnce = std::string(kLocation) + "Once";
  EXPECT_EQ(ERROR_NOT_SUPPORTED, SwitchEntry("Registry", "Alpha", runOnce, true));
  TempFolder elsewhere;  // a folder no Shell Folders value names
  EXPECT_EQ(ERROR_NOT_SUPPORTED,
            SwitchEntry("Start-Up", "x.exe", elsewhere.WriteFile("x.exe", "MZ"), true));
  // A switch for a value that is gone would disable a later one of its name.
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, SwitchEntry("Registry", "Alpha", kLocation, true));
  EXPECT_FALSE(RegistrySandbox::KeyExists(
      HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer"));
}

}  // namespace
