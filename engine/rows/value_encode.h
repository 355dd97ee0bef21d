// A value converted to a column's type, and its stored bytes: the reverse of
// value_decode. Conversions follow Jet's: "" and numbers go into text, numbers
// and numeric text into number columns; bytes into binary and OLE columns;
// a GUID or its "{...}" text into GUID columns.
#pragma once

#include <string>
#include <vector>

#include "table_def.h"
#include "variant.h"

namespace vantrel::jet {

struct Converted {
    bool ok = false;
    std::string refusal;          // why not, when !ok
    Variant value;                // as the column will hold it
    std::vector<uint8_t> stored;  // its bytes in the row (empty for Yes/No)
    // Memo and OLE values too long to live in the row: their bytes, which
    // go to long-value pages (stored is then empty).
    bool needsLongValue = false;
    std::vector<uint8_t> longData;
};

// `v` must not be Null. `jet3` and `codePage` choose the text encoding.
Converted convertForColumn(const ColumnDef& c, const Variant& v, bool jet3, uint16_t codePage);

}  // namespace vantrel::jet
