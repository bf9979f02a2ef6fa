// Lists the string values of the Run-type keys of the machine (both registry
// views on 64-bit Windows), the current user and every user hive.
#pragma once

#include <vector>

#include "scan/registry_access.h"
#include "scan/row_sink.h"

// The Type text of its rows (sources/entry_source.h).
inline constexpr char RegistryEntryType[] = "Registry";

// Sub-keys looked at under every root, in the order of the rows; the key of
// the Run policy follows them.
extern const char* const RunLocationSuffixes[10];
extern const char PolicyRunSuffix[];
// The machine's shadow keys of a Remote Desktop Session Host, after the
// policy key of each of its views.
extern const char* const ShadowRunSuffixes[3];

// The keys ScanRegistry reads, in the order of their rows: root, sub-key and
// the path the Location column shows.
std::vector<RegistryLocation> RunKeyLocations();

// Adds one "Registry" row per REG_SZ / REG_EXPAND_SZ value: the machine's keys
// (its shadow keys included),
// those of its 32-bit view below Software\Wow6432Node (64-bit Windows only),
// the current user's, then each hive's in name order; for each key, the REG_SZ
// names ascending, then the REG_EXPAND_SZ names ascending. Read-only; what
// cannot be read gives no row.
void ScanRegistry(RowSink& sink);
