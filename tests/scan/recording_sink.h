// A RowSink that keeps every row it is given, in order.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "scan/row_sink.h"

struct RecordedRow {
  std::string type;
  std::string name;
  std::string action;
  std::string location;
  int image = -1;

  bool operator==(const RecordedRow& other) const {
    return type == other.type && name == other.name && action == other.action &&
           location == other.location && image == other.image;
  }
};

inline std::ostream& operator<<(std::ostream& out, const RecordedRow& row) {
  return out << "{" << row.type << " | " << row.name << " | " << row.action << " | " << row.location
             << " | " << row.image << "}";
}

class RecordingSink : public RowSink {
 public:
  void AddEntryRow(const char* type, const char* name, const char* action, const char* location,
                   int image, const EntryApproval& approval,
                   const EntryOwner& owner = EntryOwner()) override {
    rows.push_back(RecordedRow{type, name, action, location, image});
    approvals.push_back(approval);
    owners.push_back(owner);
  }

  std::vector<RecordedRow> rows;
  std::vector<EntryApproval> approvals;  // one per row
  std::vector<EntryOwner> owners;        // one per row
};
