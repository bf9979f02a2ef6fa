// The rows of a refresh as text for a file or a script: tab-separated, CSV or
// JSON. No window here: the console program and the main window's
// "Save List..." share it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "scan/row_sink.h"

// One row's texts, in the program's code page.
struct InventoryRow {
  std::string type;
  std::string name;
  std::string command;  // the list's Action <=> Property
  std::string location;
  bool operator==(const InventoryRow& other) const;
};

// Collects the rows the scans find, in order.
class InventorySink : public RowSink {
 public:
  void AddEntryRow(const char* type, const char* name, const char* action, const char* location,
                   int image) override;
  std::vector<InventoryRow> rows;
};

// Both scans, in the order of the main window's list.
std::vector<InventoryRow> ScanInventory();

enum class InventoryFormat {
  Tabs,  // a header line, one row per line; \\, \t, \r, \n stand for what they name
  Csv,   // RFC 4180: a header line, fields quoted where needed, CR LF
  Json,  // an array of objects, one per row, keyed by the column headings
};

// The whole text in UTF-8, every line ending in CR LF. The rows' texts are
// taken in `codePage`.
std::string InventoryText(const std::vector<InventoryRow>& rows, InventoryFormat format,
                          UINT codePage = CP_ACP);
