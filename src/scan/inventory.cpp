#include "scan/inventory.h"

#include <cstdio>

#include "scan/registry_scan.h"
#include "scan/startup_folder_scan.h"
#include "util/text_encoding.h"

namespace {

struct InventoryColumn {
  const char* heading;
  std::string InventoryRow::*field;
};

// The columns in their order; a new one is one more line here.
const InventoryColumn kInventoryColumns[] = {
    {"Type", &InventoryRow::type},
    {"Name", &InventoryRow::name},
    {"Command", &InventoryRow::command},
    {"Location", &InventoryRow::location},
};

const char kLineEnd[] = "\r\n";

// A field never spreads over two lines, so a script reads one row a line.
std::string TabField(const std::string& text) {
  std::string field;
  for (char c : text) {
    switch (c) {
      case '\\':
        field += "\\\\";
        break;
      case '\t':
        field += "\\t";
        break;
      case '\r':
        field += "\\r";
        break;
      case '\n':
        field += "\\n";
        break;
      default:
        field += c;
    }
  }
  return field;
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string field = "\"";
  for (char c : text) {
    if (c == '"') field += '"';
    field += c;
  }
  return field + '"';
}

std::string JsonString(const std::string& text) {
  std::string field = "\"";
  for (char c : text) {
    switch (c) {
      case '"':
        field += "\\\"";
        break;
      case '\\':
        field += "\\\\";
        break;
      case '\b':
        field += "\\b";
        break;
      case '\f':
        field += "\\f";
        break;
      case '\n':
        field += "\\n";
        break;
      case '\r':
        field += "\\r";
        break;
      case '\t':
        field += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(c));
          field += escape;
        } else {
          field += c;
        }
    }
  }
  return field + '"';
}

// One line of separated fields: the headings, or one row's texts.
template <typename Field>
std::string SeparatedLine(const std::vector<std::string>& texts, char separator, Field field) {
  std::string line;
  for (size_t i = 0; i < texts.size(); ++i) {
    if (i) line += separator;
    line += field(texts[i]);
  }
  return line + kLineEnd;
}

}  // namespace

bool InventoryRow::operator==(const InventoryRow& other) const {
  return type == other.type && name == other.name && command == other.command &&
         location == other.location;
}

void InventorySink::AddEntryRow(const char* type, const char* name, const char* action,
                                const char* location, int) {
  rows.push_back({type, name, action, location});
}

std::vector<InventoryRow> ScanInventory() {
  InventorySink sink;
  ScanRegistry(sink);
  ScanStartupFolders(sink);
  return std::move(sink.rows);
}

std::string InventoryText(const std::vector<InventoryRow>& rows, InventoryFormat format,
                          UINT codePage) {
  // UTF-8 before any escaping: its multibyte characters hold no ASCII bytes,
  // while a double-byte code page's may hold a backslash or a quote.
  std::vector<std::vector<std::string>> table;
  for (const InventoryRow& row : rows) {
    std::vector<std::string> texts;
    for (const InventoryColumn& column : kInventoryColumns)
      texts.push_back(Utf8FromCodePage(row.*column.field, codePage));
    table.push_back(std::move(texts));
  }
  std::vector<std::string> headings;
  for (const InventoryColumn& column : kInventoryColumns) headings.push_back(column.heading);

  std::string text;
  switch (format) {
    case InventoryFormat::Tabs:
    case InventoryFormat::Csv: {
      const char separator = format == InventoryFormat::Tabs ? '\t' : ',';
      auto field = format == InventoryFormat::Tabs ? TabField : CsvField;
      text = SeparatedLine(headings, separator, field);
      for (const std::vector<std::string>& texts : table)
        text += SeparatedLine(texts, separator, field);
      break;
    }
    case InventoryFormat::Json:
      text = "[";
      for (size_t r = 0; r < table.size(); ++r) {
        text += r ? "," : "";
        text += kLineEnd;
        text += "  {";
        for (size_t c = 0; c < headings.size(); ++c) {
          if (c) text += ", ";
          text += JsonString(headings[c]) + ": " + JsonString(table[r][c]);
        }
        text += "}";
      }
      text += table.empty() ? "]" : std::string(kLineEnd) + "]";
      text += kLineEnd;
      break;
  }
  return text;
}
