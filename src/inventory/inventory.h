// The rows of a refresh as text for a file or a script: tab-separated, CSV or
// JSON. No window here: the console program and the main window's
// "Save List..." share it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "details/entry_details.h"
#include "scan/row_sink.h"

// One row's texts, in the program's code page.
struct InventoryRow {
  std::string type;
  std::string name;
  std::string command;  // the list's Action <=> Property
  std::string location;
  std::string state;           // EntryStateText: "enabled", "disabled" or "n/a"
  uint64_t disabledSince = 0;  // FILETIME ticks, UTC, of a disabled row; 0 when unknown
  std::string imagePath;       // the program it starts, found or not
  std::string publisher;       // the signer when verified, else CompanyName
  std::string signature = ImageSignatureText(ImageSignature::NotApplicable);
  std::string user;
  std::string description, version;  // the program's version resource
  bool locked = false;               // the state is the machine's policy
  bool operator==(const InventoryRow& other) const;
};

// A row's texts, with the State and DisabledSince of its switch.
InventoryRow MakeInventoryRow(std::string type, std::string name, std::string command,
                              std::string location, const EntryApproval& approval);

// Adds what `details` tell to the row's texts.
void AddDetails(InventoryRow& row, const EntryDetails& details);

// Collects the rows the scans find, in order.
class InventorySink : public RowSink {
 public:
  void AddEntryRow(const char* type, const char* name, const char* action, const char* location,
                   int image, const EntryApproval& approval,
                   const EntryOwner& owner = EntryOwner()) override;
  std::vector<InventoryRow> rows;
  std::vector<EntryOwner> owners;  // one per row
};

// Both scans, in the order of the main window's list, each row with its details.
// Each row's program file is read under a time limit (milliseconds, by its
// volume), on a thread that is left behind when it does not come back after
// its file was cancelled: the list always ends.
std::vector<InventoryRow> ScanInventory(DWORD localLimit = kLocalFileLimit,
                                        DWORD remoteLimit = kRemoteFileLimit);

// No format carries a raw control character (U+0000-U+001F, U+007F,
// U+0080-U+009F) except CSV, which keeps each inside quotes, where it is data.
enum class InventoryFormat {
  Tabs,  // a header line, one row per line; \\, \t, \r, \n stand for what they
         // name, \xHH for any other control character
  Csv,   // RFC 4180: a header line, fields quoted where needed, CR LF
  Json,  // an array of objects, one per row, keyed by the column headings and
         // also Description and Version; a disabled row's also has
         // "DisabledSince", ISO 8601 in UTC, and a row locked by policy
         // "Policy": "locked"
};

// Where the text goes, which changes CSV only.
enum class InventoryTarget {
  Pipe,     // standard output redirected: the bare text
  File,     // a file of its own (Save List, lumivanec -o): CSV begins with Utf8ByteOrderMark
  Console,  // read on a screen: CSV shows each control character as \xHH
};

inline constexpr char Utf8ByteOrderMark[] = "\xEF\xBB\xBF";

// A list as texts in UTF-8: headings and, per row, one text a heading.
struct InventoryTable {
  std::vector<std::string> headings;
  // The first `columns` headings are columns of every format; the next ones
  // up to `jsonColumns` are JSON keys only; any after those are JSON keys
  // left out of a row whose text for them is empty.
  size_t columns = 0;
  size_t jsonColumns = 0;
  std::vector<std::vector<std::string>> rows;
};

// The rows' texts, taken in `codePage`, with DisabledSince and Policy as JSON
// keys written only where a row has them.
InventoryTable InventoryTableOf(const std::vector<InventoryRow>& rows, UINT codePage = CP_ACP);

// The whole text, every line ending in CR LF.
std::string InventoryTableText(const InventoryTable& table, InventoryFormat format,
                               InventoryTarget target = InventoryTarget::Pipe);

// InventoryTableText of InventoryTableOf.
std::string InventoryText(const std::vector<InventoryRow>& rows, InventoryFormat format,
                          UINT codePage = CP_ACP, InventoryTarget target = InventoryTarget::Pipe);
