// Remove of a logon value and of a shadow Run value, then its undo: each
// value comes back byte for byte, a stamp that was absent goes again.
#include <gtest/gtest.h>

#include <string>

#include "actions/entry_actions.h"
#include "actions/removal_undo.h"
#include "scan/startup_approved.h"
#include "support/registry_sandbox.h"
#include "support/store_security.h"
#include "support/temp_folder.h"

namespace {

const StoreSecurityPatch g_storeSecurity;

const char kWinlogon[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const char kWindows[] =
    "S-1-5-21-7-7-7-1001\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
const char kSetup[] = "Software\\Microsoft\\Active Setup\\Installed Components\\{A}";
const char kShadow[] =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Terminal Server\\Install\\Software\\"
    "Microsoft\\Windows\\CurrentVersion\\Run";

std::string Value(HKEY root, const std::string& key, const std::string& name) {
  DWORD type = REG_NONE;
  std::string bytes;
  if (!RegistrySandbox::ReadValue(root, key, name, type, bytes)) return "(none)";
  return std::to_string(type) + ":" + bytes;
}

std::string Sz(const std::string& text) {
  return "1:" + text + std::string(1, '\0');
}

TEST(LogonRemoval, RemoveThenUndoGivesEachValueBack) {
  char system[MAX_PATH] = "";
  GetSystemDirectoryA(system, MAX_PATH);
  const struct {
    const char* type;
    const char* name;
    HKEY root;
    std::string key, value, before;
    DWORD valueType;
    std::string afterRemove;  // as Value() shows it
  } cases[] = {
      {"Logon", "Shell", HKEY_LOCAL_MACHINE, kWinlogon, "Shell", "kiosk.exe", REG_EXPAND_SZ,
       Sz("explorer.exe")},
      {"Logon", "Userinit", HKEY_LOCAL_MACHINE, kWinlogon, "Userinit", "userinit.exe,x.exe", REG_SZ,
       Sz(std::string(system) + "\\userinit.exe,")},
      {"Logon", "load", HKEY_USERS, kWindows, "load", "x.exe", REG_SZ, "(none)"},
      {"Logon", "Alpha", HKEY_CURRENT_USER, kSetup, "Version", "1,1", REG_SZ, Sz("1,2,0,0")},
      {"Logon", "Alpha", HKEY_CURRENT_USER, kSetup, "Version", "", REG_NONE, Sz("1,2,0,0")},
      {"Registry", "Clock", HKEY_LOCAL_MACHINE, kShadow, "Clock", "clock.exe", REG_SZ, "(none)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key + " " + c.value + "=" + c.before);
    RegistrySandbox sandbox;
    TempFolder temp;
    RemovalStore store(temp / "store");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kSetup, "StubPath", "a.exe");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kSetup, "Version", "1,2,0,0");
    if (c.valueType != REG_NONE)
      RegistrySandbox::SetString(c.root, c.key, c.value, c.before, c.valueType);
    const std::string before = Value(c.root, c.key, c.value);
    const std::string location = RegistryRootName(c.root) + "\\" + c.key;
    // Windows keeps no switch for any of them.
    EXPECT_EQ(EntryState::NotApplicable, ReadEntryApproval(c.type, c.name, location).state);

    RemovalRecord kept, record;
    ASSERT_EQ(RemovalResult::Removed, RemoveEntryKept(c.type, c.name, location, store, kept));
    EXPECT_EQ(c.afterRemove, Value(c.root, c.key, c.value));
    ASSERT_TRUE(store.Load(kept.id, record));
    EXPECT_TRUE(MayRestore(record));
    EXPECT_FALSE(RemovalTargetExists(record));
    EXPECT_EQ(RestoreResult::Restored, RestoreRemoval(record));
    EXPECT_EQ(before, Value(c.root, c.key, c.value));
  }
}

// A record names only a value a Logon row stands for.
TEST(LogonRemoval, RecordsNamingAnythingElseAreRefused) {
  const std::string sz("x\0", 4);
  const struct {
    std::string name, location;
    std::wstring valueName;
    DWORD type;
    std::string bytes;
    DWORD view;
  } cases[] = {
      {"Shell", std::string("HKEY_LOCAL_MACHINE\\") + kWinlogon, L"Shell", REG_SZ, sz, 32},
      {"Shell", std::string("HKEY_CURRENT_USER\\") + kWinlogon, L"Userinit", REG_SZ, sz},
      {"Debugger", std::string("HKEY_CURRENT_USER\\") + kWinlogon, L"Debugger", REG_SZ, sz},
      {"load", "HKEY_USERS\\.DEFAULT\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows",
       L"load", REG_SZ, sz},
      {"load", std::string("HKEY_USERS\\") + kWindows, L"load", REG_BINARY, sz},
      {"Alpha", std::string("HKEY_CURRENT_USER\\") + kSetup + "\\Sub", L"Version", REG_SZ, sz},
      {"Alpha", std::string("HKEY_CURRENT_USER\\") + kSetup, L"StubPath", REG_SZ, sz},
      {"Alpha", std::string("HKEY_CURRENT_USER\\") + kSetup, L"Version", REG_NONE, sz},
      {"Alpha", std::string("HKEY_LOCAL_MACHINE\\") + kSetup, L"Version", REG_SZ, sz},
  };
  for (const auto& c : cases) {
    RemovalRecord record;
    record.type = "Logon";
    record.name = c.name;
    record.location = c.location;
    record.valueName = c.valueName;
    record.valueType = c.type;
    record.bytes = c.bytes;
    record.view = c.view;
    EXPECT_FALSE(MayRestore(record)) << c.name << " " << c.location;
  }
}

}  // namespace
