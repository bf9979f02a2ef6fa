#include "details/image_resolution.h"

#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "scan/registry_access.h"
#include "details/user_environment.h"
#include "util/file_utils.h"
#include "util/string_utils.h"
#include "util/text_encoding.h"

namespace {

const char kAppPaths[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
// Where a command's words end.
const char kBlanks[] = " \t";

bool IsAbsolute(const std::string& path) {
  return (path.size() > 2 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) ||
         path.compare(0, 2, "\\\\") == 0;
}

bool HasSeparator(const std::string& path) {
  return FindFirstCharOf(path, "\\/:") != std::string::npos;
}

std::string WithExtension(std::string path, const char* extension) {
  if (ExtensionOf(FileNameOf(path)).empty()) path += extension;
  return path;
}

ResolvedImage Known(const std::string& path) {
  return {path, ImageFileExists(path)};
}

std::string StripQuotes(std::string text) {
  Trim(text);
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
    text = text.substr(1, text.size() - 2);
  return text;
}

// A bare file name where Windows looks for a program: System32, the Windows
// folder, each folder of PATH, then (for programs) App Paths.
ResolvedImage SearchBareName(const std::string& name, const UserEnvironment& environment,
                             bool appPaths) {
  std::string folders = SystemFolder() + ';' + WindowsFolder();
  if (const std::string* path = environment.Find("PATH")) folders += ';' + *path;
  for (size_t start = 0; start <= folders.size();) {
    size_t end = folders.find(';', start);
    if (end == std::string::npos) end = folders.size();
    std::string folder = StripQuotes(folders.substr(start, end - start));
    start = end + 1;
    if (!IsAbsolute(folder)) continue;
    if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
    if (ImageFileExists(folder + name)) return {folder + name, true};
  }
  if (!appPaths) return {};
  // The user's App Paths before the machine's, as the shell looks.
  std::string userKey = environment.UserKey();
  if (!userKey.empty()) userKey += '\\';
  const struct {
    HKEY root;
    std::string key;
  } places[] = {{environment.UserRoot(), userKey + kAppPaths + name},
                {HKEY_LOCAL_MACHINE, kAppPaths + name}};
  for (const auto& place : places) {
    std::string registered, expanded;
    if (place.root && ReadStringValue(place.root, place.key, "", registered) == ERROR_SUCCESS &&
        environment.Expand(StripQuotes(registered), expanded) && IsAbsolute(expanded))
      return Known(expanded);
  }
  return {};
}

// A program or library named in a command: an absolute path is fully known,
// a bare name is searched for, a relative path cannot be known.
ResolvedImage FindFile(const std::string& piece, const char* extension,
                       const UserEnvironment& environment, bool appPaths) {
  if (piece.empty()) return {};
  const std::string name = WithExtension(piece, extension);
  if (IsAbsolute(name)) return Known(name);
  if (HasSeparator(name)) return {};
  return SearchBareName(name, environment, appPaths);
}

// The first word of `text` (quoted or not), and what follows it.
std::string FirstWord(const std::string& text, std::string* rest) {
  std::string word;
  size_t end;
  if (!text.empty() && text[0] == '"') {
    end = text.find('"', 1);
    if (end == std::string::npos) return std::string();
    word = text.substr(1, end - 1);
    ++end;
  } else {
    end = text.find_first_of(kBlanks);
    word = text.substr(0, end);
  }
  if (rest) *rest = end == std::string::npos ? std::string() : text.substr(end);
  return word;
}

// The DLL of "rundll32 DLL,Entry arguments".
ResolvedImage RundllImage(std::string arguments, const UserEnvironment& environment) {
  Trim(arguments);
  std::string dll;
  if (!arguments.empty() && arguments[0] == '"') {
    dll = FirstWord(arguments, nullptr);
    if (dll.empty()) return {};
  } else {
    dll = TrimCopy(arguments.substr(0, arguments.find(',')));
  }
  return FindFile(dll, ".dll", environment, false);
}

// The script of "wscript [//options] script arguments": the program the
// entry is, where the host is the system's.
ResolvedImage ScriptHostImage(std::string arguments, const UserEnvironment& environment) {
  for (;;) {
    Trim(arguments);
    std::string rest;
    const std::string word = FirstWord(arguments, &rest);
    if (word.compare(0, 2, "//") != 0) return FindFile(word, "", environment, false);
    arguments = rest;
  }
}

}  // namespace

std::string NativeFilePath(const std::string& path) {
  static const std::string system32 = [] {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64 ? SystemFolder() : std::string();
  }();
  if (system32.empty() || !SameNameIgnoringCase(path.substr(0, system32.size()), system32))
    return path;
  return WindowsFolder() + "Sysnative\\" + path.substr(system32.size());
}

bool IsDeviceName(const std::string& path) {
  std::string head = path.substr(0, 4);
  std::replace(head.begin(), head.end(), '/', '\\');
  // "\\?\C:\..." is a long path, not a device.
  const bool longPath = head == "\\\\?\\" && path.size() > 6 && path[5] == ':';
  if (!longPath && (head == "\\\\.\\" || head == "\\\\?\\" || head == "\\??\\")) return true;
  std::string name = FileNameOf(path);
  name = name.substr(0, name.find_first_of(".:"));
  TrimRight(name);
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"})
    if (SameNameIgnoringCase(name, device)) return true;
  return name.size() == 4 && name[3] >= '1' && name[3] <= '9' &&
         (SameNameIgnoringCase(name.substr(0, 3), "COM") ||
          SameNameIgnoringCase(name.substr(0, 3), "LPT"));
}

bool ImageFileExists(const std::string& path) {
  if (IsDeviceName(path)) return false;
  const DWORD attributes = GetFileAttributesA(NativeFilePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

ResolvedImage CommandImage(const std::string& command, bool expand,
                           const UserEnvironment& environment) {
  std::vector<std::string> unknown;
  std::string text = expand ? environment.ExpandKnown(command, unknown) : command;
  Trim(text);
  if (text.empty()) return {};

  ResolvedImage image;
  std::string arguments;
  if (text[0] == '"') {
    const size_t close = text.find('"', 1);
    if (close == std::string::npos) return {};
    image = FindFile(text.substr(1, close - 1), ".exe", environment, true);
    arguments = text.substr(close + 1);
  } else {
    // Shortest piece first, as CreateProcess tries them. When none is there,
    // the missing program is the first piece that names a file with an
    // extension, else the whole first word.
    ResolvedImage missing;
    for (size_t end = 0; end != std::string::npos && !image.exists;) {
      end = text.find_first_of(kBlanks, end + 1);
      const std::string piece = TrimCopy(text.substr(0, end));
      ResolvedImage found = FindFile(piece, ".exe", environment, true);
      if (found.exists) {
        image = found;
        arguments = end == std::string::npos ? std::string() : text.substr(end);
      } else if (missing.path.empty() && !ExtensionOf(FileNameOf(piece)).empty()) {
        missing = found;
      }
    }
    if (!image.exists)
      image = missing.path.empty() ? FindFile(FirstWord(text, nullptr), ".exe", environment, true)
                                   : missing;
  }
  if (image.exists) {
    const std::string host = FileNameOf(image.path);
    if (SameNameIgnoringCase(host, "rundll32.exe"))
      image = RundllImage(arguments, environment);
    else if (SameNameIgnoringCase(host, "wscript.exe") || SameNameIgnoringCase(host, "cscript.exe"))
      image = ScriptHostImage(arguments, environment);
  }
  // A variable that is not set, in the image's own path: where it is cannot
  // be known. In the arguments it does not matter.
  for (const std::string& name : unknown)
    if (image.path.find(name) != std::string::npos) return {};
  return image;
}

namespace {

// An advertised installer shortcut names a product's component, not a file:
// the installer says where that component is. msi.dll is loaded only for it.
std::string InstallerShortcutTarget(const std::string& path) {
  using GetShortcutTarget = UINT(WINAPI*)(LPCSTR, LPSTR, LPSTR, LPSTR);
  using GetComponentPath = int(WINAPI*)(LPCSTR, LPCSTR, LPSTR, DWORD*);
  static const HMODULE msi = LoadLibraryA((SystemFolder() + "msi.dll").c_str());
  if (!msi) return std::string();
  const auto shortcutTarget = reinterpret_cast<GetShortcutTarget>(
      reinterpret_cast<void*>(GetProcAddress(msi, "MsiGetShortcutTargetA")));
  const auto componentPath = reinterpret_cast<GetComponentPath>(
      reinterpret_cast<void*>(GetProcAddress(msi, "MsiGetComponentPathA")));
  char product[40] = {}, feature[40] = {}, component[40] = {};
  if (!shortcutTarget || !componentPath ||
      shortcutTarget(path.c_str(), product, feature, component) != ERROR_SUCCESS)
    return std::string();
  char target[MAX_PATH * 2] = {};
  DWORD size = sizeof target;
  const int state = componentPath(product, component, target, &size);
  const int kInstalledLocal = 3, kInstalledSource = 4;  // INSTALLSTATE_LOCAL, _SOURCE
  return state == kInstalledLocal || state == kInstalledSource ? std::string(target)
                                                               : std::string();
}

}  // namespace

ShortcutCommand ReadShortcut(const std::string& path) {
  ShortcutCommand command;
  const HRESULT initialized = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  command.target = InstallerShortcutTarget(path);
  // In UTF-16 throughout: a narrow target would be cut at MAX_PATH bytes,
  // which a path in UTF-8 may pass at half that length.
  IShellLinkW* link = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link)))) {
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      std::vector<wchar_t> buffer(32768);
      // Never Resolve: it may search the disk and rewrite the shortcut. The
      // raw path keeps its variables, to be read in the owner's environment
      // (another user's folders; the 64-bit Program Files for a 32-bit build).
      if (SUCCEEDED(file->Load(WideFromCodePage(path).c_str(), STGM_READ))) {
        // A path the code page cannot carry leads nowhere.
        if (command.target.empty() &&
            link->GetPath(buffer.data(), static_cast<int>(buffer.size()), nullptr,
                          SLGP_RAWPATH) == S_OK &&
            !NarrowFromWide(buffer.data(), command.target))
          command.target.clear();
        buffer[0] = L'\0';
        if (!command.target.empty() &&
            SUCCEEDED(link->GetArguments(buffer.data(), static_cast<int>(buffer.size()))) &&
            !NarrowFromWide(buffer.data(), command.arguments))
          command.arguments.clear();
      }
      file->Release();
    }
    link->Release();
  }
  if (SUCCEEDED(initialized)) CoUninitialize();
  return command;
}

ResolvedImage StartupImage(const std::string& path, const UserEnvironment& environment) {
  const std::string extension = ExtensionOf(FileNameOf(path));
  if (SameNameIgnoringCase(extension, "url")) return {};
  if (!SameNameIgnoringCase(extension, "lnk")) return Known(path);
  const ShortcutCommand shortcut = ReadShortcut(path);
  if (shortcut.target.empty()) return {};
  // The target as a program path of its own, then the host rules.
  const ResolvedImage image =
      CommandImage('"' + shortcut.target + "\" " + shortcut.arguments, true, environment);
  return IsAbsolute(image.path) ? image : ResolvedImage();
}
