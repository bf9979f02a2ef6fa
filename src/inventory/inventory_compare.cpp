#include "inventory/inventory_compare.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <utility>

#include "sources/entry_source.h"
#include "util/text_encoding.h"

namespace {

using Records = std::vector<std::vector<std::string>>;

const std::string kByteOrderMark = "\xEF\xBB\xBF";
const char kBlanks[] = " \t\r\n";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendUtf8(std::string& text, unsigned long codePoint) {
  if (codePoint < 0x80) {
    text += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    text += static_cast<char>(0xC0 | (codePoint >> 6));
    text += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    text += static_cast<char>(0xE0 | (codePoint >> 12));
    text += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    text += static_cast<char>(0xF0 | (codePoint >> 18));
    text += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    text += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

// `digits` hexadecimal digits at text[at]; -1 when they are not all there.
long HexNumber(const std::string& text, size_t at, size_t digits) {
  if (at + digits > text.size()) return -1;
  long number = 0;
  for (size_t i = at; i < at + digits; ++i) {
    const int digit = HexDigit(text[i]);
    if (digit < 0) return -1;
    number = number * 16 + digit;
  }
  return number;
}

// One record a line; \\, \t, \r, \n and \xHH (the code point U+00HH) stand
// for what they name, and any other escape is no list of ours.
bool ParseTabs(const std::string& text, size_t at, Records& records) {
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const size_t stop = end > at && text[end - 1] == '\r' ? end - 1 : end;
    std::vector<std::string> fields(1);
    for (size_t i = at; i < stop; ++i) {
      if (text[i] == '\t') {
        fields.emplace_back();
        continue;
      }
      if (text[i] != '\\') {
        fields.back() += text[i];
        continue;
      }
      if (++i >= stop) return false;
      switch (text[i]) {
        case '\\':
          fields.back() += '\\';
          break;
        case 't':
          fields.back() += '\t';
          break;
        case 'r':
          fields.back() += '\r';
          break;
        case 'n':
          fields.back() += '\n';
          break;
        case 'x': {
          const long codePoint = i + 2 < stop ? HexNumber(text, i + 1, 2) : -1;
          if (codePoint < 0) return false;
          AppendUtf8(fields.back(), static_cast<unsigned long>(codePoint));
          i += 2;
          break;
        }
        default:
          return false;
      }
    }
    records.push_back(std::move(fields));
    at = end + 1;
  }
  return true;
}

// RFC 4180; a line may also end in LF alone.
bool ParseCsv(const std::string& text, size_t at, Records& records) {
  const size_t n = text.size();
  while (at < n) {
    std::vector<std::string> fields;
    for (;;) {
      std::string field;
      if (at < n && text[at] == '"') {
        for (++at;; ++at) {
          if (at >= n) return false;
          if (text[at] == '"') {
            if (at + 1 < n && text[at + 1] == '"') {
              ++at;
            } else {
              ++at;
              break;
            }
          }
          field += text[at];
        }
        if (at < n && text[at] != ',' && text[at] != '\r' && text[at] != '\n') return false;
      } else {
        for (; at < n && text[at] != ',' && text[at] != '\r' && text[at] != '\n'; ++at) {
          if (text[at] == '"') return false;
          field += text[at];
        }
      }
      fields.push_back(std::move(field));
      if (at < n && text[at] == ',') {
        ++at;
        continue;
      }
      if (at < n && text[at] == '\r') ++at;
      if (at < n && text[at] == '\n') ++at;
      break;
    }
    records.push_back(std::move(fields));
  }
  return true;
}

// The JSON lumivanec writes: an array of objects whose values are strings.
class JsonReader {
 public:
  JsonReader(const std::string& text, size_t at) : text_(text), at_(at) {}

  bool Read(InventoryTable& table) {
    std::map<std::string, size_t> columnOf;
    if (!Take('[')) return false;
    if (!Take(']')) {
      do {
        if (!Take('{')) return false;
        std::vector<std::pair<size_t, std::string>> cells;
        if (!Take('}')) {
          do {
            std::string key, value;
            if (!String(key) || !Take(':') || !String(value)) return false;
            const auto found = columnOf.emplace(key, table.headings.size());
            if (found.second) table.headings.push_back(key);
            cells.emplace_back(found.first->second, std::move(value));
          } while (Take(','));
          if (!Take('}')) return false;
        }
        table.rows.emplace_back();
        for (auto& cell : cells) {
          table.rows.back().resize(table.headings.size());
          table.rows.back()[cell.first] = std::move(cell.second);
        }
      } while (Take(','));
      if (!Take(']')) return false;
    }
    SkipBlanks();
    if (at_ != text_.size()) return false;
    for (std::vector<std::string>& row : table.rows) row.resize(table.headings.size());
    table.columns = table.jsonColumns = table.headings.size();
    return true;
  }

 private:
  void SkipBlanks() {
    at_ = text_.find_first_not_of(kBlanks, at_);
    if (at_ == std::string::npos) at_ = text_.size();
  }
  bool Take(char c) {
    SkipBlanks();
    if (at_ >= text_.size() || text_[at_] != c) return false;
    ++at_;
    return true;
  }
  // Four hex digits after "\u" at at_.
  long Unit() {
    if (text_.compare(at_, 2, "\\u") != 0) return -1;
    const long unit = HexNumber(text_, at_ + 2, 4);
    if (unit >= 0) at_ += 6;
    return unit;
  }
  bool String(std::string& out) {
    if (!Take('"')) return false;
    for (;;) {
      if (at_ >= text_.size()) return false;
      const char c = text_[at_];
      if (c == '"') {
        ++at_;
        return true;
      }
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;
        ++at_;
        continue;
      }
      if (at_ + 1 >= text_.size()) return false;
      const char escaped = text_[at_ + 1];
      const char* const simple = "\"\"\\\\//b\bf\fn\nr\rt\t";
      bool found = false;
      for (const char* s = simple; *s; s += 2) {
        if (*s != escaped) continue;
        out += s[1];
        at_ += 2;
        found = true;
        break;
      }
      if (found) continue;
      long unit = Unit();
      if (unit < 0xD800 || unit > 0xDFFF) {
        if (unit < 0) return false;
        AppendUtf8(out, static_cast<unsigned long>(unit));
        continue;
      }
      const long low = unit < 0xDC00 ? Unit() : -1;  // a surrogate pair, or nothing
      if (low < 0xDC00 || low > 0xDFFF) return false;
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
    }
  }

  const std::string& text_;
  size_t at_;
};

size_t ColumnOf(const InventoryTable& table, const char* heading) {
  for (size_t c = 0; c < table.headings.size(); ++c)
    if (table.headings[c] == heading) return c;
  return std::string::npos;
}

// Ordered as Windows tells key paths, value names and file names apart: by
// code point after its own upper-casing.
struct WindowsNameLess {
  bool operator()(const std::wstring& a, const std::wstring& b) const {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_LESS_THAN;
  }
};

struct IdentityLess {
  using Identity = std::vector<std::wstring>;
  bool operator()(const Identity& a, const Identity& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), WindowsNameLess());
  }
};

const char* const kIdentityColumns[] = {"Type", "Location", "Name"};
const char* const kComparedColumns[] = {"Command", "State", "ImagePath"};

std::vector<std::wstring> IdentityOf(const InventoryTable& table, size_t row) {
  std::vector<std::wstring> identity;
  for (const char* heading : kIdentityColumns)
    identity.push_back(WideFromUtf8(table.rows[row][ColumnOf(table, heading)]));
  // Kinds whose name depends on the language or the account are known by
  // their location alone.
  const EntrySource* source = FindEntrySource(table.rows[row][ColumnOf(table, "Type")]);
  if (source && !source->NameIsIdentity()) identity[2].clear();
  return identity;
}

}  // namespace

bool ParseInventoryText(const std::string& text, InventoryTable& table) {
  table = InventoryTable();
  const size_t start = text.compare(0, 3, kByteOrderMark) == 0 ? 3 : 0;
  const size_t first = text.find_first_not_of(kBlanks, start);
  if (first == std::string::npos) return false;
  if (text[first] == '[') {
    if (!JsonReader(text, first).Read(table)) return false;
    if (table.rows.empty()) return true;  // an empty list names no columns
  } else {
    Records records;
    const size_t lineEnd = text.find('\n', start);
    const bool tabs = text.find('\t', start) < lineEnd;
    if (!(tabs ? ParseTabs(text, start, records) : ParseCsv(text, start, records))) return false;
    table.headings = std::move(records[0]);
    table.columns = table.jsonColumns = table.headings.size();
    for (size_t r = 1; r < records.size(); ++r) {
      if (records[r].size() == 1 && records[r][0].empty()) continue;  // a blank line
      if (records[r].size() != table.columns) return false;
      table.rows.push_back(std::move(records[r]));
    }
  }
  for (const char* heading : kIdentityColumns)
    if (ColumnOf(table, heading) == std::string::npos) return false;
  return true;
}

InventoryComparison CompareInventories(const InventoryTable& baseline,
                                       const InventoryTable& current) {
  InventoryComparison comparison;
  InventoryTable& changes = comparison.changes;
  changes.headings.push_back("Change");
  changes.headings.insert(changes.headings.end(), current.headings.begin(), current.headings.end());
  changes.columns = current.columns + 1;
  changes.jsonColumns = current.jsonColumns + 1;

  // The baseline's rows of each identity, in order, and how many are taken.
  std::map<std::vector<std::wstring>, std::pair<std::vector<size_t>, size_t>, IdentityLess> rowsOf;
  for (size_t r = 0; r < baseline.rows.size(); ++r)
    rowsOf[IdentityOf(baseline, r)].first.push_back(r);

  std::vector<std::pair<size_t, size_t>> compared;  // columns of current and baseline
  for (const char* heading : kComparedColumns) {
    const size_t now = ColumnOf(current, heading), before = ColumnOf(baseline, heading);
    if (now != std::string::npos && before != std::string::npos) compared.emplace_back(now, before);
  }

  std::vector<bool> matched(baseline.rows.size());
  for (size_t r = 0; r < current.rows.size(); ++r) {
    const std::vector<std::string>& row = current.rows[r];
    const char* change = "added";
    const auto found = rowsOf.find(IdentityOf(current, r));
    if (found != rowsOf.end() && found->second.second < found->second.first.size()) {
      const size_t before = found->second.first[found->second.second++];
      matched[before] = true;
      change = nullptr;
      for (const auto& columns : compared)
        if (row[columns.first] != baseline.rows[before][columns.second]) change = "changed";
    }
    if (!change) continue;
    changes.rows.push_back({change});
    changes.rows.back().insert(changes.rows.back().end(), row.begin(), row.end());
    comparison.addedOrChanged = true;
  }
  for (size_t r = 0; r < baseline.rows.size(); ++r) {
    if (matched[r]) continue;
    changes.rows.push_back({"removed"});
    for (const std::string& heading : current.headings) {
      const size_t column = ColumnOf(baseline, heading.c_str());
      changes.rows.back().push_back(column == std::string::npos ? "" : baseline.rows[r][column]);
    }
  }
  return comparison;
}
