#include "data_page_write.h"

#include <algorithm>
#include <array>

#include <cstring>

#include "data_page.h"

namespace vantrel::jet {

namespace {

constexpr unsigned kMaxSlots = 255;  // a row pointer has one byte for the slot

void put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

constexpr size_t kMaxPage = 4096;

// Lays the rows out again from the end of the page down, in slot order, with
// slot `changed` (which may be the one past the last, a new slot) holding
// `row` with `flags`; the other slots keep their bytes and flags. `slots`:
// how many the page has afterwards. False (page unchanged) when they do not fit.
bool repack(PageFile& file, const Layout& l, uint32_t page, unsigned slots, unsigned changed, const std::vector<uint8_t>& row,
            uint16_t flags) {
    if (l.pageSize > kMaxPage) throw err::internal("page size " + std::to_string(l.pageSize) + " is not supported");
    std::array<uint8_t, kMaxPage> old;
    {
        PageRef p = file.page(page);
        std::memcpy(old.data(), p->data(), l.pageSize);
    }
    const Bytes ob(old.data(), l.pageSize);
    const unsigned oldCount = slotCount(l, ob);
    auto slot = [&](unsigned i) -> std::pair<Bytes, uint16_t> {
        if (i == changed) return {Bytes(row.data(), row.size()), flags};
        if (i >= oldCount) throw FormatError("row " + std::to_string(i) + " of " + std::to_string(oldCount));
        const RowSlot s = slotAt(l, ob, i);
        const uint16_t f = uint16_t((s.deleted ? kSlotDeleted : 0) | (s.pointer ? kSlotPointer : 0));
        return {s.valid ? ob.sub(s.start, size_t(s.end - s.start)) : Bytes(), f};
    };
    size_t total = l.dataSlotsAt + 2 * size_t(slots);
    for (unsigned i = 0; i < slots; ++i) total += slot(i).first.size();
    if (total > l.pageSize || slots > kMaxSlots) return false;
    PageBuf& pg = file.modify(page);
    size_t pos = l.pageSize;
    put16(pg.data() + l.dataRowCountAt, uint16_t(slots));
    for (unsigned i = 0; i < slots; ++i) {
        const auto [bytes, f] = slot(i);
        pos -= bytes.size();
        if (bytes.size()) std::memcpy(pg.data() + pos, bytes.data(), bytes.size());
        put16(pg.data() + l.dataSlotsAt + 2 * i, uint16_t(pos | f));
    }
    const size_t slotsEnd = l.dataSlotsAt + 2 * size_t(slots);
    put16(pg.data() + 2, uint16_t(pos - slotsEnd));
    return true;
}

// The rows after slot `changed` lie below it, each ending where the one
// before starts; when all of them are sound, a row of another length is put
// in by moving them together (the page then reads exactly as repack() would
// lay it out). False (page unchanged) when they are not, or the row does not fit.
bool shiftRows(PageFile& file, const Layout& l, uint32_t page, Bytes pb, unsigned changed, const std::vector<uint8_t>& row,
               uint16_t flags) {
    const unsigned count = slotCount(l, pb);
    const RowSlot s = slotAt(l, pb, changed);
    if (!s.valid) return false;
    const size_t slotsEnd = l.dataSlotsAt + 2 * size_t(count);
    // Each row ends where the one before starts (as slotAt reads them).
    size_t low = s.start;
    for (unsigned i = changed + 1; i < count; ++i) {
        const size_t start = pb.u16(l.dataSlotsAt + 2 * i) & kSlotOffsetMask;
        if (start < slotsEnd || start >= low) return false;
        low = start;
    }
    const size_t oldLen = size_t(s.end - s.start);
    if (low + oldLen < slotsEnd + row.size()) return false;
    const size_t newLow = low + oldLen - row.size();
    PageBuf& pg = file.modify(page);
    uint8_t* d = pg.data();
    std::memmove(d + newLow, d + low, s.start - low);
    const size_t at = size_t(s.end) - row.size();
    if (!row.empty()) std::memcpy(d + at, row.data(), row.size());
    put16(d + l.dataSlotsAt + 2 * changed, uint16_t(at | flags));
    for (unsigned i = changed + 1; i < count; ++i) {
        uint8_t* slot = d + l.dataSlotsAt + 2 * i;
        const uint16_t raw = uint16_t(slot[0] | slot[1] << 8);
        put16(slot, uint16_t(((raw & kSlotOffsetMask) + oldLen - row.size()) | (raw & (kSlotDeleted | kSlotPointer))));
    }
    put16(d + 2, uint16_t(newLow - slotsEnd));
    return true;
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
    if (shiftRows(file, l, page, pb, slot, row, newFlags)) return true;
    return repack(file, l, page, slotCount(l, pb), slot, row, newFlags);
}

int addRowToPage(PageFile& file, const Layout& l, uint32_t page, const std::vector<uint8_t>& row, uint16_t flags) {
    unsigned count;
    {
        PageRef p = file.page(page);
        count = slotCount(l, Bytes(p->data(), p->size()));
    }
    if (!repack(file, l, page, count + 1, count, row, flags)) return -1;
    return int(count);
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
