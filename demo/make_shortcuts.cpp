// Writes real shortcuts for the demo prefix, run there under Wine.
//   make_shortcuts LINK TARGET ARGUMENTS [LINK TARGET ARGUMENTS ...]
// Each LINK is a Windows path; its folder must exist. Exit status 1 when a
// shortcut could not be written.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cwchar>

namespace {

bool WriteShortcut(const wchar_t* link, const wchar_t* target, const wchar_t* arguments) {
  IShellLinkW* shortcut = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&shortcut))))
    return false;
  bool written = SUCCEEDED(shortcut->SetPath(target)) &&
                 SUCCEEDED(shortcut->SetArguments(arguments));
  IPersistFile* file = nullptr;
  if (written &&
      SUCCEEDED(shortcut->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    written = SUCCEEDED(file->Save(link, TRUE));
    file->Release();
  } else {
    written = false;
  }
  shortcut->Release();
  return written;
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!words || count < 4 || (count - 1) % 3) return 2;
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  int status = 0;
  for (int i = 1; i + 2 < count; i += 3) {
    if (!WriteShortcut(words[i], words[i + 1], words[i + 2])) {
      std::fwprintf(stderr, L"cannot write %ls\n", words[i]);
      status = 1;
    }
  }
  CoUninitialize();
  LocalFree(words);
  return status;
}
