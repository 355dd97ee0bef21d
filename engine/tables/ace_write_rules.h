// What the engine will not change because the change would touch a column
// kind newer Access (ACE) writes that this engine does not write: attachment
// and multi-value (complex) columns, whose values live in hidden tables;
// extended date/time and Large Number columns; calculated columns, whose
// value Access computes; and column types it does not know at all. Each
// function gives the reason for a 3251 refusal, or "" when the change is safe.
#pragma once

#include <string>
#include <vector>

#include "table_def.h"

namespace vantrel::jet {

constexpr uint8_t kColCalculated = 0xC0;  // in ColumnDef::extFlags

// A column whose stored values this engine does not write.
std::string unwritableColumn(const ColumnDef& c);

// An UPDATE of `targets` (indexes into t.columns): a target it may not write,
// or an index over a target that holds a column whose key this engine cannot
// form from the row (an entry would be rewritten with a wrong segment).
std::string unwritableUpdate(const TableDefData& t, const std::vector<int>& targets);

// Adding rows: the table has a column whose values the engine cannot store.
// Removing rows: the table has a complex column, whose values in the hidden
// table would be left behind.
std::string unwritableRows(const TableDefData& t, bool adding);

}  // namespace vantrel::jet
