#include "bench/heavy_profile.h"

#include <cstdio>

#include "sources/app_task/app_task_scan.h"
#include "sources/registry/registry_scan.h"
#include "sources/scheduled_task/scheduled_task_scan.h"

namespace {

const HKEY kRoots[4] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS, HKEY_CLASSES_ROOT};
const char* const kRootNames[4] = {"HKLM", "HKCU", "HKU", "HKCR"};
const char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

bool SetValue(HKEY root, const std::string& subKey, const std::string& name, DWORD type,
              const void* data, DWORD size) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return false;
  LONG rc = RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

bool SetText(HKEY root, const std::string& subKey, const std::string& name, const std::string& text,
             DWORD type = REG_SZ) {
  return SetValue(root, subKey, name, type, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void DeleteTree(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = folder + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        DeleteTree(path);
      else
        DeleteFileA(path.c_str());
    } while (FindNextFileA(find, &found));
    FindClose(find);
  }
  RemoveDirectoryA(folder.c_str());
}

char Hex(int n) {
  return "0123456789abcdef"[n & 15];
}

}  // namespace

HeavyProfile::HeavyProfile(const ProfileShape& shape) {
  scratch_ = "Software\\LumivaneBenchSandbox\\" + std::to_string(GetCurrentProcessId());
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  folder_ = std::string(temp) + "lumivane-bench-" + std::to_string(GetCurrentProcessId());
  // What a run stopped half-way left under the same process number (Wine
  // gives the same numbers again soon): files that exist cannot be made new.
  RegDeleteTreeA(HKEY_CURRENT_USER, scratch_.c_str());
  DeleteTree(folder_);
  taskFolder_ = ::TaskFolder();
  ownTasks_ = taskFolder_ + "\\LumivaneBench " + std::to_string(GetCurrentProcessId());
  // Task files a stopped run left in the prefix would be listed with these.
  WIN32_FIND_DATAA stale;
  HANDLE find = FindFirstFileA((taskFolder_ + "\\LumivaneBench *").c_str(), &stale);
  if (find != INVALID_HANDLE_VALUE) {
    do DeleteTree(taskFolder_ + "\\" + stale.cFileName);
    while (FindNextFileA(find, &stale));
    FindClose(find);
  }
  for (int i = 0; i < 4; ++i) {
    std::string path = scratch_ + "\\" + kRootNames[i];
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &mapped_[i], nullptr) != ERROR_SUCCESS)
      ok_ = false;
  }
  for (int i = 0; i < 4 && ok_; ++i) ok_ = RegOverridePredefKey(kRoots[i], mapped_[i]) == 0;
  if (!ok_) return;
  FillRegistry(shape);
  FillFolders(shape);
  FillApps(shape);
  FillLogon(shape);
  FillTasks(shape);
}

const std::string& HeavyProfile::AppPackagesKey() {
  static const std::string key = std::string("Software\\Classes\\") + ::AppPackagesKey;
  return key;
}

HeavyProfile::~HeavyProfile() {
  for (HKEY root : kRoots) RegOverridePredefKey(root, nullptr);
  for (HKEY key : mapped_)
    if (key) RegCloseKey(key);
  RegDeleteTreeA(HKEY_CURRENT_USER, scratch_.c_str());
  RegDeleteKeyA(HKEY_CURRENT_USER, scratch_.c_str());
  DeleteTree(folder_);
  DeleteTree(ownTasks_);
}

void HeavyProfile::FillRegistry(const ProfileShape& shape) {
  std::vector<std::pair<HKEY, std::string>> roots = {{HKEY_LOCAL_MACHINE, ""},
                                                     {HKEY_CURRENT_USER, ""}};
  for (int h = 0; h < shape.hives; ++h)
    roots.push_back({HKEY_USERS, "S-1-5-21-1004336348-1177238915-682003330-" +
                                     std::to_string(1000 + h) + "\\"});
  for (const auto& [root, prefix] : roots) {
    const char* rootName = root == HKEY_LOCAL_MACHINE  ? "HKEY_LOCAL_MACHINE\\"
                           : root == HKEY_CURRENT_USER ? "HKEY_CURRENT_USER\\"
                                                       : "HKEY_USERS\\";
    for (const char* suffix : RunLocationSuffixes)
      runKeys_.push_back({root, prefix + suffix, rootName + prefix + suffix});
  }
  // Values spread over every key; each key also holds a number that must not show.
  for (int i = 0; i < shape.stringValues && ok_; ++i) {
    const RunKey& key = runKeys_[static_cast<size_t>(i) % runKeys_.size()];
    std::string name = "Program " + std::to_string(i);
    std::string command = "\"C:\\Program Files\\Vendor " + std::to_string(i % 97) +
                          "\\Tool\\agent" + std::to_string(i) +
                          ".exe\" /background /id:" + std::to_string(i * 7919);
    if (i % 5 == 4) command = "%ProgramFiles%\\Vendor\\helper" + std::to_string(i) + ".exe";
    ok_ = SetText(key.root, key.subKey, name, command, i % 5 == 4 ? REG_EXPAND_SZ : REG_SZ);
  }
  for (const RunKey& key : runKeys_) {
    DWORD flags = 1;
    SetValue(key.root, key.subKey, "Flags", REG_DWORD, &flags, sizeof flags);
  }
  // Registered file types: ".xtNN" -> "BenchTypeNN" -> "Bench document NN".
  for (int t = 0; t < shape.fileTypes && ok_; ++t) {
    std::string number = {Hex(t >> 4), Hex(t)};
    ok_ = SetText(HKEY_CLASSES_ROOT, ".xt" + number, "", "BenchType" + number) &&
          SetText(HKEY_CLASSES_ROOT, "BenchType" + number, "", "Bench document " + number);
  }
}

void HeavyProfile::FillLogon(const ProfileShape& shape) {
  const char winlogon[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
  const char windows[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
  const char components[] = "Software\\Microsoft\\Active Setup\\Installed Components";
  char system[MAX_PATH] = "C:\\Windows\\system32";
  GetSystemDirectoryA(system, MAX_PATH);
  // The machine's shell is Windows' own; its Userinit starts one more program.
  ok_ = ok_ && SetText(HKEY_LOCAL_MACHINE, winlogon, "Shell", "explorer.exe") &&
        SetText(HKEY_LOCAL_MACHINE, winlogon, "Userinit",
                std::string(system) + "\\userinit.exe,C:\\Program Files\\Vendor\\logon.exe");
  logonRows_ = 1;
  for (int c = 0; c < shape.logonComponents && ok_; ++c) {
    const std::string key = std::string(components) + "\\{BENCH-" + std::to_string(c) + "}";
    ok_ = SetText(HKEY_LOCAL_MACHINE, key, "", "Bench component " + std::to_string(c)) &&
          SetText(HKEY_LOCAL_MACHINE, key, "StubPath",
                  "\"C:\\Program Files\\Vendor\\setup" + std::to_string(c) + ".exe\" /user") &&
          SetText(HKEY_LOCAL_MACHINE, key, "Version", "1,0,0," + std::to_string(c));
  }
  profileRoots_.push_back({HKEY_CURRENT_USER, "", "HKEY_CURRENT_USER\\"});
  for (int h = 0; h < shape.hives; ++h) {
    const std::string hive =
        "S-1-5-21-1004336348-1177238915-682003330-" + std::to_string(1000 + h) + "\\";
    profileRoots_.push_back({HKEY_USERS, hive, "HKEY_USERS\\" + hive});
  }
  for (const ProfileRoot& profile : profileRoots_) {
    if (!ok_) break;
    ok_ = SetText(profile.root, profile.prefix + windows, "load",
                  "C:\\Program Files\\Vendor\\loader.exe") &&
          SetText(profile.root, profile.prefix + windows, "run", "") &&
          SetText(profile.root, profile.prefix + winlogon, "Shell", "explorer.exe");
    ++logonRows_;
    for (int c = 0; c < shape.logonComponents && ok_; ++c) {
      if (c % 2) {
        ++logonRows_;  // pending
        continue;
      }
      ok_ =
          SetText(profile.root, profile.prefix + components + "\\{BENCH-" + std::to_string(c) + "}",
                  "Version", "1,0,0," + std::to_string(c));
    }
  }
}

void HeavyProfile::FillFolders(const ProfileShape& shape) {
  CreateDirectoryA(folder_.c_str(), nullptr);
  // One start-up folder for the machine, the current user and each hive.
  startupFolders_.push_back(folder_ + "\\Common Startup");
  SetText(HKEY_LOCAL_MACHINE, kShellFolders, "Common Startup", startupFolders_.back());
  startupFolders_.push_back(folder_ + "\\User Startup");
  SetText(HKEY_CURRENT_USER, kShellFolders, "Startup", startupFolders_.back());
  for (int h = 0; h < shape.hives; ++h) {
    std::string hive = "S-1-5-21-1004336348-1177238915-682003330-" + std::to_string(1000 + h);
    startupFolders_.push_back(folder_ + "\\Hive" + std::to_string(h) + " Startup");
    SetText(HKEY_USERS, hive + "\\" + kShellFolders, "Startup", startupFolders_.back());
  }
  // Profiles beside the common desktop, with empty start-up folders of their own.
  std::string profiles = folder_ + "\\Profiles";
  CreateDirectoryA(profiles.c_str(), nullptr);
  for (const char* user : {"Public", "alice", "bob"}) {
    std::string path = profiles + "\\" + user;
    for (const char* part : {"", "\\Start Menu", "\\Start Menu\\Programs",
                             "\\Start Menu\\Programs\\Startup", "\\Desktop"})
      CreateDirectoryA((path + part).c_str(), nullptr);
  }
  SetText(HKEY_LOCAL_MACHINE, kShellFolders, "Common Desktop", profiles + "\\Public\\Desktop");

  // Each start-up folder holds a chain of nested folders with a sibling at
  // every level; the files go round-robin over all of them.
  std::vector<std::string> folders;
  for (const std::string& top : startupFolders_) {
    std::string level = top;
    CreateDirectoryA(level.c_str(), nullptr);
    folders.push_back(level);
    for (int d = 1; d < shape.depth; ++d) {
      std::string sibling = level + "\\Extras " + std::to_string(d);
      CreateDirectoryA(sibling.c_str(), nullptr);
      folders.push_back(sibling);
      level += "\\Level " + std::to_string(d);
      CreateDirectoryA(level.c_str(), nullptr);
      folders.push_back(level);
    }
  }
  for (int f = 0; f < shape.files && ok_; ++f) {
    int type = f % shape.fileTypes;
    std::string name = folders[static_cast<size_t>(f) % folders.size()] + "\\Start item " +
                       std::to_string(f) + ".xt" + Hex(type >> 4) + Hex(type);
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ok_ = file != INVALID_HANDLE_VALUE;
    if (ok_) CloseHandle(file);
  }
}

void HeavyProfile::FillApps(const ProfileShape& shape) {
  const std::string packages = folder_ + "\\Packages";
  CreateDirectoryA(packages.c_str(), nullptr);
  const std::string stateKeys = std::string("Software\\Classes\\") + AppStateKeysKey + "\\";
  for (int p = 0; p < shape.appPackages && ok_; ++p) {
    const std::string name = "Bench.App" + std::to_string(p);
    const std::string fullName = name + "_1.0.0.0_x64__benchpublishr";
    const std::string folder = packages + "\\" + fullName;
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string manifest =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
        "<Package xmlns=\"http://schemas.microsoft.com/appx/manifest/foundation/windows10\" "
        "xmlns:desktop=\"http://schemas.microsoft.com/appx/manifest/desktop/windows10\">\r\n"
        "  <Identity Name=\"" + name + "\" Version=\"1.0.0.0\" Publisher=\"CN=Bench\"/>\r\n"
        "  <Properties><DisplayName>Bench app " + std::to_string(p) +
        "</DisplayName></Properties>\r\n"
        "  <Applications><Application Id=\"App\" Executable=\"app.exe\" "
        "EntryPoint=\"Windows.FullTrustApplication\"><Extensions>\r\n"
        "    <desktop:Extension Category=\"windows.startupTask\" Executable=\"bin\\agent" +
        std::to_string(p) + ".exe\" EntryPoint=\"Windows.FullTrustApplication\">\r\n"
        "      <desktop:StartupTask TaskId=\"StartupTask\" Enabled=\"true\" "
        "DisplayName=\"Bench agent " + std::to_string(p) + "\"/>\r\n"
        "    </desktop:Extension>\r\n"
        "  </Extensions></Application></Applications>\r\n"
        "</Package>\r\n";
    HANDLE file = CreateFileA((folder + "\\AppxManifest.xml").c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    ok_ = file != INVALID_HANDLE_VALUE &&
          WriteFile(file, manifest.data(), static_cast<DWORD>(manifest.size()), &written,
                    nullptr) &&
          written == manifest.size();
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    ok_ = ok_ && SetText(HKEY_CURRENT_USER, AppPackagesKey() + "\\" + fullName,
                         "PackageRootFolder", folder);
    if (p % 2) continue;
    const DWORD state = p % 4 ? 1 : 2;
    ok_ = ok_ && SetValue(HKEY_CURRENT_USER, stateKeys + name + "_benchpublishr\\StartupTask",
                          "State", REG_DWORD, &state, sizeof state);
  }
}

void HeavyProfile::FillTasks(const ProfileShape& shape) {
  if (!shape.tasks) return;
  CreateDirectoryA(taskFolder_.c_str(), nullptr);
  CreateDirectoryA(ownTasks_.c_str(), nullptr);
  // As Windows stores them: UTF-16LE with its mark.
  for (int t = 0; t < shape.tasks && ok_; ++t) {
    const std::wstring xml =
        L"\xFEFF<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
        L"<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">"
        L"<RegistrationInfo><Author>Vendor</Author></RegistrationInfo>"
        L"<Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>"
        L"<Settings><Enabled>true</Enabled><Hidden>false</Hidden></Settings>"
        L"<Actions Context=\"Author\"><Exec><Command>C:\\Program Files\\Vendor " +
        std::to_wstring(t % 97) + L"\\updater" + std::to_wstring(t) +
        L".exe</Command><Arguments>/logon</Arguments></Exec></Actions></Task>";
    const std::string name = ownTasks_ + "\\Updater " + std::to_string(t);
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    ok_ = file != INVALID_HANDLE_VALUE &&
          WriteFile(file, xml.data(), static_cast<DWORD>(xml.size() * 2), &written, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
}
