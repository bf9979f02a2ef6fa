// Lists the string values of the Run-type keys of the machine, the current user
// and every user hive.
#pragma once

#include "scan/row_sink.h"

// Sub-keys looked at under every root, in the order of the rows.
extern const char* const RunLocationSuffixes[10];

// Adds one "Registry" row per REG_SZ / REG_EXPAND_SZ value: for each key, the
// REG_SZ names ascending, then the REG_EXPAND_SZ names ascending. Read-only;
// what cannot be read gives no row.
void ScanRegistry(RowSink& sink);
