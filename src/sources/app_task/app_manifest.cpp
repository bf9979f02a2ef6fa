#include "sources/app_task/app_manifest.h"

#include <windows.h>

#include <shlwapi.h>

#include <cwctype>
#include <map>
#include <mutex>

#include "details/image_resolution.h"
#include "scan/xml_reader.h"
#include "util/text_encoding.h"

namespace {

// Deeper than any real manifest, shallow enough for XmlLite to stop a
// nesting bomb early.
constexpr UINT kDepthMax = 64;
constexpr size_t kTasksMax = 256;
constexpr size_t kTextMax = 4096;  // characters of one attribute kept

template <typename T>
struct Released {
  T* p = nullptr;
  ~Released() {
    if (p) p->Release();
  }
};

// The element's attributes by local name, whatever their namespace.
struct Attributes {
  std::map<std::wstring, std::wstring> byName;
  const std::wstring* Find(const wchar_t* name) const {
    const auto found = byName.find(name);
    return found == byName.end() ? nullptr : &found->second;
  }
  std::wstring Text(const wchar_t* name) const {
    const std::wstring* found = Find(name);
    return found ? *found : std::wstring();
  }
};

bool ReadAttributes(IXmlReader* reader, Attributes& attributes) {
  for (HRESULT moved = reader->MoveToFirstAttribute(); moved == S_OK;
       moved = reader->MoveToNextAttribute()) {
    const wchar_t* name = nullptr;
    const wchar_t* value = nullptr;
    UINT length = 0;
    if (FAILED(reader->GetLocalName(&name, nullptr)) ||
        FAILED(reader->GetValue(&value, &length)))
      return false;
    if (length > kTextMax) continue;  // nothing a task needs is this long
    attributes.byName[name] = std::wstring(value, length);
  }
  return SUCCEEDED(reader->MoveToElement());
}

bool IsTrue(const std::wstring& text) {
  return text == L"true" || text == L"1";
}

bool EqualsIgnoringCase(const std::wstring& a, const wchar_t* b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b, -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

bool ParseManifestStartupTasks(const std::string& bytes, ManifestStartupTasks& tasks) {
  tasks.clear();
  if (bytes.size() > ManifestSizeMax) return false;
  Released<IStream> stream;
  stream.p = SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()),
                               static_cast<UINT>(bytes.size()));
  Released<IXmlReader> reader;
  reader.p = CreateUntrustedXmlReader(stream.p, kDepthMax);
  if (!reader.p) return false;

  // Where the reader is: the open elements, and the application and the
  // start-up extension it is inside, by their depth (0: none). Each end tag
  // must close the element open last.
  std::vector<std::wstring> open;
  size_t applicationDepth = 0, extensionDepth = 0, nodes = 0;
  Attributes application, extension;
  XmlNodeType node;
  HRESULT read;
  while ((read = reader.p->Read(&node)) == S_OK) {
    const wchar_t* name = nullptr;
    if (++nodes > bytes.size() || FAILED(reader.p->GetLocalName(&name, nullptr)))
      return tasks.clear(), false;
    if (node == XmlNodeType_EndElement) {
      if (open.empty() || open.back() != name) return tasks.clear(), false;
      if (open.size() == extensionDepth) extensionDepth = 0;
      if (open.size() == applicationDepth) applicationDepth = 0;
      open.pop_back();
      continue;
    }
    if (node != XmlNodeType_Element) continue;
    const bool empty = reader.p->IsEmptyElement();
    Attributes attributes;
    const std::wstring local = name;
    if (!ReadAttributes(reader.p, attributes)) return tasks.clear(), false;
    const size_t here = open.size() + 1;
    if (local == L"Application") {
      if (!empty) applicationDepth = here;
      application = std::move(attributes);
    } else if (local == L"Extension" && attributes.Find(L"Category") &&
               EqualsIgnoringCase(*attributes.Find(L"Category"), L"windows.startupTask")) {
      if (!empty) extensionDepth = here;
      extension = std::move(attributes);
    } else if (local == L"StartupTask" && extensionDepth && here == extensionDepth + 1 &&
               !attributes.Text(L"TaskId").empty() && tasks.size() < kTasksMax) {
      ManifestStartupTask task;
      task.taskId = attributes.Text(L"TaskId");
      task.displayName = attributes.Text(L"DisplayName");
      task.enabled = IsTrue(attributes.Text(L"Enabled"));
      // A task that names no program starts its application's.
      const Attributes& program =
          extension.Find(L"Executable") || !applicationDepth ? extension : application;
      task.executable = program.Text(L"Executable");
      task.parameters = program.Text(L"Parameters");
      const std::wstring* entryPoint = extension.Find(L"EntryPoint");
      if (!entryPoint && applicationDepth) entryPoint = application.Find(L"EntryPoint");
      // A desktop program says so by its entry point, or (newer manifests)
      // by its trust level.
      task.fullTrust = (entryPoint && *entryPoint == L"Windows.FullTrustApplication") ||
                       extension.Text(L"TrustLevel") == L"mediumIL" ||
                       (applicationDepth && application.Text(L"TrustLevel") == L"mediumIL");
      tasks.push_back(std::move(task));
    }
    if (!empty) open.push_back(local);
  }
  // Malformed, or cut short: an element left open.
  if (read != S_FALSE || !open.empty()) return tasks.clear(), false;
  return true;
}

namespace {

struct CachedManifest {
  uint64_t size = 0;
  FILETIME written = {};
  bool used = false;
  std::shared_ptr<const ManifestStartupTasks> tasks;
};

std::mutex cacheLock;
std::map<std::wstring, CachedManifest> cache;  // by upper-case path

// "X:\..." on a drive the system calls fixed: no share, no device, no
// removable medium that may not answer. Each letter's type is asked again
// after a second: the question is slow (Wine asks its mount manager), and
// every package of a refresh asks it.
bool IsOnFixedDrive(const std::wstring& path) {
  if (path.size() < 4 || !iswalpha(path[0]) || path[1] != L':' || path[2] != L'\\') return false;
  static std::mutex lock;
  static UINT types[26];
  static DWORD askedAt[26];
  const int letter = towupper(path[0]) - L'A';
  if (letter < 0 || letter >= 26) return false;
  const DWORD now = GetTickCount();
  std::lock_guard<std::mutex> hold(lock);
  if (!askedAt[letter] || now - askedAt[letter] > 1000) {
    const wchar_t root[] = {path[0], L':', L'\\', L'\0'};
    types[letter] = GetDriveTypeW(root);
    askedAt[letter] = now | 1;  // never 0 once asked
  }
  return types[letter] == DRIVE_FIXED;
}

constexpr DWORD kNotOnDisk = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_OFFLINE |
                             0x00040000 /* RECALL_ON_OPEN */ |
                             0x00400000 /* RECALL_ON_DATA_ACCESS */;

bool ReadManifestBytes(const std::wstring& path, uint64_t size, std::string& bytes) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_NO_RECALL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool read = GetFileType(file) == FILE_TYPE_DISK;
  if (read) {
    // One byte more than expected tells a file that grew since.
    bytes.resize(static_cast<size_t>(size) + 1);
    DWORD got = 0;
    read = ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr) &&
           got == size;
    bytes.resize(got);
  }
  CloseHandle(file);
  return read;
}

}  // namespace

std::shared_ptr<const ManifestStartupTasks> ReadManifestStartupTasks(
    const std::wstring& packageFolder) {
  static const auto none = std::make_shared<const ManifestStartupTasks>();
  if (packageFolder.empty() || packageFolder.size() > 32000 || !IsOnFixedDrive(packageFolder))
    return none;
  std::wstring path = packageFolder;
  if (path.back() != L'\\') path += L'\\';
  path += L"AppxManifest.xml";
  std::string narrow;
  if (!NarrowFromWide(path, narrow) || IsDeviceName(narrow)) return none;
  WIN32_FILE_ATTRIBUTE_DATA info;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info) ||
      (info.dwFileAttributes & kNotOnDisk))
    return none;
  const uint64_t size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  if (size > ManifestSizeMax) return none;

  std::wstring key = path;
  CharUpperBuffW(&key[0], static_cast<DWORD>(key.size()));
  {
    std::lock_guard<std::mutex> hold(cacheLock);
    const auto found = cache.find(key);
    if (found != cache.end() && found->second.size == size &&
        CompareFileTime(&found->second.written, &info.ftLastWriteTime) == 0) {
      found->second.used = true;
      return found->second.tasks;
    }
  }
  auto tasks = std::make_shared<ManifestStartupTasks>();
  std::string bytes;
  // A manifest being written is read again at the next refresh.
  if (!ReadManifestBytes(path, size, bytes)) return none;
  ParseManifestStartupTasks(bytes, *tasks);
  std::lock_guard<std::mutex> hold(cacheLock);
  CachedManifest& entry = cache[key];
  entry.size = size;
  entry.written = info.ftLastWriteTime;
  entry.used = true;
  entry.tasks = std::move(tasks);
  return entry.tasks;
}

void ForgetUnusedManifests() {
  std::lock_guard<std::mutex> hold(cacheLock);
  for (auto entry = cache.begin(); entry != cache.end();) {
    if (entry->second.used) {
      entry->second.used = false;
      ++entry;
    } else {
      entry = cache.erase(entry);
    }
  }
}
