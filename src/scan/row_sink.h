// Where the scans put the rows they find: the main window's list in the
// program, a plain recorder in tests and benchmarks.
#pragma once

// Image indices of the main list's small image list.
enum EntryImage { RegistryEntryImage = 0, StartupFileImage = 1 };

// Row kinds, compared exactly (byte-wise, case-sensitive) by the entry actions.
inline constexpr char RegistryEntryType[] = "Registry";
inline constexpr char StartupFileType[] = "Start-Up";

class RowSink {
 public:
  virtual ~RowSink() = default;
  // Appends one row; the texts are zero-terminated and only borrowed.
  virtual void AddEntryRow(const char* type, const char* name, const char* action,
                           const char* location, int image) = 0;
};
