// Taking a stored row apart into its pieces and putting it together again,
// so that a change touches only the columns it names and keeps every other
// byte (including those of dropped columns) as it was.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "bytes.h"
#include "layout.h"
#include "table_def.h"

namespace vantrel::jet {

struct RowParts {
    uint16_t columnCount = 0;                 // bits in the null mask
    std::vector<uint8_t> fixed;               // the fixed-width area
    std::vector<std::vector<uint8_t>> vars;   // variable-width entries by index
    bool hasVarTable = false;
    std::vector<uint8_t> nullMask;            // one bit per column number, 1 = has a value
};

RowParts splitRow(const Layout& l, const TableDefData& t, Bytes row);
// The same into `into`, reusing its storage (a caller taking many rows apart
// keeps one RowParts).
void splitRow(const Layout& l, const TableDefData& t, Bytes row, RowParts& into);

// joinRow's refusal of sound pieces that do not make one row: over the size
// limit, or offsets a Jet3 jump table cannot express. Callers refuse the row
// ("row too long"); it is neither damage nor an internal fault.
class RowTooLong : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The stored form. RowTooLong when the pieces do not fit one row;
// FormatError when they cannot be a row of the table at all (a Jet3 row of
// more than 255 columns).
std::vector<uint8_t> joinRow(const Layout& l, const RowParts& parts);
// The same into `out` (replaced), reusing its storage.
void joinRow(const Layout& l, const RowParts& parts, std::vector<uint8_t>& out);

// The length joinRow would give, without building the row: Jet4 rows only
// (nullopt for Jet3, whose jump table only a build settles).
std::optional<size_t> joinedSize(const Layout& l, const RowParts& parts);

// Gives column c the stored bytes `value` (not Null).
void setColumnBytes(RowParts& parts, const ColumnDef& c, const std::vector<uint8_t>& value);

// Largest row a data page can hold.
inline size_t maxRowSize(const Layout& l) { return l.pageSize - l.dataSlotsAt - 2; }

}  // namespace vantrel::jet
