// Stored column bytes to a Variant, for every Jet column type.
#pragma once

#include "page_file.h"
#include "row_layout.h"
#include "table_def.h"
#include "variant.h"

namespace vantrel::jet {

Variant decodeValue(PageFile& file, const Layout& l, const ColumnDef& c, const ColumnSlice& s);

// The same into `out`, reusing its storage: a reader of many rows keeps one
// Variant per column and allocates only when a value outgrows the last one.
void decodeValueInto(PageFile& file, const Layout& l, const ColumnDef& c, const ColumnSlice& s, Variant& out);

}  // namespace vantrel::jet
