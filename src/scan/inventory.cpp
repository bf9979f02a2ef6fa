#include "scan/inventory.h"

#include <cstdio>
#include <utility>

#include "scan/registry_scan.h"
#include "scan/startup_folder_scan.h"
#include "util/text_encoding.h"
#include "util/time_text.h"

namespace {

struct InventoryColumn {
  const char* heading;
  std::string InventoryRow::*field;
};

// The columns in their order; a new one is one more line here.
const InventoryColumn kInventoryColumns[] = {
    {"Type", &InventoryRow::type},       {"Name", &InventoryRow::name},
    {"Command", &InventoryRow::command}, {"Location", &InventoryRow::location},
    {"State", &InventoryRow::state},
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
         location == other.location && state == other.state && disabledSince == other.disabledSince;
}

InventoryRow MakeInventoryRow(std::string type, std::string name, std::string command,
                              std::string location, const EntryApproval& approval) {
  const bool disabled = approval.state == EntryState::Disabled;
  return {std::move(type),
          std::move(name),
          std::move(command),
          std::move(location),
          EntryStateText(approval.state),
          disabled ? approval.disabledSince : 0};
}

void InventorySink::AddEntryRow(const char* type, const char* name, const char* action,
                                const char* location, int, const EntryApproval& approval) {
  rows.push_back(MakeInventoryRow(type, name, action, location, approval));
}

std::vector<InventoryRow> ScanInventory() {
  InventorySink sink;
  ScanRegistry(sink);
  ScanStartupFolders(sink);
  return std::move(sink.rows);
}

InventoryTable InventoryTableOf(const std::vector<InventoryRow>& rows, UINT codePage) {
  // UTF-8 before any escaping: its multibyte characters hold no ASCII bytes,
  // while a double-byte code page's may hold a backslash or a quote.
  InventoryTable table;
  for (const InventoryColumn& column : kInventoryColumns) table.headings.push_back(column.heading);
  table.columns = table.headings.size();
  table.headings.push_back("DisabledSince");
  for (const InventoryRow& row : rows) {
    std::vector<std::string> texts;
    for (const InventoryColumn& column : kInventoryColumns)
      texts.push_back(Utf8FromCodePage(row.*column.field, codePage));
    texts.push_back(row.disabledSince ? IsoUtcText(row.disabledSince) : "");
    table.rows.push_back(std::move(texts));
  }
  return table;
}

std::string InventoryTableText(const InventoryTable& table, InventoryFormat format) {
  const std::vector<std::string> headings(table.headings.begin(),
                                          table.headings.begin() + table.columns);
  std::string text;
  switch (format) {
    case InventoryFormat::Tabs:
    case InventoryFormat::Csv: {
      const char separator = format == InventoryFormat::Tabs ? '\t' : ',';
      auto field = format == InventoryFormat::Tabs ? TabField : CsvField;
      text = SeparatedLine(headings, separator, field);
      for (const std::vector<std::string>& texts : table.rows)
        text +=
            SeparatedLine(std::vector<std::string>(texts.begin(), texts.begin() + table.columns),
                          separator, field);
      break;
    }
    case InventoryFormat::Json:
      text = "[";
      for (size_t r = 0; r < table.rows.size(); ++r) {
        text += r ? "," : "";
        text += kLineEnd;
        text += "  {";
        for (size_t c = 0; c < table.headings.size(); ++c) {
          const std::string& cell = table.rows[r][c];
          if (c >= table.columns && cell.empty()) continue;
          if (c) text += ", ";
          text += JsonString(table.headings[c]) + ": " + JsonString(cell);
        }
        text += "}";
      }
      text += table.rows.empty() ? "]" : std::string(kLineEnd) + "]";
      text += kLineEnd;
      break;
  }
  return text;
}

std::string InventoryText(const std::vector<InventoryRow>& rows, InventoryFormat format,
                          UINT codePage) {
  return InventoryTableText(InventoryTableOf(rows, codePage), format);
}
