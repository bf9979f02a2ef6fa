// One kind of start-up entry, all rows of one Type text, answers for its
// entries here: its read half. Nothing outside a source compares Type texts
// or takes a row's Location apart; the rest of the program looks the source
// up once from the row's Type and asks it. The write half of a kind (Remove,
// Backup, the switch, undo) is its EntrySourceActions
// (sources/entry_source_actions.h), in the actions library, which lumivanec
// does not link.
//
// A new kind: a folder sources/<kind>/ with its scan and a class derived from
// EntrySource, one line in the table of entry_source.cpp, and the same for
// its write half.
#pragma once

#include <string>
#include <vector>

#include "scan/registry_access.h"
#include "scan/row_sink.h"

struct ApprovalSlot;
struct ResolvedImage;
class UserEnvironment;

class EntrySource {
 public:
  virtual ~EntrySource() = default;

  // The rows' Type text ("Registry", "Start-Up").
  virtual const char* Type() const = 0;

  // Adds a row per entry of this kind, in the order the list shows them.
  // Read-only; what cannot be read gives no row.
  virtual void Scan(RowSink& sink) const = 0;

  // The slot of Windows' start-up switch of the entry (scan/startup_approved.h);
  // false when Windows keeps none for it.
  virtual bool FindApprovalSlot(const std::string& name, const std::string& location,
                                ApprovalSlot& slot) const = 0;

  // The program the entry starts, read in its owner's environment.
  virtual ResolvedImage Image(const std::string& command, const std::string& location,
                              const EntryOwner& owner,
                              const UserEnvironment& environment) const = 0;

  // The registry key Jump to Entry shows in regedit, as regedit names it
  // below "Computer"; empty when the entry is no registry value.
  virtual std::string RegistryKeyOf(const std::string& location) const = 0;

  // The file Open File Location shows for the entry itself; empty when the
  // entry is no file (its image is shown then).
  virtual std::string FileOf(const std::string& location) const = 0;

  // Whether two lists taken apart name an entry by its Name as well as by its
  // Type and Location; false where the Location alone tells entries apart and
  // the Name may change with the language or the account.
  virtual bool NameIsIdentity() const { return true; }

  // The keys and folders the list of this kind is read from, whether they
  // exist or not, for the watch (scan/watch_targets.h).
  virtual void AddWatchedKeys(std::vector<RegistryLocation>& keys) const = 0;
  virtual void AddWatchedFolders(std::vector<std::string>& folders) const = 0;
};

// The source of a row's Type text, compared exactly (byte-wise,
// case-sensitive); null for a text no source lists.
const EntrySource* FindEntrySource(const std::string& type);

// Every source, in the order their rows are listed.
const std::vector<const EntrySource*>& EntrySources();

// The rows of every source, in that order.
void ScanEntrySources(RowSink& sink);
