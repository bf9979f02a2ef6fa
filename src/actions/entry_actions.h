// Remove and Backup of one start-up entry, given the texts of its list row:
// its kind (its Type text, compared exactly), its name and its location. Each
// asks the kind's source what its entries are (sources/entry_source_actions.h).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "inventory/inventory.h"
#include "scan/row_sink.h"

// The rows' identity beyond their texts (scan/row_sink.h): a registry
// value's exact name where its text cannot give it back, and a start-up
// file's folder as the scan resolved it. Every action takes the row's own
// owner; a default one stands for texts that are exact as they are.

// The UTF-16 name the entry's value has: the owner's exact name, or the text.
std::wstring ExactValueName(const std::string& name, const EntryOwner& owner);

// False when the row may not name the entry it stands for: a name its text
// cannot carry and the owner does not give exactly (shown with '?'), a name
// another entry reads as too, or a start-up file that is no longer the one
// the scan listed (a link or a folder in its place, a folder on the way
// swapped for a link). Every action
// refuses such a row with EntryNotAccessible. Rows of no kind are
// accessible: nothing acts on them.
bool IsEntryAccessible(const std::string& type, const std::string& name,
                       const std::string& location, const EntryOwner& owner = EntryOwner());

// IsEntryAccessible, and for a start-up file also that it has no other name
// (hard link): Remove wipes only a file whose content is its own.
bool IsEntryRemovable(const std::string& type, const std::string& name,
                      const std::string& location, const EntryOwner& owner = EntryOwner());

// Deletes the entry at its source: the value of a registry entry by its
// exact name, or the file of a start-up folder entry after one pass of zeros,
// through the one handle that found it to be the file listed
// (RemoveListedFile). Any other kind, a key path that names no root, a
// folder or a missing file: nothing is deleted. Once the entry is gone (a
// file only pending deletion counts), its Disable switch goes too. An entry
// that is not accessible is left alone. True when the entry is gone now;
// failures are not reported otherwise.
bool RemoveEntry(const std::string& type, const std::string& name, const std::string& location,
                 const EntryOwner& owner = EntryOwner());

// What the save dialog is opened with.
struct SaveFileRequest {
  const char* defaultExtension;  // null: none
  std::string fileName;          // the proposed name
  DWORD flags;                   // OFN_* flags
  const char* filter;            // "Name|pattern|...|"
};

// The questions a backup asks; the window that runs it answers them.
class BackupPrompts {
 public:
  virtual ~BackupPrompts() = default;
  // The save dialog: false when the user cancelled, else the chosen full path.
  virtual bool ChooseTarget(const SaveFileRequest& request, std::string& path) = 0;
  // A message box with the caption "Warning"; returns the button pressed.
  virtual int Warn(const std::string& text, UINT type) = 0;
  // A message box with the caption "Error" and the error icon.
  virtual void Fail(const std::string& text) = 0;
};

inline constexpr char EntryNotAccessible[] = "Entry Not Accessible!";
inline constexpr char InvalidPath[] = "Invalid path!";
inline constexpr char OverwriteQuestion[] = "File exists.\nOverwrite it?";
inline constexpr char UnableToSave[] = "Unable to save file!";
inline constexpr char RegistryFilesFilter[] = "Registry Files (*.reg)|*.reg|All Files (*.*)|*.*|";
inline constexpr char AllFilesFilter[] = "All Files (*.*)|*.*|";
inline constexpr char CsvFilesFilter[] = "CSV Files (*.csv)|*.csv|All Files (*.*)|*.*|";
inline constexpr char SavedListName[] = "Lumivane.csv";

// Saves the entry to a file the user chooses: a registry value as a
// registration file, a start-up file as a byte-exact copy (never onto
// itself: "Invalid path!"). Any other kind, or
// a key path that names no root, does nothing and asks nothing; an entry that
// is not accessible, or a value whose name the registration file cannot
// carry exactly (one its text does not give back), is refused with
// EntryNotAccessible. The file is
// written whole or not at all; an earlier file at that path is replaced only
// by a complete one.
void BackupEntry(const std::string& type, const std::string& name, const std::string& location,
                 BackupPrompts& prompts, const EntryOwner& owner = EntryOwner());

// Saves the rows as CSV, the bytes of "lumivanec -c -o", to a file the user
// chooses, asking and warning as a backup does. The file is written whole or
// not at all: an earlier file of that name stays if writing fails.
void SaveEntryList(const std::vector<InventoryRow>& rows, BackupPrompts& prompts);
