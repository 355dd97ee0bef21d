// Consistency of a table's indexes with its rows: every index, walked in key
// order, must be sorted and hold exactly one entry per live row, whose
// segments agree with the row's values.
#pragma once

#include <string>
#include <vector>

#include "page_file.h"
#include "table_def.h"

namespace vantrel::jet {

// An empty result means every index is consistent.
std::vector<std::string> checkIndexes(PageFile& file, const TableDefData& t);

}  // namespace vantrel::jet
