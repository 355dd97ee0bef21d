#include "page_alloc.h"

#include <vector>

#include "data_page.h"
#include "usage_map.h"

namespace vantrel::jet {

namespace {

// Where a map row's bytes sit, for changing them in place.
struct MapRow {
    uint32_t page;
    size_t start, size;
};

MapRow locateMapRow(PageFile& file, const Layout& l, uint32_t packed) {
    RowPointer rp = RowPointer::fromPacked(packed);
    PageRef p = file.page(rp.page);
    Bytes pb(p->data(), p->size());
    RowSlot s = slotAt(l, pb, rp.row);
    if (s.deleted || s.pointer || !s.valid || s.end - s.start < 5) throw FormatError("usage map row is not where its pointer says");
    return {rp.page, s.start, size_t(s.end - s.start)};
}

void setBit(uint8_t* bits, uint64_t i, bool on) {
    if (on) bits[i / 8] |= uint8_t(1u << (i % 8));
    else bits[i / 8] &= uint8_t(~(1u << (i % 8)));
}

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

}  // namespace

uint32_t allocatePage(PageFile& file, const Layout& l) {
    const uint32_t n = file.appendPage();
    // Page 1 row 0: bits set for free pages. A page past the map's window is
    // brought into it by moving the window up; pages below a window are in use.
    MapRow m = locateMapRow(file, l, 0x100);
    PageBuf& pg = file.modify(m.page);
    uint8_t* row = pg.data() + m.start;
    if (row[0] == 0) {
        const uint64_t covers = uint64_t(m.size - 5) * 8;
        uint32_t start = Bytes(row, m.size).u32(1);
        if (n < start) throw FormatError("free-page map starts past the end of the file");
        if (n >= start + covers) {
            start = n & ~7u;
            put32(row + 1, start);
            std::fill(row + 5, row + m.size, 0xFF);  // pages past the end of the file are free
        }
        setBit(row + 5, n - start, false);
    } else if (row[0] == 1) {
        const uint64_t perPage = uint64_t(l.pageSize - 4) * 8;
        const size_t slot = 1 + 4 * size_t(n / perPage);
        if (slot + 4 > m.size) throw err::notSupported("the database's page map cannot grow any further");
        uint32_t mapPage = Bytes(row, m.size).u32(slot);
        // No map page for this range: nothing records the page as free.
        if (mapPage != 0) setBit(file.modify(mapPage).data() + 4, n % perPage, false);
    } else {
        throw FormatError("unknown free-page map type");
    }
    return n;
}

void usageMapAdd(PageFile& file, const Layout& l, uint32_t mapPtr, uint32_t page) {
    MapRow m = locateMapRow(file, l, mapPtr);
    const uint8_t type = file.page(m.page)->at(m.start);
    if (type == 0) {
        const uint64_t covers = uint64_t(m.size - 5) * 8;
        uint32_t start = Bytes(file.page(m.page)->data() + m.start, m.size).u32(1);
        if (page >= start && page < start + covers) {
            setBit(file.modify(m.page).data() + m.start + 5, page - start, true);
            return;
        }
        // Move the window so that it holds the pages it had and the new one.
        std::vector<uint32_t> pages = usageMapPages(file, l, mapPtr);
        pages.push_back(page);
        uint32_t lo = page, hi = page;
        for (uint32_t p : pages) lo = std::min(lo, p), hi = std::max(hi, p);
        const uint32_t newStart = lo & ~7u;
        if (uint64_t(hi) - newStart >= covers) throw err::notSupported("a page map of this table would have to change its form");
        uint8_t* row = file.modify(m.page).data() + m.start;
        put32(row + 1, newStart);
        std::fill(row + 5, row + m.size, 0);
        for (uint32_t p : pages) setBit(row + 5, p - newStart, true);
    } else if (type == 1) {
        const uint64_t perPage = uint64_t(l.pageSize - 4) * 8;
        const size_t slot = 1 + 4 * size_t(page / perPage);
        if (slot + 4 > m.size) throw err::notSupported("a page map of this table cannot grow any further");
        uint32_t mapPage = Bytes(file.page(m.page)->data() + m.start, m.size).u32(slot);
        if (mapPage == 0) {
            // The first page in this range: the map gains a page of bits for it.
            mapPage = allocatePage(file, l);
            PageBuf& fresh = file.modify(mapPage);
            std::fill(fresh.begin(), fresh.end(), 0);
            fresh[0] = kPageUsageMap;
            fresh[1] = 0x01;
            put32(file.modify(m.page).data() + m.start + slot, mapPage);
        }
        PageBuf& mp = file.modify(mapPage);
        if (mp[0] != kPageUsageMap) throw FormatError("usage map page has the wrong type");
        setBit(mp.data() + 4, page % perPage, true);
    } else {
        throw FormatError("unknown usage map type");
    }
}

}  // namespace vantrel::jet
