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
  bool jsonOnly;
};

// The columns in their order; a new one is one more line here.
const InventoryColumn kInventoryColumns[] = {
    {"Type", &InventoryRow::type, false},
    {"Name", &InventoryRow::name, false},
    {"Command", &InventoryRow::command, false},
    {"Location", &InventoryRow::location, false},
    {"State", &InventoryRow::state, false},
    {"ImagePath", &InventoryRow::imagePath, false},
    {"Publisher", &InventoryRow::publisher, false},
    {"Signature", &InventoryRow::signature, false},
    {"User", &InventoryRow::user, false},
    {"Description", &InventoryRow::description, true},
    {"Version", &InventoryRow::version, true},
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
  for (const InventoryColumn& column : kInventoryColumns)
    if (this->*column.field != other.*column.field) return false;
  return disabledSince == other.disabledSince;
}

InventoryRow MakeInventoryRow(std::string type, std::string name, std::string command,
                              std::string location, const EntryApproval& approval) {
  InventoryRow row;
  row.type = std::move(type);
  row.name = std::move(name);
  row.command = std::move(command);
  row.location = std::move(location);
  row.state = EntryStateText(approval.state);
  if (approval.state == EntryState::Disabled) row.disabledSince = approval.disabledSince;
  return row;
}

void AddDetails(InventoryRow& row, const EntryDetails& details) {
  row.imagePath = details.imagePath;
  row.publisher = PublisherFieldText(details);
  row.signature = ImageSignatureText(details.signature);
  row.user = details.user;
  row.description = details.description;
  row.version = details.version;
}

void InventorySink::AddEntryRow(const char* type, const char* name, const char* action,
                                const char* location, int, const EntryApproval& approval,
                                const EntryOwner& owner) {
  rows.push_back(MakeInventoryRow(type, name, action, location, approval));
  owners.push_back(owner);
}

std::vector<InventoryRow> ScanInventory() {
  InventorySink sink;
  ScanRegistry(sink);
  ScanStartupFolders(sink);
  EntryDetailsReader reader;
  for (size_t i = 0; i < sink.rows.size(); ++i) {
    InventoryRow& row = sink.rows[i];
    AddDetails(row, reader.Read(row.type, row.command, row.location, sink.owners[i]));
  }
  return std::move(sink.rows);
}

std::string InventoryText(const std::vector<InventoryRow>& rows, InventoryFormat format,
                          UINT codePage) {
  // UTF-8 before any escaping: its multibyte characters hold no ASCII bytes,
  // while a double-byte code page's may hold a backslash or a quote.
  const bool json = format == InventoryFormat::Json;
  std::vector<std::vector<std::string>> table;
  for (const InventoryRow& row : rows) {
    std::vector<std::string> texts;
    for (const InventoryColumn& column : kInventoryColumns)
      if (json || !column.jsonOnly) texts.push_back(Utf8FromCodePage(row.*column.field, codePage));
    table.push_back(std::move(texts));
  }
  std::vector<std::string> headings;
  for (const InventoryColumn& column : kInventoryColumns)
    if (json || !column.jsonOnly) headings.push_back(column.heading);

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
        if (rows[r].disabledSince)
          text += ", \"DisabledSince\": " + JsonString(IsoUtcText(rows[r].disabledSince));
        text += "}";
      }
      text += table.empty() ? "]" : std::string(kLineEnd) + "]";
      text += kLineEnd;
      break;
  }
  return text;
}
