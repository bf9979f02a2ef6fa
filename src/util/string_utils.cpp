#include "util/string_utils.h"

#include <utility>

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

std::string FileNameOf(std::string path) {
  const size_t separator = path.find_last_of(kSeparators);
  if (separator != std::string::npos) path.erase(0, separator + 1);
  Trim(path);
  return path;
}

std::string FolderOf(std::string path) {
  const size_t separator = path.find_last_of(kSeparators);
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
