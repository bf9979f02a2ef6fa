// A list written earlier (by lumivanec or Save List) read back and compared
// with the list of now, for scripts that watch what starts with Windows.
#pragma once

#include <string>

#include "inventory/inventory.h"

// Reads a list in any of the three formats, told apart by its content, with
// or without a UTF-8 byte-order mark. False when the text is none of them or
// lacks the Type, Name or Location column; `table` is then undefined. A JSON
// object without a key of another object reads as an empty text there.
bool ParseInventoryText(const std::string& text, InventoryTable& table);

struct InventoryComparison {
  // A first column Change, then the columns of `current`: "added" and
  // "changed" rows are current ones in their order, then the "removed" rows
  // of the baseline in theirs, with empty texts for columns it lacks.
  InventoryTable changes;
  bool addedOrChanged = false;
};

// Rows are the same entry when Type, Location and Name agree, letter case
// aside as Windows has it; the n-th of several such rows matches the n-th.
// An entry is changed when Command, State or ImagePath differ, of those the
// baseline has.
InventoryComparison CompareInventories(const InventoryTable& baseline,
                                       const InventoryTable& current);
