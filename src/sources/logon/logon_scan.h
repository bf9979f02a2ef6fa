// Lists what Windows runs at logon outside the Run keys: the Winlogon Shell
// and Userinit of the machine, each profile's own shell and its Windows
// `load` and `run` values, and the Active Setup components still to run for
// a profile. A value is listed only where it starts something beyond
// Windows' default.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "scan/registry_access.h"
#include "scan/row_sink.h"

// The Type text of its rows (sources/entry_source.h).
inline constexpr char LogonEntryType[] = "Logon";

extern const char WinlogonKey[];       // Software\...\Windows NT\CurrentVersion\Winlogon
extern const char SystemPolicyKey[];   // Software\...\CurrentVersion\Policies\System
extern const char WindowsValuesKey[];  // Software\...\Windows NT\CurrentVersion\Windows
// Below each view's Software: "Microsoft\Active Setup\Installed Components".
extern const char* const ActiveSetupKeys[2];

enum class LogonKind {
  MachineShell,     // HKLM Winlogon Shell: Remove writes explorer.exe
  MachineUserinit,  // HKLM Winlogon Userinit: Remove writes the system's userinit.exe,
  UserValue,        // a profile's Shell, load or run: Remove deletes it
  ActiveSetup,      // a component pending for a profile: Remove stamps its Version
};

// What one row stands for, read from its Name and Location alone.
struct LogonPlace {
  LogonKind kind = LogonKind::UserValue;
  HKEY root = nullptr;  // the key Remove writes: the row's Location
  std::string subKey;
  std::string valueName;   // the value Remove writes or deletes
  std::string machineKey;  // ActiveSetup: the component's key below HKEY_LOCAL_MACHINE
};

// False for any Name and Location the scan does not give a row: a key of no
// logon value, a value name other than the key's own, a hive that is no
// user's profile, an Active Setup key of no component.
bool ParseLogonPlace(const std::string& name, const std::string& location, LogonPlace& place);

// Whether the entry would still start something now: the value as the scan
// reads it is off Windows' default, or the component is pending.
bool LogonPlaceIsActive(const LogonPlace& place);

// HKEY_CURRENT_USER and the hives of user profiles ("S-1-5-21-..." but not
// their classes): root and the prefix of their sub-keys.
std::vector<RegistryLocation> LogonProfileRoots();

// The components of both views, each as its key below HKEY_LOCAL_MACHINE.
std::vector<std::string> ActiveSetupComponentKeys();

// The program a Winlogon or Windows value starts first beyond Windows' own:
// its comma-separated items in order, skipping explorer.exe and the
// system's userinit.exe; empty when none is left.
std::string FirstAddedProgram(const std::string& value);

// Active Setup's version text as four numbers ("1,2,3,4"; dots accepted,
// missing and unreadable parts 0) compared in order: <0, 0 or >0.
int CompareSetupVersions(const std::string& a, const std::string& b);

// Windows' defaults, written exactly.
std::string DefaultUserinit();  // <System32>\userinit.exe,
inline constexpr char DefaultShell[] = "explorer.exe";
// The default compares, letter case and outer blanks aside.
bool IsDefaultShell(const std::string& value);
bool IsDefaultUserinit(const std::string& value);

// Adds the rows, in the order: the machine's Shell and Userinit, then per
// profile its Winlogon Shell, policy Shell, load, run, then its pending
// components (the 64-bit view's in name order, then the 32-bit view's).
void ScanLogon(RowSink& sink);
