#include "scan/image_resolution.h"

#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include <vector>

#include "scan/registry_access.h"
#include "scan/user_environment.h"
#include "util/file_utils.h"
#include "util/string_utils.h"
#include "util/text_encoding.h"

namespace {

const char kAppPaths[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

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
  std::string registered;
  if (appPaths && ReadStringValue(HKEY_LOCAL_MACHINE, kAppPaths + name, "", registered) ==
                      ERROR_SUCCESS) {
    std::string expanded;
    if (environment.Expand(StripQuotes(registered), expanded) && IsAbsolute(expanded))
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

// The DLL of "rundll32 DLL,Entry arguments".
ResolvedImage RundllImage(std::string arguments, const UserEnvironment& environment) {
  Trim(arguments);
  std::string dll;
  if (!arguments.empty() && arguments[0] == '"') {
    const size_t close = arguments.find('"', 1);
    if (close == std::string::npos) return {};
    dll = arguments.substr(1, close - 1);
  } else {
    dll = TrimCopy(arguments.substr(0, arguments.find(',')));
  }
  return FindFile(dll, ".dll", environment, false);
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

bool ImageFileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(NativeFilePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

ResolvedImage CommandImage(const std::string& command, bool expand,
                           const UserEnvironment& environment) {
  std::string text = command;
  if (expand && !environment.Expand(command, text)) return {};
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
      end = text.find(' ', end + 1);
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
      image = missing.path.empty() ? FindFile(text.substr(0, text.find(' ')), ".exe", environment,
                                              true)
                                   : missing;
  }
  if (image.exists && SameNameIgnoringCase(FileNameOf(image.path), "rundll32.exe"))
    return RundllImage(arguments, environment);
  return image;
}

// In UTF-16 throughout: the narrow target would be cut at MAX_PATH bytes,
// which a path in UTF-8 may pass at half that length.
std::string ShortcutTarget(const std::string& path) {
  const HRESULT initialized = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  std::string target;
  IShellLinkW* link = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link)))) {
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      std::vector<wchar_t> buffer(32768);
      // Never Resolve: it may search the disk and rewrite the shortcut.
      if (SUCCEEDED(file->Load(WideFromCodePage(path).c_str(), STGM_READ)) &&
          link->GetPath(buffer.data(), static_cast<int>(buffer.size()), nullptr, 0) == S_OK &&
          !NarrowFromWide(buffer.data(), target))
        target.clear();  // a path the code page cannot carry leads nowhere
      file->Release();
    }
    link->Release();
  }
  if (SUCCEEDED(initialized)) CoUninitialize();
  return target;
}

ResolvedImage StartupImage(const std::string& path) {
  const std::string extension = ExtensionOf(FileNameOf(path));
  if (SameNameIgnoringCase(extension, "url")) return {};
  if (!SameNameIgnoringCase(extension, "lnk")) return Known(path);
  const std::string target = ShortcutTarget(path);
  return IsAbsolute(target) ? Known(target) : ResolvedImage();
}
