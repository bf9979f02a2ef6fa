// Times a refresh of a heavy start-up profile against the fewest registry and
// file-system calls that can produce the same rows, and checks the rows.
//
//   refresh_bench [runs]
#include <windows.h>
#include <psapi.h>

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
#include <vector>

#include "app/lumivane_app.h"
#include "app/lumivane_dlg.h"
#include "bench/heavy_profile.h"
#include "scan/registry_scan.h"
#include "scan/file_types.h"
#include "scan/startup_folder_scan.h"
#include "search/file_search.h"

namespace {

// Counts rows and keeps nothing: what the scans cost on their own.
class CountingSink : public RowSink {
 public:
  size_t rows = 0;
  void AddEntryRow(const char*, const char*, const char*, const char*, int,
                   const EntryApproval&) override {
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
                   int image, const EntryApproval&) override {
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

// The bound: each Run key's values enumerated once with their data, each
// start-up folder walked once, each distinct extension looked up once.
class BareApiBound {
 public:
  explicit BareApiBound(const HeavyProfile& profile) : profile_(profile) {}

  void Run(RowSink& sink) {
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
    descriptions_.clear();
    for (const std::string& folder : profile_.StartupFolders()) {
      std::string path = folder + "\\";
      Walk(path, sink);
    }
  }

 private:
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
  return values[values.size() / 2];
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

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
  ProfileShape shape;
  std::printf(
      "Building the profile: %d string values over %d hives + machine + user, "
      "%d files %d levels deep, %d file types...\n",
      shape.stringValues, shape.hives, shape.files, shape.depth, shape.fileTypes);
  double setup = 0;
  std::unique_ptr<HeavyProfile> profile;
  setup = MillisecondsOf([&] { profile = std::make_unique<HeavyProfile>(shape); });
  if (!profile->ok()) {
    std::printf("FAILED: cannot build the profile\n");
    return 1;
  }
  std::printf("  built in %.0f ms\n", setup);

  double baseMiB = WorkingSetMiB(false);

  // The rows must be the expected ones before any figure means anything.
  FingerprintSink bound, scanned;
  BareApiBound(*profile).Run(bound);
  ScanRegistry(scanned);
  ScanStartupFolders(scanned);
  const size_t expectedRows = static_cast<size_t>(shape.stringValues + shape.files);
  bool rowsOk = scanned.rows == expectedRows && bound.rows == expectedRows &&
                bound.unordered == scanned.unordered;

  std::vector<double> boundTimes, scanTimes, refreshTimes, registryTimes, folderTimes;
  std::vector<double> walkTimes, lookupTimes, roundTripTimes;
  BareApiBound boundRunner(*profile);
  for (int r = 0; r < runs; ++r) {
    CountingSink sink;
    boundTimes.push_back(MillisecondsOf([&] { boundRunner.Run(sink); }));
    registryTimes.push_back(MillisecondsOf([&] { ScanRegistry(sink); }));
    folderTimes.push_back(MillisecondsOf([&] { ScanStartupFolders(sink); }));
    walkTimes.push_back(MillisecondsOf([&] {
      for (const std::string& folder : profile->StartupFolders()) {
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
      for (int f = 0; f < shape.files; ++f) GetFileTypeDescription("C:\\x\\Start item.xt1f");
    }));
    scanTimes.push_back(MillisecondsOf([&] {
      ScanRegistry(sink);
      ScanStartupFolders(sink);
    }));
  }

  CLumivaneApp app;
  CLumivaneDlg dialog;
  app.m_pMainWnd = &dialog;
  bool listOk = false;
  double peakBeforeWindow = WorkingSetMiB(true), withList = 0;
  WithMainWindow(dialog, [&] {
    withList = WorkingSetMiB(false);
    for (int r = 0; r < runs; ++r)
      refreshTimes.push_back(MillisecondsOf([&] { dialog.OnRefresh(); }));
    FingerprintSink shown;
    FingerprintList(dialog.EntryList(), shown);
    listOk = shown.rows == expectedRows && shown.ordered == scanned.ordered;
  });
  app.m_pMainWnd = nullptr;

  double boundMs = Median(boundTimes), scanMs = Median(scanTimes), refreshMs = Median(refreshTimes);
  double rows = static_cast<double>(expectedRows);
  std::printf("\nrows: %zu (%d registry, %d start-up files); median of %d runs\n", expectedRows,
              shape.stringValues, shape.files, runs);
  std::printf("  %-34s %9.1f ms %8.2f us/row\n", "bare API bound", boundMs, boundMs * 1000 / rows);
  std::printf("  %-34s %9.1f ms %8.2f us/row\n", "scan into a sink that keeps nothing", scanMs,
              scanMs * 1000 / rows);
  std::printf("    %-32s %9.1f ms\n", "of which the registry scan", Median(registryTimes));
  std::printf("    %-32s %9.1f ms\n", "and the start-up folder scan", Median(folderTimes));
  std::printf("      %-30s %9.1f ms\n", "the walks alone", Median(walkTimes));
  std::printf("      %-30s %9.1f ms\n", "the file type lookups alone", Median(lookupTimes));
  std::printf("      %-30s %9.1f us\n", "one registry call (open, close)",
              Median(roundTripTimes) * 1000);
  std::printf("  %-34s %9.1f ms %8.2f us/row\n", "refresh of the main window's list", refreshMs,
              refreshMs * 1000 / rows);
  std::printf("  scan / bound     %5.2f   (target at most 2.5)\n", scanMs / boundMs);
  std::printf("  refresh / bound  %5.2f   (target at most 3)\n", refreshMs / boundMs);
  std::printf("  refresh          %5.0f ms (target under 2000 ms)\n", refreshMs);
  std::printf(
      "  peak memory      %5.1f MiB (working set; %.1f MiB before the first scan; "
      "target under 64 MiB)\n",
      WorkingSetMiB(true), baseMiB);
  std::printf(
      "                   (%.1f MiB peak before the window opened, %.1f MiB with the "
      "filled list)\n",
      peakBeforeWindow, withList);
  std::printf("  rows as expected: scan %s, main window list %s\n", rowsOk ? "yes" : "NO",
              listOk ? "yes" : "NO");
  return rowsOk && listOk ? 0 : 1;
}
