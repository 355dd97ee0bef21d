// Consistency of a table's indexes with its rows: every index, walked in key
// order, must be sorted and hold exactly one entry per live row, whose
// segments agree with the row's values.
#pragma once

#include <string>
#include <vector>

#include "page_file.h"
#include "table_def.h"

namespace vantrel::jet {

// An empty result means every index is consistent. Entries whose key bytes
// the engine cannot form (a sort order or a character it does not know) are
// checked for order, rows and Nulls only; `unverified`, when given, receives
// one line per index column left so.
std::vector<std::string> checkIndexes(PageFile& file, const TableDefData& t, std::vector<std::string>* unverified = nullptr);

}  // namespace vantrel::jet
