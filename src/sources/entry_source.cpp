#include "sources/entry_source.h"

// Each source's one instance, defined beside its scan.
const EntrySource& RegistrySource();
const EntrySource& StartupFolderSource();
const EntrySource& AppTaskSource();
const EntrySource& LogonSource();
const EntrySource& ScheduledTaskSource();

const std::vector<const EntrySource*>& EntrySources() {
  static const std::vector<const EntrySource*> sources = {
      &RegistrySource(),
      &StartupFolderSource(),
      &AppTaskSource(),
      &LogonSource(),
      &ScheduledTaskSource(),
  };
  return sources;
}

void ScanEntrySources(RowSink& sink) {
  for (const EntrySource* source : EntrySources()) source->Scan(sink);
}

const EntrySource* FindEntrySource(const std::string& type) {
  for (const EntrySource* source : EntrySources())
    if (type == source->Type()) return source;
  return nullptr;
}
