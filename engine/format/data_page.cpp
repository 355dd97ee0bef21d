#include "data_page.h"

namespace vantrel::jet {

unsigned slotCount(const Layout& l, Bytes page) { return page.u16(l.dataRowCountAt); }

RowSlot slotAt(const Layout& l, Bytes page, unsigned row) {
    unsigned count = slotCount(l, page);
    if (row >= count) throw FormatError("row " + std::to_string(row) + " of " + std::to_string(count));
    uint16_t raw = page.u16(l.dataSlotsAt + 2 * row);
    RowSlot s;
    s.deleted = raw & kSlotDeleted;
    s.pointer = raw & kSlotPointer;
    s.start = raw & kSlotOffsetMask;
    // Rows are packed from the end of the page downwards: a row ends where the
    // row before it starts (deleted rows keep their space).
    s.end = row == 0 ? uint16_t(l.pageSize) : uint16_t(page.u16(l.dataSlotsAt + 2 * (row - 1)) & kSlotOffsetMask);
    size_t slotsEnd = l.dataSlotsAt + 2 * size_t(count);
    s.valid = s.start >= slotsEnd && s.end <= l.pageSize && s.start < s.end;
    if (!s.deleted && !s.valid)
        throw FormatError("row " + std::to_string(row) + " has bounds " + std::to_string(s.start) + ".." + std::to_string(s.end));
    return s;
}

RowBytes rowAt(PageFile& file, const Layout& l, RowPointer ptr, uint32_t expectOwner, bool forwarded) {
    for (int hop = forwarded ? 1 : 0; hop < 2; ++hop) {
        const uint32_t n = ptr.page;
        PageRef page = file.page(n);
        Bytes pb(page->data(), page->size());
        if (pb.u8(0) != kPageData) throw FormatError("not a data page", n);
        if (expectOwner && pb.u32(l.dataOwnerAt) != expectOwner) throw FormatError("belongs to another table", n);
        const RowSlot s = onPage(n, [&] { return slotAt(l, pb, ptr.row); });
        // A row that was moved to another page carries the deleted flag at its
        // new place, so that scans see it only through its forwarding slot.
        if ((hop == 0 && s.deleted) || !s.valid) throw FormatError("row pointer names a deleted row", n);
        if (!s.pointer) return {page, pb.sub(s.start, size_t(s.end - s.start))};
        if (hop == 1) throw FormatError("row forwarding pointer leads to another pointer", n);
        ptr = onPage(n, [&] { return RowPointer::fromPacked(pb.u32(s.start)); });
    }
    throw FormatError("row forwarding pointer leads to another pointer");
}

}  // namespace vantrel::jet
