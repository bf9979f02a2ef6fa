// Times a refresh of a heavy start-up profile against the fewest registry and
// file-system calls that can produce the same rows, and checks the rows; then
// a typical profile and one four times the heavy one.
//
//   refresh_bench [runs]
#include <windows.h>
#include <psapi.h>
// In this order: each needs the one before it.
#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <tuple>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "app/lumivane_app.h"
#include "app/lumivane_dlg.h"
#include "bench/heavy_profile.h"
#include "resource.h"
#include "sources/app_task/app_task_scan.h"
#include "sources/entry_source.h"
#include "sources/logon/logon_scan.h"
#include "sources/registry/registry_scan.h"
#include "scan/file_types.h"
#include "sources/scheduled_task/scheduled_task_scan.h"
#include "sources/scheduled_task/task_xml.h"
#include "sources/startup_folder/startup_folder_scan.h"
#include "search/file_search.h"

namespace {

// Counts rows and keeps nothing: what the scans cost on their own.
class CountingSink : public RowSink {
 public:
  size_t rows = 0;
  void AddEntryRow(const char*, const char*, const char*, const char*, int, const EntryApproval&,
                   const EntryOwner& = EntryOwner()) override {
    ++rows;
  }
};

// Fingerprints the rows without keeping them, so that checking them does not
// weigh on the memory figure: one hash that depends on the order and one that
// does not (the bound lists in another order than the scans).
class FingerprintSink : public RowSink {
 public:
  size_t rows = 0;
  uint64_t ordered = 1469598103934665603ull;
  uint64_t unordered = 0;
  void AddEntryRow(const char* type, const char* name, const char* action, const char* location,
                   int image, const EntryApproval&, const EntryOwner& = EntryOwner()) override {
    uint64_t row = 1469598103934665603ull;
    for (const char* text : {type, name, action, location}) {
      for (const char* c = text; *c; ++c)
        row = (row ^ static_cast<unsigned char>(*c)) * 1099511628211ull;
      row = (row ^ 0xFF) * 1099511628211ull;  // column separator
    }
    row = (row ^ static_cast<uint64_t>(image)) * 1099511628211ull;
    ordered = (ordered ^ row) * 1099511628211ull;
    unordered += row * 0x9E3779B97F4A7C15ull;
    ++rows;
  }
};

// Keeps the rows, to fill the list from them again without scanning.
class KeepingSink : public RowSink {
 public:
  struct Kept {
    std::string type, name, action, location;
    int image;
    EntryApproval approval;
    EntryOwner owner;
  };
  std::vector<Kept> rows;
  void AddEntryRow(const char* type, const char* name, const char* action, const char* location,
                   int image, const EntryApproval& approval, const EntryOwner& owner) override {
    rows.push_back({type, name, action, location, image, approval, owner});
  }
};

// The details' bound: each program file's version resource and signature,
// read once with the bare calls.
void ReadVersionsAndSignatures(const std::vector<std::string>& files) {
  std::vector<char> block;
  for (const std::string& file : files) {
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(file.c_str(), &handle);
    if (size) {
      block.resize(size);
      char* value = nullptr;
      UINT length = 0;
      if (GetFileVersionInfoA(file.c_str(), 0, size, block.data()))
        VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\CompanyName",
                       reinterpret_cast<void**>(&value), &length);
    }
    wchar_t wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide, MAX_PATH);
    WINTRUST_FILE_INFO subject = {};
    subject.cbStruct = sizeof subject;
    subject.pcwszFilePath = wide;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &subject;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  }
}

// Takes the worker's rows until the list has every row's details.
void WaitForDetails(CLumivaneDlg& dialog) {
  MSG message;
  while (!dialog.DetailsComplete() &&
         GetMessageA(&message, dialog, WM_ENTRY_DETAILS, WM_ENTRY_DETAILS) > 0)
    DispatchMessageA(&message);
}

// The bound: each Run key's values enumerated once with their data, each
// start-up folder walked once, each distinct extension looked up once, each
// task file read and parsed once.
class BareApiBound {
 public:
  explicit BareApiBound(const HeavyProfile& profile) : profile_(profile) {}

  void Run(RowSink& sink) {
    RunRegistry(sink);
    RunFolders(sink);
    RunApps(sink);
    RunLogon(sink);
    RunTasks(sink);
  }

  // One walk of the packages: each one's folder, its manifest read once and
  // its task's State.
  void RunApps(RowSink& sink) {
    HKEY packages;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, HeavyProfile::AppPackagesKey().c_str(), 0, KEY_READ,
                      &packages))
      return;
    const std::string stateKeys = std::string("Software\\Classes\\") + AppStateKeysKey + "\\";
    std::vector<char> manifest(64 * 1024);
    for (DWORD index = 0;; ++index) {
      char name[256], folder[MAX_PATH];
      DWORD length = sizeof name, size = sizeof folder;
      if (RegEnumKeyExA(packages, index, name, &length, nullptr, nullptr, nullptr, nullptr)) break;
      if (RegGetValueA(packages, name, "PackageRootFolder", RRF_RT_REG_SZ, nullptr, folder,
                       &size))
        continue;
      HANDLE file = CreateFileA((std::string(folder) + "\\AppxManifest.xml").c_str(),
                                GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
      if (file == INVALID_HANDLE_VALUE) continue;
      DWORD read = 0;
      ReadFile(file, manifest.data(), static_cast<DWORD>(manifest.size() - 1), &read, nullptr);
      CloseHandle(file);
      const std::string text(manifest.data(), read);
      auto attribute = [&](const char* key, size_t from) {
        const size_t at = text.find(key, from) + strlen(key);
        return text.substr(at, text.find('"', at) - at);
      };
      const size_t extension = text.find("windows.startupTask");
      const std::string executable = attribute("Executable=\"", extension);
      const std::string taskId = attribute("TaskId=\"", extension);
      const std::string displayName = attribute("DisplayName=\"", text.find("StartupTask "));
      const std::string fullName = name;
      const std::string stateKey = stateKeys + fullName.substr(0, fullName.find('_')) +
                                   fullName.substr(fullName.rfind('_')) + "\\" + taskId;
      DWORD state = 0, stateSize = sizeof state;
      const bool switched = RegGetValueA(HKEY_CURRENT_USER, stateKey.c_str(), "State",
                                         RRF_RT_REG_DWORD, nullptr, &state, &stateSize) == 0;
      const bool enabled = !switched || state == 2 || state == 4;
      sink.AddEntryRow("App", displayName.c_str(), executable.c_str(),
                       ("HKEY_CURRENT_USER\\" + stateKey).c_str(),
                       enabled ? AppTaskImage : AppTaskImage + kEntryPictureCount, {});
    }
    RegCloseKey(packages);
  }

  // The machine's Winlogon key, each profile's three keys of values and its
  // Active Setup stamps: each key opened once, each value read once.
  void RunLogon(RowSink& sink) {
    static const char winlogon[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    static const char policy[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
    static const char windows[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
    static const char list[] = "Software\\Microsoft\\Active Setup\\Installed Components";
    char system[MAX_PATH] = "";
    GetSystemDirectoryA(system, MAX_PATH);
    const std::string userinit = std::string(system) + "\\userinit.exe";
    std::string text;
    HKEY key;
    auto add = [&](const char* name, const std::string& command, const std::string& location) {
      sink.AddEntryRow("Logon", name, command.c_str(), location.c_str(), 3, {});
    };
    if (!RegOpenKeyExA(HKEY_LOCAL_MACHINE, winlogon, 0, KEY_READ, &key)) {
      if (Text(key, "Shell", text) && !text.empty() && _stricmp(text.c_str(), "explorer.exe"))
        add("Shell", text, std::string("HKEY_LOCAL_MACHINE\\") + winlogon);
      if (Text(key, "Userinit", text) && !text.empty() &&
          _stricmp(text.c_str(), userinit.c_str()) &&
          _stricmp(text.c_str(), (userinit + ",").c_str()))
        add("Userinit", text, std::string("HKEY_LOCAL_MACHINE\\") + winlogon);
      RegCloseKey(key);
    }
    struct Component {
      std::string id, name, stub, version;
    };
    std::vector<Component> components;
    char id[256];
    if (!RegOpenKeyExA(HKEY_LOCAL_MACHINE, list, 0, KEY_READ, &key)) {
      for (DWORD index = 0;; ++index) {
        DWORD length = sizeof id;
        if (RegEnumKeyExA(key, index, id, &length, nullptr, nullptr, nullptr, nullptr)) break;
        HKEY component;
        if (RegOpenKeyExA(key, id, 0, KEY_READ, &component)) continue;
        Component found;
        found.id = id;
        DWORD installed = 1, size = sizeof installed;
        RegQueryValueExA(component, "IsInstalled", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(&installed), &size);
        if (installed && Text(component, "StubPath", found.stub) && !found.stub.empty()) {
          if (!Text(component, "", found.name) || found.name.empty()) found.name = id;
          Text(component, "Version", found.version);
          components.push_back(found);
        }
        RegCloseKey(component);
      }
      RegCloseKey(key);
    }
    for (const HeavyProfile::ProfileRoot& profile : profile_.ProfileRoots()) {
      const struct {
        const char* key;
        std::vector<const char*> values;
      } keys[] = {{winlogon, {"Shell"}}, {policy, {"Shell"}}, {windows, {"load", "run"}}};
      for (const auto& values : keys) {
        if (RegOpenKeyExA(profile.root, (profile.prefix + values.key).c_str(), 0, KEY_READ, &key))
          continue;
        for (const char* value : values.values)
          if (Text(key, value, text) && !text.empty() &&
              (value[0] != 'S' || _stricmp(text.c_str(), "explorer.exe")))
            add(value, text, profile.keyPath + values.key);
        RegCloseKey(key);
      }
      HKEY stamps = nullptr;
      RegOpenKeyExA(profile.root, (profile.prefix + list).c_str(), 0, KEY_READ, &stamps);
      for (const Component& component : components) {
        std::string stamped;
        HKEY stamp;
        if (stamps && !RegOpenKeyExA(stamps, component.id.c_str(), 0, KEY_READ, &stamp)) {
          Text(stamp, "Version", stamped);
          RegCloseKey(stamp);
        }
        if (stamped.empty() || CompareSetupVersions(stamped, component.version) < 0)
          add(component.name.c_str(), component.stub, profile.keyPath + list + "\\" + component.id);
      }
      if (stamps) RegCloseKey(stamps);
    }
  }

  void RunTasks(RowSink& sink) {
    std::string below;
    WalkTasks(profile_.TaskFolder(), below, sink);
  }

  void RunRegistry(RowSink& sink) {
    std::vector<char> name(16384), data(4096);
    for (const HeavyProfile::RunKey& runKey : profile_.RunKeys()) {
      HKEY key;
      if (RegOpenKeyExA(runKey.root, runKey.subKey.c_str(), 0, KEY_READ, &key)) continue;
      for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size()), type = 0;
        DWORD dataSize = static_cast<DWORD>(data.size() - 1);
        LONG rc = RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type,
                                reinterpret_cast<BYTE*>(data.data()), &dataSize);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc || (type != REG_SZ && type != REG_EXPAND_SZ)) continue;
        data[dataSize] = 0;
        sink.AddEntryRow("Registry", name.data(), data.data(), runKey.keyPath.c_str(), 0, {});
      }
      RegCloseKey(key);
    }
  }

  void RunFolders(RowSink& sink) {
    descriptions_.clear();
    for (const std::string& folder : profile_.StartupFolders()) {
      std::string path = folder + "\\";
      Walk(path, sink);
    }
  }

 private:
  static bool Text(HKEY key, const char* name, std::string& text) {
    char data[1024];
    DWORD size = sizeof data - 1, type = REG_NONE;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
      return false;
    data[size] = 0;
    text = data;
    return true;
  }

  void WalkTasks(const std::string& folder, std::string& below, RowSink& sink) {
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileExA((folder + "\\*").c_str(), FindExInfoBasic, &found,
                                   FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) return;
    const size_t length = below.size();
    do {
      if (!strcmp(found.cFileName, ".") || !strcmp(found.cFileName, "..")) continue;
      below += '\\';
      below += found.cFileName;
      const std::string path = folder + "\\" + found.cFileName;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        WalkTasks(path, below, sink);
      } else {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        DWORD got = 0;
        std::string bytes(found.nFileSizeLow, '\0');
        if (file != INVALID_HANDLE_VALUE &&
            ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr)) {
          std::wstring xml;
          TaskDefinition task;
          if (DecodeTaskFile(bytes, xml) && ParseTaskXml(xml, task) && StartsAtLogonOrBoot(task))
            sink.AddEntryRow("Task", found.cFileName, TaskCommandText(task).c_str(),
                             below.c_str(), task.enabled ? 4 : 9, {});
        }
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
      }
      below.resize(length);
    } while (FindNextFileA(find, &found));
    FindClose(find);
  }

  void Walk(std::string& path, RowSink& sink) {
    size_t length = path.size();
    path += '*';
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileExA(path.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                   nullptr, FIND_FIRST_EX_LARGE_FETCH);
    path.resize(length);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
      const char* fileName = found.cFileName;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (!strcmp(fileName, ".") || !strcmp(fileName, "..")) continue;
        path += fileName;
        path += '\\';
        Walk(path, sink);
        path.resize(length);
        continue;
      }
      path += fileName;
      const char* dot = strrchr(fileName, '.');
      sink.AddEntryRow("Start-Up", fileName, Describe(dot ? dot : "").c_str(), path.c_str(), 1, {});
      path.resize(length);
    } while (FindNextFileA(find, &found));
    FindClose(find);
  }

  const std::string& Describe(const std::string& extension) {
    auto at = descriptions_.find(extension);
    if (at != descriptions_.end()) return at->second;
    std::string description = "Unknown File Type";
    char type[256], text[256];
    DWORD size = sizeof type;
    if (!extension.empty() && RegGetValueA(HKEY_CLASSES_ROOT, extension.c_str(), nullptr,
                                           RRF_RT_REG_SZ, nullptr, type, &size) == ERROR_SUCCESS) {
      size = sizeof text;
      if (RegGetValueA(HKEY_CLASSES_ROOT, type, nullptr, RRF_RT_REG_SZ, nullptr, text, &size) ==
          ERROR_SUCCESS)
        description = text;
    }
    return descriptions_[extension] = description;
  }

  const HeavyProfile& profile_;
  std::unordered_map<std::string, std::string> descriptions_;
};

double MillisecondsOf(const std::function<void()>& work) {
  auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

void FingerprintList(CListCtrl& list, FingerprintSink& sink) {
  for (int i = 0; i < list.GetItemCount(); ++i) {
    LVITEMA item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = i;
    list.GetItem(&item);
    sink.AddEntryRow(list.GetItemText(i, 0).c_str(), list.GetItemText(i, 1).c_str(),
                     list.GetItemText(i, 2).c_str(), list.GetItemText(i, 3).c_str(), item.iImage,
                     {});
  }
}

// What the process's heaps hold in use: what the program itself allocated,
// apart from the system's own code and data that make up most of the
// working set under Wine.
double HeapInUseMiB() {
  HANDLE heaps[64];
  const DWORD count = std::min<DWORD>(GetProcessHeaps(64, heaps), 64);
  double total = 0;
  for (DWORD h = 0; h < count; ++h) {
    PROCESS_HEAP_ENTRY entry = {};
    HeapLock(heaps[h]);
    while (HeapWalk(heaps[h], &entry))
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData + entry.cbOverhead;
    HeapUnlock(heaps[h]);
  }
  return total / 1048576.0;
}

double WorkingSetMiB(bool peak) {
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  return (peak ? memory.PeakWorkingSetSize : memory.WorkingSetSize) / 1048576.0;
}

// Runs `work` inside the dialog's own modal loop, once it is up.
const std::function<void()>* pendingWork;
CLumivaneDlg* runningDialog;

void CALLBACK RunPendingWork(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  (*pendingWork)();
  runningDialog->EndDialog(IDOK);
}

void WithMainWindow(CLumivaneDlg& dialog, const std::function<void()>& work) {
  pendingWork = &work;
  runningDialog = &dialog;
  SetTimer(nullptr, 0, 1, RunPendingWork);
  dialog.DoModal();
}

std::unique_ptr<HeavyProfile> BuildProfile(const char* label, const ProfileShape& shape) {
  std::printf(
      "Building the %s profile: %d string values over %d hives + machine + user, "
      "%d files %d levels deep, %d file types, %d app packages, %d Active Setup components, "
      "%d task files...",
      label, shape.stringValues, shape.hives, shape.files, shape.depth, shape.fileTypes,
      shape.appPackages, shape.logonComponents, shape.tasks);
  std::fflush(stdout);
  std::unique_ptr<HeavyProfile> profile;
  double ms = MillisecondsOf([&] { profile = std::make_unique<HeavyProfile>(shape); });
  std::printf(" %.0f ms\n", ms);
  if (!profile->ok()) {
    std::printf("FAILED: cannot build the %s profile\n", label);
    profile.reset();
  }
  return profile;
}

// What one profile gave: the rows checked, and the medians of its timings.
struct ProfileRun {
  size_t expectedRows = 0;
  bool scanRowsOk = false;  // the scans give the bound's rows
  bool listRowsOk = false;  // the main window's list shows the scans' rows in their order
  double bound = 0, boundRegistry = 0, boundFolders = 0, boundApps = 0, boundLogon = 0,
         boundTasks = 0;
  double scan = 0, registryScan = 0, folderScan = 0, appScan = 0, logonScan = 0, taskScan = 0,
         walks = 0, lookups = 0, roundTrip = 0;
  size_t logonRows = 0;
  double refresh = 0, list = 0;
  // The parts of the refresh of median length, timed inside it: they add up.
  CLumivaneDlg::FillTimes refreshParts;
  double details = 0, detailsBound = 0;  // after the list shows, until the last row's
  size_t imageFiles = 0;
  double peakAfterRefreshMiB = 0, peakWithDetailsMiB = 0;
  double heapAfterRefreshMiB = 0;  // the heap held after the last timed refresh
  double peakAfterScansMiB = 0;    // before the main window opens
  double listHeapMiB = 0;  // the heap the list and its details hold once all are read
};

// Checks the rows, then times the bound, the scans and the refresh of the
// main window's list on `profile`, `runs` times each; and with `withDetails`,
// the details and their bare loop.
ProfileRun Measure(const HeavyProfile& profile, const ProfileShape& shape, int runs,
                   bool withDetails) {
  ProfileRun result;
  result.logonRows = profile.LogonRows();
  result.expectedRows =
      static_cast<size_t>(shape.stringValues + shape.files + shape.appPackages + shape.tasks) +
      result.logonRows;
  FingerprintSink bound, scanned;
  BareApiBound boundRunner(profile);
  boundRunner.Run(bound);
  ScanEntrySources(scanned);
  result.scanRowsOk = scanned.rows == result.expectedRows && bound.rows == result.expectedRows &&
                      bound.unordered == scanned.unordered;

  std::vector<double> boundAppTimes, appTimes, boundTasksTimes, taskTimes;
  std::vector<double> boundTimes, boundRegistryTimes, boundFolderTimes, boundLogonTimes, scanTimes,
      registryTimes, folderTimes, logonTimes, walkTimes, lookupTimes, roundTripTimes, refreshTimes,
      listTimes, detailsTimes, detailsBoundTimes;
  std::vector<CLumivaneDlg::FillTimes> refreshParts;
  for (int r = 0; r < runs; ++r) {
    CountingSink sink;
    boundTimes.push_back(MillisecondsOf([&] { boundRunner.Run(sink); }));
    boundRegistryTimes.push_back(MillisecondsOf([&] { boundRunner.RunRegistry(sink); }));
    boundFolderTimes.push_back(MillisecondsOf([&] { boundRunner.RunFolders(sink); }));
    boundAppTimes.push_back(MillisecondsOf([&] { boundRunner.RunApps(sink); }));
    registryTimes.push_back(MillisecondsOf([&] { ScanRegistry(sink); }));
    folderTimes.push_back(MillisecondsOf([&] { ScanStartupFolders(sink); }));
    appTimes.push_back(MillisecondsOf([&] { ScanAppTasks(sink); }));
    boundLogonTimes.push_back(MillisecondsOf([&] { boundRunner.RunLogon(sink); }));
    logonTimes.push_back(MillisecondsOf([&] { ScanLogon(sink); }));
    boundTasksTimes.push_back(MillisecondsOf([&] { boundRunner.RunTasks(sink); }));
    taskTimes.push_back(MillisecondsOf([&] { ScanScheduledTasks(sink); }));
    walkTimes.push_back(MillisecondsOf([&] {
      for (const std::string& folder : profile.StartupFolders()) {
        CFileSearch search([](const char*) {}, folder.c_str(), "-all", "-all");
        search.Search(FilesInTree);
      }
    }));
    roundTripTimes.push_back(MillisecondsOf([&] {
                               for (int i = 0; i < 1000; ++i) {
                                 HKEY key;
                                 if (RegOpenKeyExA(HKEY_CLASSES_ROOT, ".xt1f", 0, KEY_READ, &key) ==
                                     ERROR_SUCCESS)
                                   RegCloseKey(key);
                               }
                             }) /
                             2000);
    lookupTimes.push_back(MillisecondsOf([&] {
      FileTypeDescriptions descriptions;
      char name[64];
      for (int f = 0; f < shape.files; ++f) {
        std::snprintf(name, sizeof name, "Start item %d.xt%02x", f, f % shape.fileTypes);
        descriptions.Of(name);
      }
    }));
    scanTimes.push_back(MillisecondsOf([&] { ScanEntrySources(sink); }));
  }

  result.peakAfterScansMiB = WorkingSetMiB(true);
  const double heapBefore = HeapInUseMiB();
  CLumivaneDlg dialog;
  CWinApp* app = AfxGetApp();
  app->m_pMainWnd = &dialog;
  WithMainWindow(dialog, [&] {
    // With the details on: each refresh finds the last one's worker reading
    // (for a moment, as when F5 comes while the details still arrive), and
    // cancels it.
    for (int r = 0; r < runs; ++r) {
      for (const DWORD start = GetTickCount(); GetTickCount() - start < 100;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        Sleep(5);
      }
      refreshTimes.push_back(MillisecondsOf([&] { dialog.OnRefresh(); }));
      refreshParts.push_back(dialog.LastFillTimes());
    }
    result.peakAfterRefreshMiB = WorkingSetMiB(true);
    result.heapAfterRefreshMiB = HeapInUseMiB() - heapBefore;
    FingerprintSink shown;
    FingerprintList(dialog.EntryList(), shown);
    result.listRowsOk = shown.rows == result.expectedRows && shown.ordered == scanned.ordered;
    // The details, from the moment the list shows.
    for (int r = 0; r < runs && withDetails && !getenv("XNODETAILS"); ++r) {
      dialog.OnRefresh();
      detailsTimes.push_back(MillisecondsOf([&] { WaitForDetails(dialog); }));
    }
    result.peakWithDetailsMiB = WorkingSetMiB(true);
    if (withDetails) result.listHeapMiB = HeapInUseMiB() - heapBefore;
    // The list's own part of a refresh: the same rows, already read. Kept
    // only now, so that they weigh on neither peak above.
    {
      KeepingSink kept;
      ScanEntrySources(kept);
      for (int r = 0; r < runs; ++r)
        listTimes.push_back(MillisecondsOf([&] {
          CEntryList::Refill refill(dialog.EntryList());
          EntryListSink sink(dialog.EntryList());
          for (const KeepingSink::Kept& row : kept.rows)
            sink.AddEntryRow(row.type.c_str(), row.name.c_str(), row.action.c_str(),
                             row.location.c_str(), row.image, row.approval, row.owner);
        }));
    }
    if (!withDetails || getenv("XNODETAILS")) return;
    // The same program files read by the bare calls.
    dialog.OnRefresh();
    WaitForDetails(dialog);
    std::vector<std::string> files;
    for (int row = 0; row < dialog.EntryList().RowCount(); ++row) {
      const std::optional<EntryDetails> details = dialog.EntryList().Row(row)->Details();
      if (details && !details->imagePath.empty() && !details->imageMissing)
        files.push_back(details->imagePath);
    }
    std::sort(files.begin(), files.end());
    files.erase(std::unique(files.begin(), files.end()), files.end());
    result.imageFiles = files.size();
    for (int r = 0; r < runs; ++r)
      detailsBoundTimes.push_back(MillisecondsOf([&] { ReadVersionsAndSignatures(files); }));
  });
  app->m_pMainWnd = nullptr;

  result.bound = Median(boundTimes);
  result.boundRegistry = Median(boundRegistryTimes);
  result.boundFolders = Median(boundFolderTimes);
  result.boundApps = Median(boundAppTimes);
  result.appScan = Median(appTimes);
  result.boundLogon = Median(boundLogonTimes);
  result.boundTasks = Median(boundTasksTimes);
  result.taskScan = Median(taskTimes);
  result.scan = Median(scanTimes);
  result.registryScan = Median(registryTimes);
  result.folderScan = Median(folderTimes);
  result.logonScan = Median(logonTimes);
  result.walks = Median(walkTimes);
  result.lookups = Median(lookupTimes);
  result.roundTrip = Median(roundTripTimes);
  result.refresh = Median(refreshTimes);
  for (size_t r = 0; r < refreshTimes.size(); ++r)
    if (refreshTimes[r] == result.refresh) result.refreshParts = refreshParts[r];
  result.list = Median(listTimes);
  if (withDetails) {
    result.details = Median(detailsTimes);
    result.detailsBound = Median(detailsBoundTimes);
  }
  return result;
}

// Refills of the main window's list: each starts by turning its drawing off.
WNDPROC listProc;
int refills;

LRESULT CALLBACK CountRefills(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETREDRAW && !wParam) ++refills;
  return CallWindowProcA(listProc, window, message, wParam, lParam);
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

// Writes `writes` values, evenly over one second, into a Run-type key of the
// current user while the main window watches, then waits for the list to
// settle; returns the refreshes the watch made.
int RefreshesForABurst(int writes) {
  const char key[] = "Software\\Microsoft\\Windows\\Current Version\\RunServicesOnce";
  HKEY burst = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &burst,
                      nullptr) != ERROR_SUCCESS)
    return -1;
  CLumivaneDlg dialog;
  AfxGetApp()->m_pMainWnd = &dialog;
  WithMainWindow(dialog, [&] {
    // Measured with the watch on, whatever this prefix's user chose.
    const bool off = !(GetMenuState(GetMenu(dialog), ID_TASK_WATCH, MF_BYCOMMAND) & MF_CHECKED);
    if (off) dialog.SendMessage(WM_COMMAND, ID_TASK_WATCH);
    HWND list = dialog.EntryList();
    listProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountRefills)));
    refills = 0;
    const DWORD start = GetTickCount();
    char name[32];
    for (int i = 0; i < writes; ++i) {
      while (GetTickCount() - start < static_cast<DWORD>(i * 1000 / writes)) PumpMessages();
      std::snprintf(name, sizeof name, "Burst %d", i);
      RegSetValueExA(burst, name, 0, REG_SZ, reinterpret_cast<const BYTE*>("x.exe"), 6);
    }
    const DWORD end = GetTickCount();
    while (GetTickCount() - end < 2000) PumpMessages();
    SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(listProc));
    if (off) dialog.SendMessage(WM_COMMAND, ID_TASK_WATCH);
  });
  AfxGetApp()->m_pMainWnd = nullptr;
  RegCloseKey(burst);
  RegDeleteKeyA(HKEY_CURRENT_USER, key);
  return refills;
}

bool allMet = true;

// One figure on one line, with its target and whether it is met.
void Figure(const char* what, double value, const char* unit, const char* comparison,
            double target) {
  bool met = comparison[0] == '<' && comparison[1] == '=' ? value <= target : value < target;
  allMet = allMet && met;
  std::printf("  %-54s %8.2f %-4s target %s %g %-4s %s\n", what, value, unit, comparison, target,
              unit, met ? "met" : "MISSED");
}

void Phase(const char* what, double ms) {
  std::printf("      %-50s %9.1f ms\n", what, ms);
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
  CLumivaneApp app;  // the application object the dialog loop consults

  const ProfileShape heavyShape;
  ProfileShape typicalShape;
  typicalShape.hives = 1;
  typicalShape.stringValues = 30;
  typicalShape.files = 15;
  typicalShape.depth = 2;
  typicalShape.fileTypes = 5;
  typicalShape.appPackages = 3;
  typicalShape.logonComponents = 4;
  ProfileShape largeShape;
  largeShape.stringValues = heavyShape.stringValues * 4;
  largeShape.files = heavyShape.files * 4;
  largeShape.appPackages = heavyShape.appPackages * 4;
  typicalShape.tasks = 3;
  largeShape.tasks = heavyShape.tasks * 4;

  // The typical profile first: the wineserver writes a changed registry out
  // now and then, and after the heavy profile's thousands of changes such a
  // write would weigh on a refresh of a few milliseconds. Then the heavy
  // profile, so that its peak is not the larger profile's.
  double baseMiB = WorkingSetMiB(false), beforeHeavyMiB = 0;
  ProfileRun heavy, typical, large;
  {
    auto profile = BuildProfile("typical", typicalShape);
    if (!profile) return 1;
    typical = Measure(*profile, typicalShape, runs, true);
  }
  {
    auto profile = BuildProfile("heavy", heavyShape);
    if (!profile) return 1;
    beforeHeavyMiB = WorkingSetMiB(false);
    std::printf("  %.1f MiB working set before the heavy profile's first scan\n", beforeHeavyMiB);
    heavy = Measure(*profile, heavyShape, runs, true);
  }
  {
    auto profile = BuildProfile("4x heavy", largeShape);
    if (!profile) return 1;
    large = Measure(*profile, largeShape, runs, false);
  }

  const double rows = static_cast<double>(heavy.expectedRows);
  std::printf(
      "\nHeavy profile: %zu rows (%d registry, %d start-up files, %d app tasks, %zu logon values, "
      "%d tasks); median of %d runs\n",
      heavy.expectedRows, heavyShape.stringValues, heavyShape.files, heavyShape.appPackages,
      heavy.logonRows, heavyShape.tasks, runs);
  std::printf("  %-52s %9.1f ms %8.2f us/row\n", "bare API bound", heavy.bound,
              heavy.bound * 1000 / rows);
  Phase("of which the Run keys", heavy.boundRegistry);
  Phase("and the start-up folders", heavy.boundFolders);
  Phase("and the packaged apps (one manifest read each)", heavy.boundApps);
  Phase("and the logon values", heavy.boundLogon);
  Phase("and the task files", heavy.boundTasks);
  std::printf("  %-52s %9.1f ms %8.2f us/row\n", "scan into a sink that keeps nothing", heavy.scan,
              heavy.scan * 1000 / rows);
  Phase("of which the registry scan", heavy.registryScan);
  Phase("and the start-up folder scan", heavy.folderScan);
  Phase("and the app task scan (manifests read when changed)", heavy.appScan);
  Phase("and the logon scan", heavy.logonScan);
  Phase("and the task scan (read again when the task folder changed)", heavy.taskScan);
  Phase("  the walks alone", heavy.walks);
  Phase("  the file type lookups alone (one scan's worth)", heavy.lookups);
  std::printf("      %-50s %9.1f us\n", "one registry call (open, close)", heavy.roundTrip * 1000);
  std::printf("  %-52s %9.1f ms %8.2f us/row\n", "refresh of the main window's list", heavy.refresh,
              heavy.refresh * 1000 / rows);
  // The parts of one refresh (the median one), timed inside it.
  Phase("of which the watch made or kept", heavy.refreshParts.watch);
  Phase("and the scans into the list", heavy.refreshParts.rows);
  Phase("  (the list alone, filled from rows already read)", heavy.list);
  Phase("and the rest (the details worker cancelled and started)",
        heavy.refreshParts.total - heavy.refreshParts.watch - heavy.refreshParts.rows);
  std::printf("  %-52s %9.1f ms %8.2f us/row\n", "details, from the list showing to the last row",
              heavy.details, heavy.details * 1000 / rows);
  Phase("bare loop: version resource and signature", heavy.detailsBound);
  std::printf("      %-50s %9zu\n", "  of the distinct program files", heavy.imageFiles);
  std::printf(
      "  working set %.1f MiB at start, %.1f MiB peak after the heavy scans alone, "
      "%.1f MiB after the heavy refreshes, %.1f MiB with details\n",
      baseMiB, heavy.peakAfterScansMiB, heavy.peakAfterRefreshMiB, heavy.peakWithDetailsMiB);
  std::printf("  growth over the %.1f MiB before the heavy profile's first scan: %.1f MiB\n",
              beforeHeavyMiB, heavy.peakWithDetailsMiB - beforeHeavyMiB);
  std::printf("  heap held after the last timed refresh: %.1f MiB\n", heavy.heapAfterRefreshMiB);
  std::printf(
      "  of which the heap the list holds with every row's details: %.1f MiB "
      "(%.0f bytes a row)\n",
      heavy.listHeapMiB, heavy.listHeapMiB * 1048576 / rows);
  std::printf(
      "\nTypical profile: %zu rows; refresh %.2f ms (watch %.2f ms, scans into the list %.2f ms), "
      "bound %.2f ms, scan %.2f ms, details %.1f ms (bare loop %.1f ms over %zu files)\n",
      typical.expectedRows, typical.refresh, typical.refreshParts.watch, typical.refreshParts.rows,
      typical.bound, typical.scan, typical.details, typical.detailsBound, typical.imageFiles);
  std::printf("4x heavy profile: %zu rows; refresh %.1f ms, bound %.1f ms, scan %.1f ms\n",
              large.expectedRows, large.refresh, large.bound, large.scan);

  std::printf("\nFigures (win%d):\n", static_cast<int>(sizeof(void*) * 8));
  Figure("heavy profile refresh / bound, details on", heavy.refresh / heavy.bound, "", "<=", 1.3);
  Figure("heavy profile scan into a sink that keeps nothing / bound", heavy.scan / heavy.bound, "",
         "<=", 1.5);
  Figure("heavy profile refresh", heavy.refresh, "ms", "<", 1000);
  Figure("typical profile refresh", typical.refresh, "ms", "<", 20);
  Figure("4x heavy profile refresh / heavy profile refresh", large.refresh / heavy.refresh, "",
         "<=", 4.5);
  Figure("refreshes for 1,000 value writes in one second, watched", RefreshesForABurst(1000), "",
         "<=", 2);
  Figure("typical profile details after its list shows", typical.details, "ms", "<=", 300);
  Figure("heavy profile details / bare loop of the same calls", heavy.details / heavy.detailsBound,
         "", "<=", 1.3);
  // Wine's own base is some 25 MiB: the program's share is the growth.
  Figure("peak working set's growth over that before the heavy scans",
         heavy.peakWithDetailsMiB - beforeHeavyMiB, "MiB", "<=", 10);
  Figure("heap the heavy list holds with its details, bytes a row",
         heavy.listHeapMiB * 1048576 / rows, "", "<=", 360);
  bool rowsOk = true;
  for (const auto& [label, run] : {std::pair<const char*, const ProfileRun*>{"heavy", &heavy},
                                   {"typical", &typical},
                                   {"4x heavy", &large}}) {
    std::printf("  rows checked against the bound, %-8s %6zu rows: scan %s, main window list %s\n",
                label, run->expectedRows, run->scanRowsOk ? "yes" : "NO",
                run->listRowsOk ? "yes" : "NO");
    rowsOk = rowsOk && run->scanRowsOk && run->listRowsOk;
  }
  std::printf("  %s\n", allMet ? "every target met" : "some targets missed");
  return rowsOk ? 0 : 1;
}
