#include "table_scan.h"

#include "usage_map.h"

namespace vantrel::jet {

TableScan::TableScan(PageFile& file, const TableDefData& table, std::string name)
    : file_(file), layout_(Layout::forFormat(file.jet3())), owner_(table.page), name_(std::move(name)) {
    pages_ = usageMapPages(file, layout_, table.usedPagesPtr, PastTheEnd::Kept);
    pageIdx_ = 0;
    slot_ = slots_ = 0;
}

std::string TableScan::tableName() const {
    return name_.empty() ? "the table defined at page " + std::to_string(owner_) : "table '" + name_ + "'";
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
        // The next page of the map: one of this table's data pages, or damage.
        if (pageIdx_ >= pages_.size()) return false;
        const uint32_t n = pages_[pageIdx_];
        if (n >= file_.pageCount())  // the file was cut short: its rows there are lost
            throw FormatError(tableName() + ": page " + std::to_string(n) + " of its page map lies beyond the end of the file");
        PageRef p = file_.page(n);
        Bytes pb(p->data(), p->size());
        if (pb.u8(0) != kPageData || pb.u32(layout_.dataOwnerAt) != owner_)
            throw FormatError(tableName() + ": page " + std::to_string(n) + " of its page map is not one of its data pages");
        page_ = p;
        slot_ = 0;
        slots_ = slotCount(layout_, pb);
    }
}

}  // namespace vantrel::jet
