#include "table_scan.h"

#include "usage_map.h"

namespace vantrel::jet {

TableScan::TableScan(PageFile& file, const TableDefData& table, std::string name)
    : file_(file), layout_(Layout::forFormat(file.jet3())), owner_(table.page), name_(std::move(name)) {
    try {
        pages_ = usageMapPages(file, layout_, table.usedPagesPtr, PastTheEnd::Kept);
    } catch (FormatError& e) {
        place(e);
        throw;
    }
    pageIdx_ = 0;
    slot_ = slots_ = 0;
}

bool TableScan::next() {
    try {
        return step();
    } catch (FormatError& e) {
        // The scan knows the table, and the page it is reading unless a deeper layer said.
        if (pageIdx_ < pages_.size()) e.atPage(pages_[pageIdx_]);
        place(e);
        throw;
    }
}

void TableScan::place(FormatError& e) const {
    if (name_.empty())
        e.inTableDefinedAt(owner_);
    else
        e.inTable(name_, owner_);
}

bool TableScan::step() {
    for (;;) {
        if (page_ && slot_ < slots_) {
            Bytes pb(page_->data(), page_->size());
            RowSlot s = slotAt(layout_, pb, slot_++);
            if (s.deleted) continue;
            if (s.pointer) {
                const RowPointer moved = RowPointer::fromPacked(pb.u32(s.start));
                current_ = rowAt(file_, layout_, moved, owner_, true);
                rowPage_ = moved.page;
            } else {
                current_ = {page_, pb.sub(s.start, size_t(s.end - s.start))};
                rowPage_ = pages_[pageIdx_];
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
            throw FormatError("its page map lists it, but it lies beyond the end of the file", n);
        PageRef p = file_.page(n);
        Bytes pb(p->data(), p->size());
        if (pb.u8(0) != kPageData || pb.u32(layout_.dataOwnerAt) != owner_)
            throw FormatError("its page map lists it, but it is not one of its data pages", n);
        page_ = p;
        slot_ = 0;
        slots_ = slotCount(layout_, pb);
    }
}

}  // namespace vantrel::jet
