#include "details/user_environment.h"

#include <sddl.h>

#include <memory>
#include <vector>

#include "scan/registry_access.h"
#include "util/string_utils.h"

namespace {

std::string UpperCopy(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

bool RunsUnderWow64() {
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

// Variables that belong to the logged-on user: another user's values of them
// are not known from this process.
const char* const kPerUserVariables[] = {
    "USERPROFILE", "APPDATA",     "LOCALAPPDATA", "HOMEDRIVE", "HOMEPATH",  "HOMESHARE",
    "USERNAME",    "USERDOMAIN",  "USERDOMAIN_ROAMINGPROFILE", "LOGONSERVER", "TEMP",
    "TMP",         "ONEDRIVE",    "ONEDRIVECONSUMER", "ONEDRIVECOMMERCIAL", "SESSIONNAME",
    "CLIENTNAME",  "WINEUSERNAME",
};

const char kMachineEnvironment[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
const char kProfileList[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";

// A Path of the user's own is appended to the machine's, as at logon.
void ApplyEnvironmentKey(UserEnvironment& environment, HKEY root, const std::string& subKey) {
  EnumStringValues(root, subKey, [&](const std::string& name, DWORD type, const std::string& text,
                                   const std::wstring&) {
    std::string value = text;
    if (type == REG_EXPAND_SZ && !environment.Expand(text, value)) return;
    const std::string* path = UpperCopy(name) == "PATH" ? environment.Find(name) : nullptr;
    if (path && !path->empty() && root == HKEY_USERS) value = *path + ';' + value;
    environment.Set(name, value);
  });
}

}  // namespace

UserEnvironment UserEnvironment::OfThisProcess() {
  UserEnvironment environment;
  char* block = GetEnvironmentStringsA();
  for (const char* entry = block; entry && *entry; entry += strlen(entry) + 1) {
    // Names starting with '=' are the per-drive current folders.
    const char* equals = entry[0] ? strchr(entry + 1, '=') : nullptr;
    if (equals) environment.Set(std::string(entry, equals), equals + 1);
  }
  if (block) FreeEnvironmentStringsA(block);
  if (RunsUnderWow64()) {
    static const char* const kNativeNames[][2] = {
        {"ProgramFiles", "ProgramW6432"},
        {"CommonProgramFiles", "CommonProgramW6432"},
        {"PROCESSOR_ARCHITECTURE", "PROCESSOR_ARCHITEW6432"},
    };
    for (const auto& names : kNativeNames)
      if (const std::string* native = environment.Find(names[1])) {
        const std::string value = *native;
        environment.Set(names[0], value);
      }
  }
  return environment;
}

namespace {

// Another user's variables: the machine's, without this user's own.
UserEnvironment OtherUser() {
  UserEnvironment environment = UserEnvironment::OfThisProcess();
  for (const char* name : kPerUserVariables) environment.Remove(name);
  EnumStringValues(HKEY_CURRENT_USER, "Environment",
                   [&](const std::string& name, DWORD, const std::string&, const std::wstring&) {
                     environment.Remove(name);
                   });
  // The machine's Path alone; the user's own part follows from the hive.
  environment.Remove("Path");
  ApplyEnvironmentKey(environment, HKEY_LOCAL_MACHINE, kMachineEnvironment);
  return environment;
}

void SetProfileFolders(UserEnvironment& environment, const std::string& profile) {
  environment.Set("USERPROFILE", profile);
  environment.Set("APPDATA", profile + "\\AppData\\Roaming");
  environment.Set("LOCALAPPDATA", profile + "\\AppData\\Local");
}

}  // namespace

UserEnvironment UserEnvironment::OfHive(const std::string& hive) {
  UserEnvironment environment = OfThisProcess();
  if (!hive.empty() && SameNameIgnoringCase(hive, CurrentUserSid())) return environment;

  environment = OtherUser();
  environment.userRoot_ = HKEY_USERS;
  environment.userKey_ = hive;
  std::string profile;
  if (ReadStringValue(HKEY_LOCAL_MACHINE, kProfileList + hive, "ProfileImagePath", profile) ==
          ERROR_SUCCESS &&
      environment.Expand(std::string(profile), profile) && !profile.empty())
    SetProfileFolders(environment, profile);
  ApplyEnvironmentKey(environment, HKEY_USERS, hive + "\\Environment");
  return environment;
}

UserEnvironment UserEnvironment::OfProfileFolder(const std::string& profile) {
  UserEnvironment environment = OtherUser();
  environment.userRoot_ = nullptr;
  SetProfileFolders(environment, profile);
  return environment;
}

void UserEnvironment::Set(const std::string& name, const std::string& value) {
  variables_[UpperCopy(name)] = value;
}

void UserEnvironment::Remove(const std::string& name) {
  variables_.erase(UpperCopy(name));
}

const std::string* UserEnvironment::Find(const std::string& name) const {
  const auto found = variables_.find(UpperCopy(name));
  return found == variables_.end() ? nullptr : &found->second;
}

bool UserEnvironment::Expand(const std::string& text, std::string& expanded) const {
  std::vector<std::string> unknown;
  std::string result = ExpandKnown(text, unknown);
  if (!unknown.empty()) return false;
  expanded = std::move(result);
  return true;
}

std::string UserEnvironment::ExpandKnown(const std::string& text,
                                         std::vector<std::string>& unknown) const {
  std::string result;
  size_t at = 0;
  for (;;) {
    const size_t open = text.find('%', at);
    const size_t close = open == std::string::npos ? open : text.find('%', open + 1);
    if (close == std::string::npos) break;
    const std::string* value = Find(text.substr(open + 1, close - open - 1));
    result.append(text, at, open - at);
    if (value) {
      result += *value;
    } else {
      unknown.push_back(text.substr(open, close - open + 1));
      result.append(text, open, close - open + 1);
    }
    at = close + 1;
  }
  return result + text.substr(at);
}

std::string CurrentUserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return std::string();
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<char> buffer(size ? size : 1);
  std::string text;
  char* sidText = nullptr;
  if (GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
      ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sidText)) {
    text = sidText;
    LocalFree(sidText);
  }
  CloseHandle(token);
  return text;
}

std::string OwnerUserName(const EntryOwner& owner) {
  switch (owner.kind) {
    case EntryOwner::Kind::AllUsers:
      return "All Users";
    case EntryOwner::Kind::Profile:
      return owner.name;
    case EntryOwner::Kind::CurrentUser:
    case EntryOwner::Kind::Hive:
      break;
  }
  const std::string sidText = owner.kind == EntryOwner::Kind::Hive ? owner.name : CurrentUserSid();
  PSID sid = nullptr;
  if (!ConvertStringSidToSidA(sidText.c_str(), &sid)) return sidText;
  char name[256], domain[256];
  DWORD nameSize = sizeof name, domainSize = sizeof domain;
  SID_NAME_USE use;
  const bool found = LookupAccountSidA(nullptr, sid, name, &nameSize, domain, &domainSize, &use);
  LocalFree(sid);
  if (!found) return sidText;
  return domain[0] ? std::string(domain) + '\\' + name : std::string(name);
}

EntryOwner OwnerOfKey(HKEY root, const std::string& subKey) {
  EntryOwner owner;
  if (root == HKEY_CURRENT_USER) owner.kind = EntryOwner::Kind::CurrentUser;
  if (root == HKEY_USERS) {
    owner.kind = EntryOwner::Kind::Hive;
    owner.name = subKey.substr(0, subKey.find('\\'));
  }
  return owner;
}
