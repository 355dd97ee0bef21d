#include "long_value_write.h"

#include <algorithm>

#include "data_page.h"
#include "data_page_write.h"
#include "long_value.h"
#include "page_alloc.h"
#include "row_encode.h"

namespace vantrel::jet {

namespace {

constexpr uint32_t kLvalOwner = 0x4C41564Cu;  // "LVAL"

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

std::vector<uint8_t> reference(uint32_t word, uint32_t pointer) {
    std::vector<uint8_t> ref;
    put32(ref, word);
    put32(ref, pointer);
    put32(ref, 0);
    return ref;
}

}  // namespace

uint32_t LongValueWriter::addRow(const std::vector<uint8_t>& row) {
    if (current_ != 0) {
        int slot = appendRowToPage(file_, l_, current_, row, 0);
        if (slot >= 0) return (current_ << 8) | uint32_t(slot);
    }
    current_ = allocatePage(file_, l_);
    initDataPage(file_.modify(current_), l_, kLvalOwner);
    int slot = appendRowToPage(file_, l_, current_, row, 0);
    if (slot < 0) throw err::internal("a long-value row does not fit an empty page");
    return (current_ << 8) | uint32_t(slot);
}

std::vector<uint8_t> LongValueWriter::write(const std::vector<uint8_t>& data) {
    if (data.size() > kLvalLengthMask) throw err::internal("long value too long");
    const uint32_t len = uint32_t(data.size());
    if (data.empty()) return reference(kLvalInline, 0);
    const size_t maxRow = maxRowSize(l_);
    if (data.size() <= maxRow) return reference(kLvalSinglePage | len, addRow(data));
    // A chain, written from its end so that each row knows the next.
    const size_t chunk = maxRow - 4;
    uint32_t next = 0;
    size_t end = data.size();
    size_t start = (end - 1) / chunk * chunk;
    for (;;) {
        std::vector<uint8_t> row;
        put32(row, next);
        row.insert(row.end(), data.begin() + long(start), data.begin() + long(end));
        next = addRow(row);
        if (start == 0) break;
        end = start;
        start -= chunk;
    }
    return reference(len, next);
}

void freeLongValue(PageFile& file, const Layout& l, Bytes ref) {
    const uint32_t word = ref.u32(0);
    if (word & kLvalInline) return;
    uint32_t at = ref.u32(4);
    const bool single = word & kLvalSinglePage;
    uint64_t hops = 0;
    while (at != 0) {
        if (++hops > uint64_t(file.pageCount()) * 256) throw FormatError("long value chain does not end");
        const RowPointer rp = RowPointer::fromPacked(at);
        uint32_t next = 0;
        if (!single) next = rowAt(file, l, rp).bytes.u32(0);
        markRowDeleted(file, l, rp.page, rp.row);
        if (single) break;
        at = next;
    }
}

}  // namespace vantrel::jet
