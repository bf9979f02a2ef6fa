#include "support/file_faults.h"

namespace {

FileFaults* active = nullptr;

ImportPatch* createPatch = nullptr;
ImportPatch* readPatch = nullptr;
ImportPatch* writePatch = nullptr;
ImportPatch* flushPatch = nullptr;
ImportPatch* closePatch = nullptr;
ImportPatch* movePatch = nullptr;
ImportPatch* replacePatch = nullptr;
ImportPatch* informationPatch = nullptr;

template <typename Function>
Function Original(const ImportPatch* patch) {
  return reinterpret_cast<Function>(patch->original());
}

// Fails the call when `fault` names an error.
template <typename Fault, typename... Args>
bool Fails(const Fault& fault, const Args&... args) {
  if (!fault) return false;
  const DWORD error = fault(args...);
  if (error == 0) return false;
  SetLastError(error);
  return true;
}

HANDLE WINAPI Create(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                     DWORD disposition, DWORD flags, HANDLE templateFile) {
  if (Fails(active->failCreate, std::string(path ? path : ""), disposition))
    return INVALID_HANDLE_VALUE;
  return Original<decltype(&CreateFileA)>(createPatch)(path, access, share, security, disposition,
                                                       flags, templateFile);
}

BOOL WINAPI Read(HANDLE file, LPVOID buffer, DWORD size, LPDWORD got, LPOVERLAPPED overlapped) {
  ++active->reads;
  if (Fails(active->failRead)) return FALSE;
  return Original<decltype(&ReadFile)>(readPatch)(file, buffer, size, got, overlapped);
}

BOOL WINAPI Write(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written,
                  LPOVERLAPPED overlapped) {
  ++active->writes;
  if (Fails(active->failWrite)) return FALSE;
  return Original<decltype(&WriteFile)>(writePatch)(file, buffer, size, written, overlapped);
}

BOOL WINAPI Flush(HANDLE file) {
  if (Fails(active->failFlush)) return FALSE;
  return Original<decltype(&FlushFileBuffers)>(flushPatch)(file);
}

BOOL WINAPI Close(HANDLE handle) {
  const bool diskFile = GetFileType(handle) == FILE_TYPE_DISK;
  const BOOL closed = Original<decltype(&CloseHandle)>(closePatch)(handle);
  if (closed && diskFile && Fails(active->failClose)) return FALSE;
  return closed;
}

BOOL WINAPI Move(LPCSTR from, LPCSTR to, DWORD flags) {
  if (Fails(active->failMove, std::string(from ? from : ""), std::string(to ? to : "")))
    return FALSE;
  return Original<decltype(&MoveFileExA)>(movePatch)(from, to, flags);
}

BOOL WINAPI Replace(LPCSTR to, LPCSTR from, LPCSTR backup, DWORD flags, LPVOID a, LPVOID b) {
  if (Fails(active->failMove, std::string(from), std::string(to))) return FALSE;
  return Original<decltype(&ReplaceFileA)>(replacePatch)(to, from, backup, flags, a, b);
}

BOOL WINAPI Information(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) {
  const BOOL known = Original<decltype(&GetFileInformationByHandle)>(informationPatch)(file, info);
  if (known && active->changeInformation) active->changeInformation(*info);
  return known;
}

}  // namespace

FileFaults::FileFaults() {
  active = this;
  createPatch = patches_.Add("CreateFileA", reinterpret_cast<void*>(&Create));
  readPatch = patches_.Add("ReadFile", reinterpret_cast<void*>(&Read));
  writePatch = patches_.Add("WriteFile", reinterpret_cast<void*>(&Write));
  flushPatch = patches_.Add("FlushFileBuffers", reinterpret_cast<void*>(&Flush));
  closePatch = patches_.Add("CloseHandle", reinterpret_cast<void*>(&Close));
  movePatch = patches_.Add("MoveFileExA", reinterpret_cast<void*>(&Move));
  replacePatch = patches_.Add("ReplaceFileA", reinterpret_cast<void*>(&Replace));
  informationPatch =
      patches_.Add("GetFileInformationByHandle", reinterpret_cast<void*>(&Information));
}

FileFaults::~FileFaults() {
  patches_.Undo();
  active = nullptr;
}
