// Rows on a data page: the slot table, row boundaries and the flags Jet keeps
// in the top bits of each slot.
#pragma once

#include <cstdint>

#include "bytes.h"
#include "layout.h"
#include "page_file.h"

namespace vantrel::jet {

constexpr uint16_t kSlotDeleted = 0x8000;
constexpr uint16_t kSlotPointer = 0x4000;  // the row holds a pointer to where the data now lives
constexpr uint16_t kSlotOffsetMask = 0x1FFF;

struct RowSlot {
    uint16_t start = 0;
    uint16_t end = 0;  // one past the last byte
    bool deleted = false;
    bool pointer = false;
    bool valid = false;  // bounds lie inside the page
};

// Number of slots on a data page.
unsigned slotCount(const Layout& l, Bytes page);

// Slot `row` of a data page; FormatError when it does not fit the page.
RowSlot slotAt(const Layout& l, Bytes page, unsigned row);

// The bytes of the row a pointer names, following at most one forwarding
// pointer (a slot flagged kSlotPointer holds the packed pointer to the row's
// new place). FormatError when the pointer does not name a live row.
struct RowBytes {
    PageRef page;
    Bytes bytes;
};
// `forwarded`: ptr came from a forwarding slot, so it names a moved row.
RowBytes rowAt(PageFile& file, const Layout& l, RowPointer ptr, uint32_t expectOwner = 0, bool forwarded = false);

}  // namespace vantrel::jet
