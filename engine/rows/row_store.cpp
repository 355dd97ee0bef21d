#include "row_store.h"

#include "data_page.h"
#include "data_page_write.h"
#include "page_alloc.h"

namespace vantrel::jet {

namespace {
std::vector<uint8_t> pointerBytes(uint32_t page, unsigned slot) {
    const uint32_t packed = (page << 8) | slot;
    return {uint8_t(packed), uint8_t(packed >> 8), uint8_t(packed >> 16), uint8_t(packed >> 24)};
}
}  // namespace

RowStore::RowStore(PageFile& file, const TableDefData& table) : file_(file), table_(table), l_(Layout::forFormat(file.jet3())) {}

uint32_t RowStore::pageWithRoom(size_t size) {
    if (spare_ != 0) {
        PageRef p = file_.page(spare_);
        Bytes pb(p->data(), p->size());
        if (dataPageFree(l_, pb) >= size + 2 && slotCount(l_, pb) < 255) return spare_;
    }
    const uint32_t n = allocatePage(file_, l_);
    initDataPage(file_.modify(n), l_, table_.page);
    usageMapAdd(file_, l_, table_.usedPagesPtr, n);
    // The free-space map only guides inserts; a page it cannot record is still sound.
    try {
        usageMapAdd(file_, l_, table_.freePagesPtr, n);
    } catch (const JetError&) {
    }
    spare_ = n;
    return n;
}

void RowStore::replace(RowPointer where, const std::vector<uint8_t>& row) {
    PageRef p = file_.page(where.page);
    Bytes pb(p->data(), p->size());
    RowSlot s = slotAt(l_, pb, where.row);
    if (s.deleted) throw err::internal("cannot change a deleted row");
    if (!s.pointer) {
        if (putRowInPage(file_, l_, where.page, where.row, row)) return;
        // No room here: the row moves, a pointer stays.
        const uint32_t target = pageWithRoom(row.size());
        const int slot = addRowToPage(file_, l_, target, row, kSlotDeleted);
        if (slot < 0) throw err::notSupported("a row does not fit on an empty page");
        if (!putRowInPage(file_, l_, where.page, where.row, pointerBytes(target, unsigned(slot)), kSlotPointer))
            throw FormatError("a forwarding pointer does not fit where the row was");
        ++moved_;
        return;
    }
    // Already moved: change it at its new place, or move it on.
    RowPointer at = RowPointer::fromPacked(pb.u32(s.start));
    if (putRowInPage(file_, l_, at.page, at.row, row)) return;
    const uint32_t target = pageWithRoom(row.size());
    const int slot = addRowToPage(file_, l_, target, row, kSlotDeleted);
    if (slot < 0) throw err::notSupported("a row does not fit on an empty page");
    putRowInPage(file_, l_, where.page, where.row, pointerBytes(target, unsigned(slot)), kSlotPointer);
    // The old copy is no longer reachable.
    markRowDeleted(file_, l_, at.page, at.row);
    ++moved_;
}

}  // namespace vantrel::jet
