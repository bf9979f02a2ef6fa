// lumivanec: the list Lumivane's window shows, as text on standard output or
// in a file, for scripts and for machines without a screen. It only reads.
#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "inventory/inventory.h"
#include "inventory/inventory_compare.h"
#include "util/file_utils.h"
#include "util/text_encoding.h"
#include "version.h"

namespace {

enum ExitStatus { Listed = 0, NotWritten = 1, BadUsage = 2 };
// With --compare the statuses are diff's.
enum CompareStatus { NothingNew = 0, SomethingNew = 1, CompareTrouble = 2 };

const char kUsage[] =
    "Usage: lumivanec [-c | -j] [-o FILE] [--compare FILE]\r\n"
    "Try 'lumivanec --help' for more information.\r\n";

const char kHelp[] =
    "lumivanec " LUMIVANE_VERSION_TEXT
    ": lists every program Windows starts automatically, the rows of\r\n"
    "Lumivane's window in the same order. It changes nothing.\r\n"
    "\r\n"
    "Usage: lumivanec [-c | -j] [-o FILE] [--compare FILE]\r\n"
    "\r\n"
    "  (none)      tab-separated: a header line, then one row per line with the\r\n"
    "              fields Type, Name, Command, Location, State, ImagePath,\r\n"
    "              Publisher, Signature and User. A backslash, tab, CR or LF\r\n"
    "              inside a field is written \\\\, \\t, \\r or \\n, any other control\r\n"
    "              character \\xHH.\r\n"
    "  -c          CSV (RFC 4180): a header line, fields with a comma, quote or\r\n"
    "              control character in double quotes, quotes doubled. On a\r\n"
    "              console control characters show as \\xHH. With -o the file\r\n"
    "              begins with the UTF-8 mark (EF BB BF), as File > Save List\r\n"
    "              writes it; standard output never gets it.\r\n"
    "  -j          JSON: an array of objects with the same keys and also\r\n"
    "              Description and Version; a disabled entry's also has\r\n"
    "              DisabledSince, the time it was disabled in UTC\r\n"
    "              (2026-12-07T10:42:05Z); an entry whose state the machine's\r\n"
    "              policy sets has \"Policy\": \"locked\".\r\n"
    "  -o FILE     write FILE instead of standard output; on failure any earlier\r\n"
    "              FILE is kept as it was.\r\n"
    "  --compare FILE\r\n"
    "              only what differs from FILE, a list written earlier in any of\r\n"
    "              the three formats: a first column Change says \"added\" or\r\n"
    "              \"changed\" (Command, State or ImagePath differ) for a row of\r\n"
    "              now, \"removed\" for a row of FILE. Rows are the same entry when\r\n"
    "              Type, Location and Name agree, letter case aside (Type and\r\n"
    "              Location for an App or a Task).\r\n"
    "  -h, --help  this text.\r\n"
    "\r\n"
    "Type is Registry (a value of a Run-type key, the Terminal Server shadow keys\r\n"
    "included), Start-Up (a file in a start-up folder), App (a packaged app's\r\n"
    "start-up task; its Location is the task's own key), Logon (the Winlogon\r\n"
    "Shell and Userinit, a profile's Shell, load and run, and Active Setup\r\n"
    "components still to run for a profile) or Task (a scheduled task started at\r\n"
    "logon or boot, Windows' own below \\Microsoft\\Windows\\ left out; its\r\n"
    "Location is its path in Task Scheduler, its User the task's account).\r\n"
    "\r\n"
    "State is Windows' own start-up switch, the one Task Manager shows: enabled,\r\n"
    "disabled, or n/a where Windows keeps none (RunOnce, RunServices, policies,\r\n"
    "the shadow keys, Logon rows, the Current Version spelling, files in a\r\n"
    "start-up folder's subfolders, and every entry before Windows 8). An App task\r\n"
    "is enabled when its State value is 2 or 4 (4 and 3, disabled, are set by\r\n"
    "policy), else disabled; with no State, as its manifest says (a UWP app's\r\n"
    "task: disabled). A Task's State is the task's own switch.\r\n"
    "\r\n"
    "ImagePath is the program the entry starts, found as Windows finds it (empty\r\n"
    "when it cannot be known); Publisher its signer when the signature verifies,\r\n"
    "else the CompanyName of its version resource; Signature one of verified,\r\n"
    "not verified, unsigned, missing (the program is not there) or n/a (no\r\n"
    "program); User is All Users for the machine's entries, else the account\r\n"
    "(DOMAIN\\name, or the SID when it has no name) or the profile folder's name.\r\n"
    "A program kept offline, one another program is writing, and one that does\r\n"
    "not answer in time (30 seconds, 4 on a network drive) are listed with their\r\n"
    "path alone and Signature n/a; a device is no program (missing).\r\n"
    "\r\n"
    "Lines end in CR LF. Written to a console, the text is shown in the console's\r\n"
    "code page; written to a file or a pipe (redirected, or with -o), it is UTF-8.\r\n"
    "\r\n"
    "Exit status: 0 listed, 1 the list could not be written, 2 wrong options.\r\n"
    "With --compare, as diff: 0 nothing added or changed, 1 something was (removed\r\n"
    "rows alone give 0), 2 trouble (wrong options, FILE unreadable, over 64 MiB or\r\n"
    "not a list, output not written).\r\n";

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return GetFileType(handle) == FILE_TYPE_CHAR && GetConsoleMode(handle, &mode);
}

// A console gets the text as UTF-16, which it shows in its own code page;
// anything else (a file, a pipe) gets the UTF-8 bytes.
bool WriteText(DWORD handleId, const std::string& utf8) {
  HANDLE handle = GetStdHandle(handleId);
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return false;
  if (IsConsole(handle)) {
    const std::wstring wide = WideFromUtf8(utf8);
    for (size_t done = 0; done < wide.size();) {
      DWORD chunk = static_cast<DWORD>(wide.size() - done < 8192 ? wide.size() - done : 8192);
      // A pair split between two writes would show as two broken characters.
      if (done + chunk < wide.size() && IS_HIGH_SURROGATE(wide[done + chunk - 1])) --chunk;
      DWORD written = 0;
      if (!WriteConsoleW(handle, wide.data() + done, chunk, &written, nullptr) || written == 0)
        return false;
      done += written;
    }
    return true;
  }
  for (size_t done = 0; done < utf8.size();) {
    DWORD written = 0;
    if (!WriteFile(handle, utf8.data() + done, static_cast<DWORD>(utf8.size() - done), &written,
                   nullptr) ||
        written == 0)
      return false;
    done += written;
  }
  return true;
}

void Complain(const std::string& utf8) {
  WriteText(STD_ERROR_HANDLE, "lumivanec: " + utf8 + "\r\n");
}

// The arguments in UTF-8, from the wide command line: where the code page is
// not UTF-8 (Windows before 1903) the narrow ones have already lost, or
// turned into look-alikes, what it cannot carry.
std::vector<std::string> Arguments() {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 1; wide && i < count; ++i) arguments.push_back(Utf8FromWide(wide[i]));
  LocalFree(wide);
  return arguments;
}

// A path in the program's code page, the form the file functions take. False
// (with the system's error code) when that code page cannot carry it: a
// look-alike name would be another file.
bool NarrowPath(const std::string& utf8, std::string& path) {
  if (GetACP() == CP_UTF8) {
    path = utf8;
    return true;
  }
  const std::wstring wide = WideFromUtf8(utf8);
  const int units = static_cast<int>(wide.size());
  BOOL lost = FALSE;
  const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), units, nullptr,
                                        0, nullptr, &lost);
  if (lost || (bytes == 0 && units > 0)) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return false;
  }
  path.assign(static_cast<size_t>(bytes), '\0');
  if (bytes > 0)
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), units, &path[0], bytes, nullptr,
                        nullptr);
  return true;
}

// The system's words for an error, on one line, in UTF-8.
std::string ErrorText(DWORD error) {
  char* buffer = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = length ? std::string(buffer, length) : std::string();
  LocalFree(buffer);
  while (!text.empty() &&
         (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
    text.pop_back();
  return Utf8FromCodePage(text) + (text.empty() ? "" : " ") + "(error " + std::to_string(error) +
         ")";
}

int Usage(const std::string& problem) {
  Complain(problem);
  WriteText(STD_ERROR_HANDLE, kUsage);
  return BadUsage;
}

// Writes the text to the file (its path in UTF-8), or to standard output.
bool Deliver(bool toFile, const std::string& outputPath, const std::string& text) {
  if (toFile) {
    std::string path;
    if (NarrowPath(outputPath, path) && WriteFileWhole(path.c_str(), text)) return true;
    Complain("cannot write " + outputPath + ": " + ErrorText(GetLastError()));
    return false;
  }
  if (WriteText(STD_OUTPUT_HANDLE, text)) return true;
  Complain("cannot write the list to standard output: " + ErrorText(GetLastError()));
  return false;
}

int Compare(const std::string& baselinePath, InventoryFormat format, bool toFile,
            const std::string& outputPath, InventoryTarget target) {
  // No list comes near this; a larger file would only take the memory.
  constexpr uint64_t kLargestBaseline = 64ull << 20;
  std::string path, text;
  if (!NarrowPath(baselinePath, path) || !ReadWholeFile(path, text, kLargestBaseline)) {
    const DWORD error = GetLastError();
    Complain(error == ERROR_FILE_TOO_LARGE
                 ? baselinePath + " is larger than 64 MiB: not a list written by lumivanec"
                 : "cannot read " + baselinePath + ": " + ErrorText(error));
    return CompareTrouble;
  }
  InventoryTable baseline;
  if (!ParseInventoryText(text, baseline)) {
    Complain(baselinePath + " is not a list written by lumivanec or Save List");
    return CompareTrouble;
  }
  const InventoryComparison comparison =
      CompareInventories(baseline, InventoryTableOf(ScanInventory()));
  if (!Deliver(toFile, outputPath, InventoryTableText(comparison.changes, format, target)))
    return CompareTrouble;
  return comparison.addedOrChanged ? SomethingNew : NothingNew;
}

}  // namespace

int main() {
  InventoryFormat format = InventoryFormat::Tabs;
  bool formatChosen = false;
  bool toFile = false;
  std::string outputPath;  // UTF-8
  bool compare = false;
  std::string baselinePath;  // UTF-8
  const std::vector<std::string> arguments = Arguments();
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& option = arguments[i];
    if (option == "-h" || option == "--help" || option == "/?") {
      return WriteText(STD_OUTPUT_HANDLE, kHelp) ? Listed : NotWritten;
    } else if (option == "-c" || option == "-j") {
      const InventoryFormat chosen = option == "-c" ? InventoryFormat::Csv : InventoryFormat::Json;
      if (formatChosen && chosen != format) return Usage("-c and -j exclude each other");
      format = chosen;
      formatChosen = true;
    } else if (option == "-o") {
      if (i + 1 >= arguments.size()) return Usage("-o needs a file name");
      outputPath = arguments[++i];
      toFile = true;
    } else if (option == "--compare") {
      if (i + 1 >= arguments.size()) return Usage("--compare needs a file name");
      baselinePath = arguments[++i];
      compare = true;
    } else {
      return Usage("unknown option '" + option + "'");
    }
  }

  const InventoryTarget target = toFile ? InventoryTarget::File
                                 : IsConsole(GetStdHandle(STD_OUTPUT_HANDLE))
                                     ? InventoryTarget::Console
                                     : InventoryTarget::Pipe;
  if (compare) return Compare(baselinePath, format, toFile, outputPath, target);
  return Deliver(toFile, outputPath, InventoryText(ScanInventory(), format, CP_ACP, target))
             ? Listed
             : NotWritten;
}
