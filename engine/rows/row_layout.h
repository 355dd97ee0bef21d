// Cracking a stored row into its columns: the null mask, the fixed area and
// the variable-length area with its offset table (and, in Jet3, jump table).
#pragma once

#include <vector>

#include "bytes.h"
#include "layout.h"
#include "table_def.h"

namespace vantrel::jet {

struct ColumnSlice {
    bool present = false;  // false: Null (or, for Yes/No, the value false)
    Bytes data;            // the stored bytes of a present, non-boolean column
};

struct CrackedRow {
    uint16_t columnCount = 0;
    std::vector<ColumnSlice> columns;  // parallel to TableDefData::columns
};

// `only`, when given, names the columns wanted (by index); the others stay absent.
void crackRow(const Layout& l, const TableDefData& t, Bytes row, CrackedRow& out, const std::vector<bool>* only = nullptr);

// The offsets of a row's variable-width entries, the end of the variable data
// last (for rows of tables that have variable-width columns).
void variableOffsets(const Layout& l, Bytes row, size_t maskLen, std::vector<uint32_t>& offs);

}  // namespace vantrel::jet
