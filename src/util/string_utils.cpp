#include "util/string_utils.h"

#include <windows.h>

#include <cstring>
#include <utility>

#include "util/text_encoding.h"

namespace {

// Searched in this order; the first row that matches wins.
struct EscapeRow {
  char character;
  const char* replacement;
};
constexpr EscapeRow kEscapeTable[] = {
    {'\f', "\\f"}, {'\r', "\\r"},  {'\n', "\\n"}, {'\t', "\\t"},
    {'\v', "\\v"}, {'\\', "\\\\"}, {'\'', "\\'"}, {'"', "\\\""},
};
constexpr size_t kEscapeRowCount = sizeof(kEscapeTable) / sizeof(kEscapeTable[0]);

constexpr char kSeparators[] = "\\/";

// Whether the process code page has characters of two bytes. UTF-8 and the
// single-byte pages do not, and take the plain byte searches.
bool CodePageIsDoubleByte() {
  static const bool doubleByte = [] {
    CPINFO info;
    return GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 2;
  }();
  return doubleByte;
}

bool IsLeadByte(char c) {
  return CodePageIsDoubleByte() && IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(c));
}

}  // namespace

// Same result as tolower() in the "C" locale, which the program never leaves,
// but immune to a locale that some library might set.
void ToLower(std::string& text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
}

std::string LowerCopy(std::string text) {
  ToLower(text);
  return text;
}

void Trim(std::string& text) {
  const size_t first = text.find_first_not_of(BlankChars);
  if (first == std::string::npos) {
    text.clear();
    return;
  }
  const size_t last = text.find_last_not_of(BlankChars);
  text.erase(last + 1);
  text.erase(0, first);
}

void TrimLeft(std::string& text) {
  const size_t first = text.find_first_not_of(BlankChars);
  if (first == std::string::npos)
    text.clear();
  else
    text.erase(0, first);
}

void TrimRight(std::string& text) {
  const size_t last = text.find_last_not_of(BlankChars);
  if (last == std::string::npos)
    text.clear();
  else
    text.erase(last + 1);
}

std::string TrimCopy(std::string text) {
  Trim(text);
  return text;
}

std::string EscapeCharacter(char c) {
  for (size_t row = 0; row < kEscapeRowCount; ++row) {
    if (kEscapeTable[row].character == c) return kEscapeTable[row].replacement;
  }
  return std::string(1, c);
}

void EscapeString(std::string& text) {
  if (text.empty()) return;
  std::string escaped;
  escaped.reserve(text.size() + text.size() / 4);
  for (char c : text) escaped += EscapeCharacter(c);
  text.swap(escaped);
}

std::string EscapedCopy(std::string text) {
  EscapeString(text);
  return text;
}

std::string ReplaceChars(const char* text, char replacement, const char* set) {
  std::string result = text ? text : "";
  if (!set) return result;
  for (const char* s = set; *s; ++s) {
    for (char& c : result) {
      if (c == *s) c = replacement;
    }
  }
  return result;
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
  if (a == b) return true;
  const std::wstring wideA = WideFromCodePage(a);
  const std::wstring wideB = WideFromCodePage(b);
  return CompareStringOrdinal(wideA.data(), static_cast<int>(wideA.size()), wideB.data(),
                              static_cast<int>(wideB.size()), TRUE) == CSTR_EQUAL;
}

size_t NextCharOffset(const std::string& text, size_t at, unsigned codePage) {
  const bool lead = codePage == CP_ACP ? IsLeadByte(text[at])
                                       : IsDBCSLeadByteEx(codePage, static_cast<BYTE>(text[at]));
  return at + (lead && at + 1 < text.size() ? 2 : 1);
}

size_t FindFirstCharOf(const std::string& text, const char* set) {
  if (!CodePageIsDoubleByte()) return text.find_first_of(set);
  for (size_t at = 0; at < text.size(); at = NextCharOffset(text, at))
    if (std::strchr(set, text[at]) && text[at]) return at;
  return std::string::npos;
}

size_t FindLastCharOf(const std::string& text, const char* set) {
  if (!CodePageIsDoubleByte()) return text.find_last_of(set);
  size_t found = std::string::npos;
  for (size_t at = 0; at < text.size(); at = NextCharOffset(text, at))
    if (std::strchr(set, text[at]) && text[at]) found = at;
  return found;
}

bool EndsWithSeparator(const std::string& text) {
  return !text.empty() && FindLastCharOf(text, kSeparators) == text.size() - 1;
}

size_t WholeCharsLength(const char* text, size_t length, size_t limit) {
  if (length <= limit) return length;
  if (GetACP() == CP_UTF8) {
    while (limit > 0 && (static_cast<unsigned char>(text[limit]) & 0xC0) == 0x80) --limit;
    return limit;
  }
  if (!CodePageIsDoubleByte()) return limit;
  const std::string prefix(text, limit + 1);
  size_t whole = 0;
  for (size_t at = 0; at < limit; at = NextCharOffset(prefix, at)) whole = at;
  return NextCharOffset(prefix, whole) <= limit ? NextCharOffset(prefix, whole) : whole;
}

std::string FileNameOf(std::string path) {
  const size_t separator = FindLastCharOf(path, kSeparators);
  if (separator != std::string::npos) path.erase(0, separator + 1);
  Trim(path);
  return path;
}

std::string FolderOf(std::string path) {
  const size_t separator = FindLastCharOf(path, kSeparators);
  if (separator == std::string::npos) return std::string();
  path.erase(separator + 1);
  Trim(path);
  return path;
}

std::string ExtensionOf(std::string path) {
  std::string name = FileNameOf(std::move(path));
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return std::string();
  name.erase(0, dot + 1);
  Trim(name);
  return name;
}
