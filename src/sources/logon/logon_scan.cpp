#include "sources/logon/logon_scan.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <utility>

#include "details/user_environment.h"
#include "util/string_utils.h"
#include "util/text_encoding.h"

const char WinlogonKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const char SystemPolicyKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const char WindowsValuesKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
const char* const ActiveSetupKeys[2] = {
    "Software\\Microsoft\\Active Setup\\Installed Components",
    "Software\\Wow6432Node\\Microsoft\\Active Setup\\Installed Components",
};

namespace {

// A profile's values, in the order of their rows.
const struct {
  const char* key;
  const char* value;
} kProfileValues[] = {
    {WinlogonKey, "Shell"},
    {SystemPolicyKey, "Shell"},
    {WindowsValuesKey, "load"},
    {WindowsValuesKey, "run"},
};

// Version stamps are a few numbers; anything longer is no stamp.
constexpr DWORD kVersionUnitsMax = 128;
// Component ids are key names.
constexpr size_t kKeyNameMax = 255;

class Key {
 public:
  Key(HKEY parent, const std::string& subKey, HKEY root) {
    if (RegOpenKeyExA(parent, subKey.c_str(), 0, MachineViewAccess(root, KEY_READ), &key_) !=
        ERROR_SUCCESS)
      key_ = nullptr;
  }
  ~Key() {
    if (key_) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// A string value of an open key, whole, in the process code page up to its
// first zero; false for a missing value or another type.
bool ReadText(HKEY key, const char* name, std::string& text, DWORD* type = nullptr,
              DWORD unitsMax = 0) {
  const std::wstring wide = WideFromCodePage(name);
  std::wstring data(unitsMax ? unitsMax : 256, L'\0');
  DWORD found = REG_NONE;
  for (;;) {
    DWORD size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    const LONG result = RegQueryValueExW(key, wide.c_str(), nullptr, &found,
                                         reinterpret_cast<BYTE*>(&data[0]), &size);
    if (result == ERROR_MORE_DATA && !unitsMax && size > data.size() * sizeof(wchar_t)) {
      data.resize(size / sizeof(wchar_t) + 1);
      continue;
    }
    if (result != ERROR_SUCCESS || (found != REG_SZ && found != REG_EXPAND_SZ)) return false;
    data.resize(size / sizeof(wchar_t));
    break;
  }
  NarrowFromWide(data.substr(0, data.find(L'\0')), text);
  if (type) *type = found;
  return true;
}

bool IsProfileHive(const std::string& hive) {
  static const char kPrefix[] = "s-1-5-21-";
  static const char kClasses[] = "_classes";
  const std::string lower = LowerCopy(hive);
  return lower.compare(0, sizeof kPrefix - 1, kPrefix) == 0 &&
         !(lower.size() >= sizeof kClasses - 1 &&
           lower.compare(lower.size() - (sizeof kClasses - 1), std::string::npos, kClasses) == 0);
}

std::string SystemFolder() {
  char path[MAX_PATH] = "";
  const UINT length = GetSystemDirectoryA(path, MAX_PATH);
  return length && length < MAX_PATH ? path : "C:\\Windows\\system32";
}

std::string WindowsFolder() {
  char path[MAX_PATH] = "";
  const UINT length = GetSystemWindowsDirectoryA(path, MAX_PATH);
  return length && length < MAX_PATH ? path : "C:\\Windows";
}

// The views whose components Windows keeps apart: the 32-bit one only on
// 64-bit Windows, and only while it is a key of its own.
size_t ActiveSetupViews() {
  if (!MachineHas32BitRegistryView()) return 1;
  return IsSameKey(HKEY_LOCAL_MACHINE, ActiveSetupKeys[0], ActiveSetupKeys[1]) ? 1 : 2;
}

struct Component {
  size_t view = 0;
  std::string id, name, stub, version;
  bool expand = false;
};

// A component Windows would run for someone: a StubPath, IsInstalled not 0.
bool ReadComponent(HKEY key, Component& component) {
  DWORD type = REG_NONE, installed = 1, size = sizeof installed;
  if (RegQueryValueExA(key, "IsInstalled", nullptr, &type, reinterpret_cast<BYTE*>(&installed),
                       &size) == ERROR_SUCCESS &&
      type == REG_DWORD && size == sizeof installed && installed == 0)
    return false;
  if (!ReadText(key, "StubPath", component.stub, &type) || TrimCopy(component.stub).empty())
    return false;
  component.expand = type == REG_EXPAND_SZ;
  if (!ReadText(key, "", component.name) || TrimCopy(component.name).empty())
    component.name = component.id;
  ReadText(key, "Version", component.version, nullptr, kVersionUnitsMax);
  return true;
}

std::vector<Component> ReadComponents(size_t views) {
  std::vector<Component> components;
  for (size_t view = 0; view < views; ++view) {
    Key list(HKEY_LOCAL_MACHINE, ActiveSetupKeys[view], HKEY_LOCAL_MACHINE);
    if (!list.get()) continue;
    NameSet ids;
    EnumSubKeyNames(HKEY_LOCAL_MACHINE, ActiveSetupKeys[view], ids);
    for (const std::string& id : ids) {
      Key key(list.get(), id, HKEY_LOCAL_MACHINE);
      if (!key.get()) continue;
      Component component;
      component.view = view;
      component.id = id;
      if (ReadComponent(key.get(), component)) components.push_back(std::move(component));
    }
  }
  return components;
}

// Whether the stub runs for the user whose list of stamps is `stamps` (null
// when the user has none): no stamp of the component, or a lower one.
bool IsPending(HKEY stamps, const std::string& id, const std::string& version) {
  if (!stamps) return true;
  Key key(stamps, id, nullptr);
  std::string stamped;
  return !key.get() || !ReadText(key.get(), "Version", stamped, nullptr, kVersionUnitsMax) ||
         CompareSetupVersions(stamped, version) < 0;
}

// Whether a value's text starts something beyond Windows' default.
bool IsAdded(const std::string& valueName, const std::string& text, bool machine) {
  if (TrimCopy(text).empty()) return false;
  if (SameNameIgnoringCase(valueName, "Userinit")) return !IsDefaultUserinit(text);
  if (SameNameIgnoringCase(valueName, "Shell")) return !IsDefaultShell(text);
  return !machine;
}

bool IsDefaultItem(const std::string& item) {
  return IsDefaultShell(item) || SameNameIgnoringCase(item, SystemFolder() + "\\userinit.exe");
}

std::string RootPath(HKEY root, const std::string& subKey) {
  return RegistryRootName(root) + '\\' + subKey;
}

// The profile prefix of a sub-key below the root ("" or "<hive>\"), or
// false when the root is no profile's.
bool ProfilePrefix(HKEY root, const std::string& subKey, std::string& prefix) {
  if (root == HKEY_CURRENT_USER) {
    prefix.clear();
    return true;
  }
  if (root != HKEY_USERS) return false;
  const size_t separator = subKey.find('\\');
  if (separator == std::string::npos || !IsProfileHive(subKey.substr(0, separator))) return false;
  prefix = subKey.substr(0, separator + 1);
  return true;
}

}  // namespace

std::string DefaultUserinit() {
  return SystemFolder() + "\\userinit.exe,";
}

bool IsDefaultShell(const std::string& value) {
  const std::string text = TrimCopy(value);
  return SameNameIgnoringCase(text, DefaultShell) ||
         SameNameIgnoringCase(text, WindowsFolder() + "\\" + DefaultShell);
}

bool IsDefaultUserinit(const std::string& value) {
  const std::string text = TrimCopy(value);
  const std::string userinit = DefaultUserinit();
  return SameNameIgnoringCase(text, userinit) ||
         SameNameIgnoringCase(text, userinit.substr(0, userinit.size() - 1));
}

int CompareSetupVersions(const std::string& a, const std::string& b) {
  auto parts = [](const std::string& text) {
    unsigned long part[4] = {};
    size_t at = 0;
    for (int i = 0; i < 4 && at <= text.size(); ++i) {
      const size_t end = text.find_first_of(",.", at);
      const std::string piece =
          TrimCopy(text.substr(at, end == std::string::npos ? end : end - at));
      char* stop = nullptr;
      const unsigned long number = std::strtoul(piece.c_str(), &stop, 10);
      part[i] = piece.empty() || *stop ? 0 : number;
      if (end == std::string::npos) break;
      at = end + 1;
    }
    return std::vector<unsigned long>(part, part + 4);
  };
  const std::vector<unsigned long> left = parts(a), right = parts(b);
  return left < right ? -1 : left > right ? 1 : 0;
}

std::string FirstAddedProgram(const std::string& value) {
  std::string item;
  bool quoted = false;
  for (size_t at = 0; at <= value.size(); at = NextCharOffset(value, at)) {
    if (at < value.size() && value[at] == '"') quoted = !quoted;
    if (at < value.size() && (quoted || value[at] != ',')) {
      item.append(value, at, NextCharOffset(value, at) - at);
      continue;
    }
    Trim(item);
    if (!item.empty() && !IsDefaultItem(item)) return item;
    item.clear();
    if (at >= value.size()) break;
  }
  return std::string();
}

std::vector<RegistryLocation> LogonProfileRoots() {
  std::vector<RegistryLocation> roots(1);
  roots[0].root = HKEY_CURRENT_USER;
  NameSet hives;
  EnumSubKeyNames(HKEY_USERS, std::string(), hives);
  for (const std::string& hive : hives) {
    if (!IsProfileHive(hive)) continue;
    roots.emplace_back();
    roots.back().root = HKEY_USERS;
    roots.back().subKey = hive + '\\';
  }
  return roots;
}

std::vector<std::string> ActiveSetupComponentKeys() {
  std::vector<std::string> keys;
  const size_t views = ActiveSetupViews();
  for (size_t view = 0; view < views; ++view) {
    NameSet ids;
    EnumSubKeyNames(HKEY_LOCAL_MACHINE, ActiveSetupKeys[view], ids);
    for (const std::string& id : ids)
      keys.push_back(std::string(ActiveSetupKeys[view]) + '\\' + id);
  }
  return keys;
}

bool ParseLogonPlace(const std::string& name, const std::string& location, LogonPlace& place) {
  RegistryLocation key;
  if (!ParseRegistryPath(location, key)) return false;
  place = LogonPlace();
  place.root = key.root;
  place.subKey = key.subKey;
  if (key.root == HKEY_LOCAL_MACHINE) {
    if (!SameNameIgnoringCase(key.subKey, WinlogonKey)) return false;
    place.kind = SameNameIgnoringCase(name, "Shell")      ? LogonKind::MachineShell
                 : SameNameIgnoringCase(name, "Userinit") ? LogonKind::MachineUserinit
                                                          : LogonKind::UserValue;
    place.valueName = place.kind == LogonKind::MachineShell ? "Shell" : "Userinit";
    return place.kind != LogonKind::UserValue;
  }
  std::string prefix;
  if (!ProfilePrefix(key.root, key.subKey, prefix)) return false;
  const std::string rest = key.subKey.substr(prefix.size());
  for (const auto& value : kProfileValues) {
    if (!SameNameIgnoringCase(rest, value.key) || !SameNameIgnoringCase(name, value.value))
      continue;
    place.kind = LogonKind::UserValue;
    place.valueName = value.value;
    return true;
  }
  // The 32-bit view's path names a key of its own, or the shared one again.
  for (size_t view = 0; view < (MachineHas32BitRegistryView() ? 2 : 1); ++view) {
    const std::string list = std::string(ActiveSetupKeys[view]) + '\\';
    if (rest.size() <= list.size() || !SameNameIgnoringCase(rest.substr(0, list.size()), list))
      continue;
    const std::string id = rest.substr(list.size());
    if (id.size() > kKeyNameMax || FindFirstCharOf(id, "\\/") != std::string::npos) return false;
    place.kind = LogonKind::ActiveSetup;
    place.valueName = "Version";
    place.machineKey = list + id;
    return true;
  }
  return false;
}

bool LogonPlaceIsActive(const LogonPlace& place) {
  if (place.kind != LogonKind::ActiveSetup) {
    Key key(place.root, place.subKey, place.root);
    std::string text;
    return key.get() && ReadText(key.get(), place.valueName.c_str(), text) &&
           IsAdded(place.valueName, text, place.root == HKEY_LOCAL_MACHINE);
  }
  const size_t separator = place.subKey.rfind('\\');
  Key machine(HKEY_LOCAL_MACHINE, place.machineKey, HKEY_LOCAL_MACHINE);
  Component component;
  component.id = place.subKey.substr(separator + 1);
  if (separator == std::string::npos || !machine.get() || !ReadComponent(machine.get(), component))
    return false;
  Key stamps(place.root, place.subKey.substr(0, separator), place.root);
  return IsPending(stamps.get(), component.id, component.version);
}

void ScanLogon(RowSink& sink) {
  auto add = [&](const char* name, const std::string& command, const std::string& keyPath,
                 EntryOwner owner) {
    sink.AddEntryRow(LogonEntryType, name, command.c_str(), keyPath.c_str(),
                     RowImage(LogonValueImage, EntryApproval()), EntryApproval(), owner);
  };
  {
    Key winlogon(HKEY_LOCAL_MACHINE, WinlogonKey, HKEY_LOCAL_MACHINE);
    std::string text;
    for (const char* value : {"Shell", "Userinit"}) {
      DWORD type = REG_NONE;
      if (!winlogon.get() || !ReadText(winlogon.get(), value, text, &type) ||
          !IsAdded(value, text, true))
        continue;
      EntryOwner owner;
      owner.expandCommand = type == REG_EXPAND_SZ;
      add(value, text, RootPath(HKEY_LOCAL_MACHINE, WinlogonKey), owner);
    }
  }
  const size_t views = ActiveSetupViews();
  const std::vector<Component> components = ReadComponents(views);
  for (const RegistryLocation& profile : LogonProfileRoots()) {
    std::string openKey;
    std::unique_ptr<Key> key;
    for (const auto& value : kProfileValues) {
      const std::string subKey = profile.subKey + value.key;
      if (subKey != openKey) key.reset(new Key(profile.root, openKey = subKey, profile.root));
      std::string text;
      DWORD type = REG_NONE;
      if (!key->get() || !ReadText(key->get(), value.value, text, &type) ||
          !IsAdded(value.value, text, false))
        continue;
      EntryOwner owner = OwnerOfKey(profile.root, subKey);
      owner.expandCommand = type == REG_EXPAND_SZ;
      add(value.value, text, RootPath(profile.root, subKey), owner);
    }
    for (size_t view = 0; view < views; ++view) {
      // A view with no component costs no read of the user's stamps.
      if (!std::any_of(components.begin(), components.end(),
                       [&](const Component& component) { return component.view == view; }))
        continue;
      const std::string list = profile.subKey + ActiveSetupKeys[view];
      Key stamps(profile.root, list, profile.root);
      for (const Component& component : components) {
        if (component.view != view || !IsPending(stamps.get(), component.id, component.version))
          continue;
        EntryOwner owner = OwnerOfKey(profile.root, list);
        owner.expandCommand = component.expand;
        add(component.name.c_str(), component.stub,
            RootPath(profile.root, list + '\\' + component.id), owner);
      }
    }
  }
}
