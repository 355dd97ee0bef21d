#include "table_scan.h"

#include "usage_map.h"

namespace vantrel::jet {

TableScan::TableScan(PageFile& file, const TableDefData& table)
    : file_(file), layout_(Layout::forFormat(file.jet3())), owner_(table.page) {
    pages_ = usageMapPages(file, layout_, table.usedPagesPtr);
    pageIdx_ = 0;
    slot_ = slots_ = 0;
}

bool TableScan::next() {
    for (;;) {
        if (page_ && slot_ < slots_) {
            Bytes pb(page_->data(), page_->size());
            RowSlot s = slotAt(layout_, pb, slot_++);
            if (s.deleted) continue;
            if (s.pointer) {
                current_ = rowAt(file_, layout_, RowPointer::fromPacked(pb.u32(s.start)), owner_, true);
            } else {
                current_ = {page_, pb.sub(s.start, size_t(s.end - s.start))};
            }
            return true;
        }
        if (page_) {
            ++pageIdx_;
            page_.reset();
        }
        // Find the next page of ours; a page the map names that now holds
        // something else (a stale bit) is passed over.
        while (pageIdx_ < pages_.size()) {
            PageRef p = file_.page(pages_[pageIdx_]);
            Bytes pb(p->data(), p->size());
            if (pb.u8(0) == kPageData && pb.u32(layout_.dataOwnerAt) == owner_) {
                page_ = p;
                slot_ = 0;
                slots_ = slotCount(layout_, pb);
                break;
            }
            ++pageIdx_;
        }
        if (!page_) return false;
    }
}

}  // namespace vantrel::jet
