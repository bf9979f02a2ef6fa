#include "search/file_search.h"

#include <windows.h>

#include <algorithm>
#include <iterator>
#include <stdexcept>

#include "util/file_utils.h"
#include "util/string_utils.h"
#include "util/text_encoding.h"

namespace {

constexpr char kInvalidDirectory[] = "Invalid directory.";
constexpr char kInvalidPattern[] = "The szPattern parameter contains invalid characters.";
constexpr char kInvalidQuery[] = "The szQuery parameter contains invalid characters.";
constexpr char kMissingExtension[] = "-?";

// The only attribute words that make a listing entry a folder. Any other bit
// (reparse point 0x400, compressed 0x800, not indexed 0x2000, ...) makes it a
// file, so junctions and symbolic links to folders are never followed.
// clang-format off
constexpr uint32_t kFolderAttributeWords[] = {
    0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,
    0x30, 0x31, 0x32, 0x33, 0x34, 0x36, 0x37,
    0x90, 0x91, 0x92, 0x93, 0x94, 0x96, 0x97,
    0xB0, 0xB1, 0xB3, 0xB7,
};
// clang-format on

std::string_view TrimLeftView(std::string_view text) {
  const size_t first = text.find_first_not_of(BlankChars);
  return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

std::string_view TrimRightView(std::string_view text) {
  const size_t last = text.find_last_not_of(BlankChars);
  return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

std::string_view TrimView(std::string_view text) {
  return TrimRightView(TrimLeftView(text));
}

char LowerByte(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsLowered(std::string_view text, const std::string& lowerToken) {
  if (text.size() != lowerToken.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (LowerByte(text[i]) != lowerToken[i]) return false;
  }
  return true;
}

// ".", ".." and the like.
bool IsDotsOnly(const char* name) {
  if (*name == '\0') return false;
  for (; *name; ++name) {
    if (*name != '.') return false;
  }
  return true;
}

bool IsFullyQualified(const std::string& path) {
  return (path.size() >= 3 && path[1] == ':' && path[2] == '\\') ||
         (path.size() >= 2 && path[0] == '\\' && path[1] == '\\');
}

// Relative forms (".", "sub", "C:sub", "\sub") would change meaning with the
// current directory, and the hits are paths that get wiped later.
bool MakeAbsolute(std::string& folder) {
  if (IsFullyQualified(folder)) return true;
  const DWORD needed = GetFullPathNameA(folder.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return false;
  std::string full(needed, '\0');
  const DWORD length = GetFullPathNameA(folder.c_str(), needed, &full[0], nullptr);
  if (length == 0 || length >= needed) return false;
  full.resize(length);
  if (!EndsWithSeparator(full)) full += '\\';
  folder.swap(full);
  return true;
}

// The entries of one folder, one at a time, with their names in the process
// code page. The listing is read in UTF-16: the narrow one cannot hand over
// a name of more than MAX_PATH bytes, and under a legacy code page would hand
// over a look-alike of a name the code page cannot carry, another file's name
// at worst, where this one shows the code page's default character, '?',
// which no file name holds. A lone surrogate shows as '?' too.
class FolderListing {
 public:
  explicit FolderListing(const std::wstring& widePattern) {
    handle_ = FindFirstFileW(LongPathForm(widePattern).c_str(), &wide_);
    if (IsOpen()) Convert();
  }
  ~FolderListing() {
    if (IsOpen()) FindClose(handle_);
  }
  FolderListing(const FolderListing&) = delete;
  FolderListing& operator=(const FolderListing&) = delete;

  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
  const char* Name() const { return name_.c_str(); }
  const wchar_t* WideName() const { return wide_.cFileName; }
  DWORD Attributes() const { return wide_.dwFileAttributes; }
  bool Next() {
    if (!FindNextFileW(handle_, &wide_)) return false;
    Convert();
    return true;
  }

 private:
  // UTF-8 would show a lone surrogate as U+FFFD, which a real name may hold.
  void Convert() {
    // Most names are ASCII, which every code page holds as the same bytes.
    name_.clear();
    for (const wchar_t* unit = wide_.cFileName; *unit; ++unit) {
      if (*unit >= 0x80) break;
      name_ += static_cast<char>(*unit);
      if (!unit[1]) return;
    }
    std::wstring name = wide_.cFileName;
    for (size_t i = 0; i < name.size(); ++i) {
      const bool high = IS_HIGH_SURROGATE(name[i]), low = IS_LOW_SURROGATE(name[i]);
      if (high && i + 1 < name.size() && IS_LOW_SURROGATE(name[i + 1]))
        ++i;
      else if (high || low)
        name[i] = L'?';
    }
    NarrowFromWide(name, name_);
  }

  HANDLE handle_ = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAW wide_;
  std::string name_;
};

bool IsFileMode(SearchMode mode) {
  return mode == FilesInFolder || mode == FilesInTree;
}

}  // namespace

CFileSearch::CFileSearch(SearchHandler handler, const char* directory, const char* szPattern,
                         const char* szQuery) {
  SetHandler(handler);
  SetDirectory(directory);
  SetPattern(szPattern);
  SetQuery(szQuery);
}

CFileSearch::~CFileSearch() {
  handler_ = nullptr;
}

void CFileSearch::SetHandler(SearchHandler handler) {
  if (!handler) throw std::invalid_argument("Invalid function pointer(handler).");
  handler_ = handler;
}

void CFileSearch::SetDirectory(const char* directory) {
  std::string value = directory ? directory : "";
  Trim(value);
  // An empty start-up folder value must not turn into the current drive's root,
  // whose every file would then be listed as an entry.
  if (value.empty()) throw std::invalid_argument(kInvalidDirectory);
  if (LowerCopy(value) == "-win") value = WindowsFolder();
  if (LowerCopy(value) == "-sys") value = SystemFolder();
  if (LowerCopy(value) == "-root") value = SystemDrive();
  if (!NormalizeFolderPath(value) || !MakeAbsolute(value))
    throw std::invalid_argument(kInvalidDirectory);
  directory_.swap(value);
}

void CFileSearch::SetPattern(const char* szPattern) {
  extensions_.clear();
  ParseList(szPattern, extensions_, ListRules::Pattern);
}

void CFileSearch::SetQuery(const char* szQuery) {
  fragments_.clear();
  ParseList(szQuery, fragments_, ListRules::Query);
}

void CFileSearch::ParseList(const char* source, std::vector<std::string>& list, ListRules rules) {
  std::string text = source ? source : "";
  Trim(text);
  if (text.empty()) return;
  ToLower(text);
  if (text == "-all") {
    list.clear();
    return;
  }
  if (text.back() != ',') text += ',';
  size_t start = 0;
  for (size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1) {
    std::string piece = text.substr(start, comma - start);
    Trim(piece);
    if (piece.empty()) continue;
    const bool exempt = rules == ListRules::Pattern && piece == kMissingExtension;
    if (!exempt && piece.find_first_of(InvalidNameChars) != std::string::npos)
      throw std::invalid_argument(rules == ListRules::Pattern ? kInvalidPattern : kInvalidQuery);
    if (std::find(list.begin(), list.end(), piece) == list.end()) list.push_back(std::move(piece));
  }
}

bool CFileSearch::IsFolderAttribute(uint32_t attributes) {
  return std::find(std::begin(kFolderAttributeWords), std::end(kFolderAttributeWords),
                   attributes) != std::end(kFolderAttributeWords);
}

// ExtensionOf without the copies: the text after the file name's last dot,
// trimmed, compared in lower case.
bool CFileSearch::MatchesPattern(std::string_view name) const {
  if (extensions_.empty()) return true;
  const size_t separator = name.find_last_of("\\/");
  if (separator != std::string_view::npos) name.remove_prefix(separator + 1);
  name = TrimView(name);
  const size_t dot = name.rfind('.');
  const std::string_view extension =
      dot == std::string_view::npos ? std::string_view() : TrimView(name.substr(dot + 1));
  for (const std::string& token : extensions_) {
    if (extension.empty() ? token == kMissingExtension : EqualsLowered(extension, token))
      return true;
  }
  return false;
}

bool CFileSearch::MatchesQuery(std::string_view name, SearchMode mode) const {
  if (fragments_.empty()) return true;
  name = TrimView(name);
  if (name.empty()) return false;
  if (IsFileMode(mode)) {
    // A file is matched by its base name; folder names keep their dots.
    const size_t dot = name.rfind('.');
    if (dot != std::string_view::npos && dot != 0) name = TrimRightView(name.substr(0, dot));
  }
  if (name.front() == '.') {
    name = TrimLeftView(name.substr(1));
    if (name.empty()) return false;
  }
  lowered_.assign(name.data(), name.size());
  ToLower(lowered_);
  for (const std::string& fragment : fragments_) {
    // A fragment longer than the name accepts a name it contains.
    const bool found = fragment.size() > lowered_.size()
                           ? fragment.find(lowered_) != std::string::npos
                           : lowered_.find(fragment) != std::string::npos;
    if (found) return true;
  }
  return false;
}

void CFileSearch::Search(SearchMode mode) {
  mode_ = mode;
  SearchFolder(directory_);
}

void CFileSearch::SearchFolder(const std::string& folder) {
  // One buffer for the whole walk: each level appends its entry names and cuts
  // them off again.
  std::string path;
  path.reserve(2 * MAX_PATH);
  path = folder;
  std::wstring widePath = WideFromCodePage(folder);
  Walk(path, widePath);
}

void CFileSearch::Walk(std::string& path, std::wstring& widePath) {
  const size_t base = path.size();
  const size_t wideBase = widePath.size();
  FolderListing listing(widePath + L"*.*");
  if (!listing.IsOpen()) return;
  do {
    const char* name = listing.Name();
    // Before the attribute test: the listing gives "." and ".." the folder's
    // own attribute word, which need not be one of the folder words.
    if (IsDotsOnly(name)) continue;
    if (IsFolderAttribute(listing.Attributes())) {
      if (mode_ == FilesInFolder) continue;
      path += name;
      path += '\\';
      if (mode_ == FoldersInFolder || mode_ == FoldersInTree) {
        if (MatchesQuery(name, mode_)) handler_(path.c_str());
      }
      widePath.append(listing.WideName()).append(L"\\");
      if (mode_ != FoldersInFolder) Walk(path, widePath);
      path.resize(base);
      widePath.resize(wideBase);
    } else if (IsFileMode(mode_)) {
      if (MatchesPattern(name) && MatchesQuery(name, mode_)) {
        path += name;
        handler_(path.c_str());
        path.resize(base);
      }
    }
  } while (listing.Next());
}
