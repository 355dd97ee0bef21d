// Index keys: an entry is the concatenation of one segment per index column
// (a flag byte, then the column's sortable bytes) and the row pointer. Keys
// compare as plain byte strings.
#pragma once

#include <cstdint>
#include <vector>

#include "bytes.h"
#include "table_def.h"
#include "variant.h"

namespace vantrel::jet {

constexpr uint8_t kKeyAscNull = 0x00, kKeyAscStart = 0x7F, kKeyDescStart = 0x80, kKeyDescNull = 0xFF;

struct KeyColumn {
    const ColumnDef* column = nullptr;
    bool ascending = true;
};

// The key columns of a physical index, resolved against the table.
std::vector<KeyColumn> keyColumns(const TableDefData& t, const RealIndexDef& r);

// Byte length of the segment starting at `at`. FormatError when the bytes do
// not form a segment of this column's type.
size_t segmentLength(const KeyColumn& k, bool jet3, Bytes entry, size_t at);

inline bool segmentIsNull(const KeyColumn& k, uint8_t flag) { return flag == (k.ascending ? kKeyAscNull : kKeyDescNull); }

// Appends the segment for `v`. Returns false for values this engine cannot
// encode in sort order (text it cannot place, GUID, decimal, OLE).
bool encodeSegment(const KeyColumn& k, bool jet3, const Variant& v, std::vector<uint8_t>& out);

}  // namespace vantrel::jet
