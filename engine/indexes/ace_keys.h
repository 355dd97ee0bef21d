// Index keys of the column kinds newer Access (ACE, .accdb) adds, as Access
// writes them:
// - an attachment or multi-value (complex) column holds in the row a 4-byte
//   id of its values in a hidden table; its key is that id, like a Long's;
// - an extended date/time column holds 42 ASCII bytes (days and time as
//   digits, then the precision); its key is those bytes as a run key
//   (run_key.h);
// - a Large Number (BigInt) column's key is its 8 bytes big-endian with the
//   sign bit turned.
// Only the forms seen in files Access wrote are formed: complex and Large
// Number keys ascending.
#pragma once

#include <cstdint>
#include <vector>

#include "bytes.h"
#include "index_key.h"
#include "row_layout.h"
#include "table_def.h"
#include "variant.h"

namespace vantrel::jet {

constexpr uint8_t kExtDateTime = 0x14;

// Whether the kind's key comes from this file (not from the row's plain value).
bool aceKeyKind(uint8_t type);

// The value a key is made from, for a column of an ACE key kind: the complex
// id as a Long, the extended date's stored bytes as Binary, a Large Number as
// a Decimal; Null when absent.
Variant aceKeyValue(const ColumnDef& c, const ColumnSlice& s);

// Byte length of the segment starting at `at` (flag byte included).
size_t aceSegmentLength(const KeyColumn& k, Bytes entry, size_t at);

// Appends the segment of `v` (a value aceKeyValue gives). False for a value
// of another form.
bool encodeAceSegment(const KeyColumn& k, const Variant& v, std::vector<uint8_t>& out);

}  // namespace vantrel::jet
