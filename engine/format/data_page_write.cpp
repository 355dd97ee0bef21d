#include "data_page_write.h"

#include <algorithm>

#include <cstring>

#include "data_page.h"

namespace vantrel::jet {

namespace {

constexpr unsigned kMaxSlots = 255;  // a row pointer has one byte for the slot

void put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

struct Segment {
    uint16_t flags;
    std::vector<uint8_t> bytes;
};

// Lays the rows out again from the end of the page down; false when they do not fit.
bool repack(PageFile& file, const Layout& l, uint32_t page, const std::vector<Segment>& rows) {
    size_t total = l.dataSlotsAt + 2 * rows.size();
    for (const auto& r : rows) total += r.bytes.size();
    if (total > l.pageSize || rows.size() > kMaxSlots) return false;
    PageBuf& pg = file.modify(page);
    size_t pos = l.pageSize;
    put16(pg.data() + l.dataRowCountAt, uint16_t(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i) {
        pos -= rows[i].bytes.size();
        if (!rows[i].bytes.empty()) std::memcpy(pg.data() + pos, rows[i].bytes.data(), rows[i].bytes.size());
        put16(pg.data() + l.dataSlotsAt + 2 * i, uint16_t(pos | rows[i].flags));
    }
    const size_t slotsEnd = l.dataSlotsAt + 2 * rows.size();
    put16(pg.data() + 2, uint16_t(pos - slotsEnd));
    return true;
}

std::vector<Segment> segmentsOf(const Layout& l, Bytes pb) {
    std::vector<Segment> rows;
    const unsigned count = slotCount(l, pb);
    for (unsigned i = 0; i < count; ++i) {
        RowSlot s = slotAt(l, pb, i);
        Segment seg{uint16_t((s.deleted ? kSlotDeleted : 0) | (s.pointer ? kSlotPointer : 0)), {}};
        if (s.valid) seg.bytes.assign(pb.data() + s.start, pb.data() + s.end);
        rows.push_back(std::move(seg));
    }
    return rows;
}

}  // namespace

size_t dataPageFree(const Layout& l, Bytes page) {
    const unsigned count = slotCount(l, page);
    size_t low = l.pageSize;
    for (unsigned i = 0; i < count; ++i) {
        RowSlot s = slotAt(l, page, i);
        if (s.valid) low = std::min<size_t>(low, s.start);
    }
    const size_t slotsEnd = l.dataSlotsAt + 2 * size_t(count);
    return low > slotsEnd ? low - slotsEnd : 0;
}

bool putRowInPage(PageFile& file, const Layout& l, uint32_t page, unsigned slot, const std::vector<uint8_t>& row,
                  std::optional<uint16_t> flags) {
    PageRef p = file.page(page);
    Bytes pb(p->data(), p->size());
    RowSlot s = slotAt(l, pb, slot);
    const uint16_t oldFlags = uint16_t((s.deleted ? kSlotDeleted : 0) | (s.pointer ? kSlotPointer : 0));
    const uint16_t newFlags = flags.value_or(oldFlags);
    if (s.valid && size_t(s.end - s.start) == row.size()) {
        // Same length: the bytes change where they stand.
        PageBuf& pg = file.modify(page);
        std::memcpy(pg.data() + s.start, row.data(), row.size());
        if (newFlags != oldFlags) put16(pg.data() + l.dataSlotsAt + 2 * slot, uint16_t(s.start | newFlags));
        return true;
    }
    std::vector<Segment> rows = segmentsOf(l, pb);
    rows[slot] = {newFlags, row};
    return repack(file, l, page, rows);
}

int addRowToPage(PageFile& file, const Layout& l, uint32_t page, const std::vector<uint8_t>& row, uint16_t flags) {
    PageRef p = file.page(page);
    Bytes pb(p->data(), p->size());
    std::vector<Segment> rows = segmentsOf(l, pb);
    rows.push_back({flags, row});
    if (!repack(file, l, page, rows)) return -1;
    return int(rows.size() - 1);
}

void markRowDeleted(PageFile& file, const Layout& l, uint32_t page, unsigned slot) {
    PageBuf& pg = file.modify(page);
    const size_t at = l.dataSlotsAt + 2 * slot;
    const uint16_t v = uint16_t(pg[at] | (pg[at + 1] << 8));
    put16(pg.data() + at, uint16_t(v | kSlotDeleted | kSlotPointer));
}

int appendRowToPage(PageFile& file, const Layout& l, uint32_t page, const std::vector<uint8_t>& row, uint16_t flags) {
    PageRef p = file.page(page);
    Bytes pb(p->data(), p->size());
    const unsigned n = pb.u16(l.dataRowCountAt);
    if (n >= 255) return -1;
    size_t lowest = l.pageSize;
    for (unsigned i = 0; i < n; ++i) lowest = std::min<size_t>(lowest, pb.u16(l.dataSlotsAt + 2 * i) & 0x1FFF);
    const size_t slotsEnd = l.dataSlotsAt + 2 * (n + 1);
    if (lowest < slotsEnd + row.size()) return addRowToPage(file, l, page, row, flags);
    PageBuf& pg = file.modify(page);
    const size_t start = lowest - row.size();
    std::copy(row.begin(), row.end(), pg.begin() + long(start));
    put16(pg.data() + l.dataSlotsAt + 2 * n, uint16_t(start | flags));
    put16(pg.data() + l.dataRowCountAt, uint16_t(n + 1));
    put16(pg.data() + 2, uint16_t(start - slotsEnd));
    return int(n);
}

void initDataPage(PageBuf& buf, const Layout& l, uint32_t owner) {
    std::fill(buf.begin(), buf.end(), 0);
    buf[0] = kPageData;
    buf[1] = 0x01;
    put16(buf.data() + 2, uint16_t(l.pageSize - l.dataSlotsAt));
    for (int i = 0; i < 4; ++i) buf[4 + size_t(i)] = uint8_t(owner >> (8 * i));
}

}  // namespace vantrel::jet
