#include "inventory/inventory.h"

#include <process.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <utility>

#include "sources/entry_source.h"
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

// The control character (U+0000-U+001F, U+007F, U+0080-U+009F) that begins at
// byte `i` of a UTF-8 text, or -1. A C1 control is the two bytes C2 80 to
// C2 9F; a lone byte 0x80-0x9F only continues another character.
int ControlAt(const std::string& text, size_t i) {
  const unsigned char c = static_cast<unsigned char>(text[i]);
  if (c < 0x20 || c == 0x7F) return c;
  if (c == 0xC2 && i + 1 < text.size()) {
    const unsigned char next = static_cast<unsigned char>(text[i + 1]);
    if (next >= 0x80 && next <= 0x9F) return next;
  }
  return -1;
}

// The bytes a control character takes in UTF-8.
size_t ControlSize(int control) {
  return control >= 0x80 ? 2 : 1;
}

std::string HexEscape(const char* form, int control) {
  char escape[8];
  std::snprintf(escape, sizeof escape, form, control);
  return escape;
}

// A field never spreads over two lines and carries no control character, so
// a script reads one row a line and a terminal shows it as it is.
std::string TabField(const std::string& text) {
  std::string field;
  for (size_t i = 0; i < text.size();) {
    const int control = ControlAt(text, i);
    if (control < 0) {
      field += text[i] == '\\' ? "\\\\" : std::string(1, text[i]);
      ++i;
      continue;
    }
    switch (control) {
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
        field += HexEscape("\\x%02x", control);
    }
    i += ControlSize(control);
  }
  return field;
}

// RFC 4180: a field with a separator, a quote or any control character goes
// in quotes and keeps every character.
std::string CsvField(const std::string& text) {
  bool quoted = text.find_first_of(",\"") != std::string::npos;
  for (size_t i = 0; i < text.size() && !quoted; ++i) quoted = ControlAt(text, i) >= 0;
  if (!quoted) return text;
  std::string field = "\"";
  for (char c : text) {
    if (c == '"') field += '"';
    field += c;
  }
  return field + '"';
}

// CSV for a console: a terminal would act on a control character, so each
// shows as \xHH instead.
std::string ShownCsvField(const std::string& text) {
  std::string shown;
  for (size_t i = 0; i < text.size();) {
    const int control = ControlAt(text, i);
    shown += control < 0 ? std::string(1, text[i]) : HexEscape("\\x%02x", control);
    i += control < 0 ? 1 : ControlSize(control);
  }
  return CsvField(shown);
}

std::string JsonString(const std::string& text) {
  std::string field = "\"";
  for (size_t i = 0; i < text.size();) {
    const int control = ControlAt(text, i);
    if (control < 0) {
      if (text[i] == '"' || text[i] == '\\') field += '\\';
      field += text[i];
      ++i;
      continue;
    }
    switch (control) {
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
        field += HexEscape("\\u%04x", control);
    }
    i += ControlSize(control);
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
  return disabledSince == other.disabledSince && locked == other.locked;
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
  row.locked = approval.locked;
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

namespace {

// How long a thread whose file was cancelled may take to come back.
constexpr DWORD kCancelGrace = 1000;

// The rows whose details one thread reads, from `first` on. Shared with the
// thread, which may outlive the scan when it is left behind.
struct DetailsShare {
  std::vector<InventoryRow> rows;
  std::vector<EntryOwner> owners;
  std::vector<EntryDetails> details;
  size_t first = 0;
  std::atomic<size_t> done{0};
  DWORD localLimit = 0, remoteLimit = 0;
  std::unique_ptr<FileTimeLimit> limit;
};

unsigned __stdcall ReadShare(void* parameter) {
  const std::unique_ptr<std::shared_ptr<DetailsShare>> owned(
      static_cast<std::shared_ptr<DetailsShare>*>(parameter));
  DetailsShare& share = **owned;
  EntryDetailsReader reader;
  reader.LimitTime(share.limit.get(), share.localLimit, share.remoteLimit);
  for (size_t i = share.first; i < share.rows.size(); ++i) {
    const InventoryRow& row = share.rows[i];
    share.details[i] = reader.Read(row.type, row.command, row.location, share.owners[i]);
    share.done.store(i + 1, std::memory_order_release);
  }
  return 0;
}

}  // namespace

std::vector<InventoryRow> ScanInventory(DWORD localLimit, DWORD remoteLimit) {
  InventorySink sink;
  ScanEntrySources(sink);
  std::vector<EntryDetails> details(sink.rows.size());
  for (size_t next = 0; next < sink.rows.size();) {
    auto share = std::make_shared<DetailsShare>();
    share->rows = sink.rows;
    share->owners = sink.owners;
    share->details.resize(sink.rows.size());
    share->first = next;
    share->done = next;
    share->localLimit = localLimit;
    share->remoteLimit = remoteLimit;
    auto* reference = new std::shared_ptr<DetailsShare>(share);
    const uintptr_t started =
        _beginthreadex(nullptr, 0, ReadShare, reference, CREATE_SUSPENDED, nullptr);
    if (!started) {  // no thread to spare: read here, without a limit
      delete reference;
      EntryDetailsReader reader;
      for (; next < sink.rows.size(); ++next) {
        const InventoryRow& row = sink.rows[next];
        details[next] = reader.Read(row.type, row.command, row.location, sink.owners[next]);
      }
      break;
    }
    const HANDLE thread = reinterpret_cast<HANDLE>(started);
    share->limit = std::make_unique<FileTimeLimit>(thread);
    ResumeThread(thread);
    bool ended = false;
    while (!(ended = WaitForSingleObject(thread, 100) == WAIT_OBJECT_0) &&
           !share->limit->Overdue(kCancelGrace)) {
    }
    CloseHandle(thread);
    const size_t done = share->done.load(std::memory_order_acquire);
    for (; next < done; ++next) details[next] = std::move(share->details[next]);
    // Left behind inside a file: that row goes without its details.
    if (!ended) {
      details[next].user = OwnerUserName(sink.owners[next]);
      ++next;
    }
  }
  for (size_t i = 0; i < sink.rows.size(); ++i) AddDetails(sink.rows[i], details[i]);
  return std::move(sink.rows);
}

InventoryTable InventoryTableOf(const std::vector<InventoryRow>& rows, UINT codePage) {
  // UTF-8 before any escaping: its multibyte characters hold no ASCII bytes,
  // while a double-byte code page's may hold a backslash or a quote.
  InventoryTable table;
  // The columns of every format, then those of JSON only, then DisabledSince.
  for (const bool jsonOnly : {false, true}) {
    for (const InventoryColumn& column : kInventoryColumns)
      if (column.jsonOnly == jsonOnly) table.headings.push_back(column.heading);
    if (!jsonOnly) table.columns = table.headings.size();
  }
  table.jsonColumns = table.headings.size();
  table.headings.push_back("DisabledSince");
  table.headings.push_back("Policy");
  for (const InventoryRow& row : rows) {
    std::vector<std::string> texts;
    for (const bool jsonOnly : {false, true})
      for (const InventoryColumn& column : kInventoryColumns)
        if (column.jsonOnly == jsonOnly)
          texts.push_back(Utf8FromCodePage(row.*column.field, codePage));
    // No time, or one that names no date: no key rather than an empty one.
    texts.push_back(row.disabledSince ? IsoUtcText(row.disabledSince) : "");
    texts.push_back(row.locked ? "locked" : "");
    table.rows.push_back(std::move(texts));
  }
  return table;
}

std::string InventoryTableText(const InventoryTable& table, InventoryFormat format,
                               InventoryTarget target) {
  const std::vector<std::string> headings(table.headings.begin(),
                                          table.headings.begin() + table.columns);
  std::string text;
  switch (format) {
    case InventoryFormat::Tabs:
    case InventoryFormat::Csv: {
      const bool csv = format == InventoryFormat::Csv;
      // Spreadsheets read a CSV file without the mark in the ANSI code page;
      // a script reading standard output wants the bare text.
      if (csv && target == InventoryTarget::File) text = Utf8ByteOrderMark;
      const char separator = csv ? ',' : '\t';
      auto field = !csv ? TabField : target == InventoryTarget::Console ? ShownCsvField : CsvField;
      text += SeparatedLine(headings, separator, field);
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
          if (c >= table.jsonColumns && cell.empty()) continue;
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
                          UINT codePage, InventoryTarget target) {
  return InventoryTableText(InventoryTableOf(rows, codePage), format, target);
}
