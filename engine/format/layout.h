// Where things sit on Jet3 and Jet4 pages. Every layer reads its offsets from
// here so that the two formats share one code path.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantrel::jet {

enum PageType : uint8_t {
    kPageDbDef = 0x00,
    kPageData = 0x01,
    kPageTableDef = 0x02,
    kPageIndexNode = 0x03,
    kPageIndexLeaf = 0x04,
    kPageUsageMap = 0x05,
};

struct Layout {
    bool jet3;
    uint32_t pageSize;

    // Data pages.
    size_t dataOwnerAt = 4;
    size_t dataRowCountAt;
    size_t dataSlotsAt;

    // Table definition block.
    size_t tdefRowCountAt, tdefAutoNumberAt, tdefTypeAt, tdefMaxColsAt, tdefVarColsAt, tdefColsAt;
    size_t tdefIndexCountAt, tdefRealIndexCountAt, tdefUsedPagesAt, tdefFreePagesAt, tdefBlockEnd;
    size_t realIndexSlotSize;
    size_t columnEntrySize;
    size_t colTypeAt = 0, colNumberAt, colVarIndexAt, colNumber2At, colMiscAt, colFlagsAt, colFixedOffsetAt, colLengthAt;
    size_t realIndexEntrySize, realIndexColumnsAt, realIndexFlagsAt;
    size_t logicalIndexEntrySize, logicalIndexNumberAt;
    size_t nameLengthSize;

    // Rows.
    size_t rowCountSize;     // width of the column count, var count and offsets in a row

    // Index pages: type, 0x01, free space, owner table; Jet4 then has four
    // unknown bytes before the sibling and tail pointers.
    size_t indexOwnerAt = 4;
    size_t indexPrevAt, indexNextAt, indexTailAt, indexPrefixLenAt;
    size_t indexMaskAt, indexFirstEntryAt;

    static Layout forFormat(bool jet3);
};

inline Layout Layout::forFormat(bool jet3) {
    Layout l{};
    l.jet3 = jet3;
    l.dataOwnerAt = 4;
    l.colTypeAt = 0;
    l.indexOwnerAt = 4;
    if (jet3) {
        l.pageSize = 2048;
        l.dataRowCountAt = 8;
        l.dataSlotsAt = 10;
        l.tdefRowCountAt = 12;
        l.tdefAutoNumberAt = 16;
        l.tdefTypeAt = 20;
        l.tdefMaxColsAt = 21;
        l.tdefVarColsAt = 23;
        l.tdefColsAt = 25;
        l.tdefIndexCountAt = 27;
        l.tdefRealIndexCountAt = 31;
        l.tdefUsedPagesAt = 35;
        l.tdefFreePagesAt = 39;
        l.tdefBlockEnd = 43;
        l.realIndexSlotSize = 8;
        l.columnEntrySize = 18;
        l.colNumberAt = 1;
        l.colVarIndexAt = 3;
        l.colNumber2At = 5;
        l.colMiscAt = 9;
        l.colFlagsAt = 13;
        l.colFixedOffsetAt = 14;
        l.colLengthAt = 16;
        l.realIndexEntrySize = 39;
        l.realIndexColumnsAt = 0;
        l.realIndexFlagsAt = 38;
        l.logicalIndexEntrySize = 20;
        l.logicalIndexNumberAt = 0;
        l.nameLengthSize = 1;
        l.rowCountSize = 1;
        l.indexPrevAt = 8;
        l.indexNextAt = 12;
        l.indexTailAt = 16;
        l.indexPrefixLenAt = 20;
        l.indexMaskAt = 0x16;
        l.indexFirstEntryAt = 0xF8;
    } else {
        l.pageSize = 4096;
        l.dataRowCountAt = 12;
        l.dataSlotsAt = 14;
        l.tdefRowCountAt = 16;
        l.tdefAutoNumberAt = 20;
        l.tdefTypeAt = 40;
        l.tdefMaxColsAt = 41;
        l.tdefVarColsAt = 43;
        l.tdefColsAt = 45;
        l.tdefIndexCountAt = 47;
        l.tdefRealIndexCountAt = 51;
        l.tdefUsedPagesAt = 55;
        l.tdefFreePagesAt = 59;
        l.tdefBlockEnd = 63;
        l.realIndexSlotSize = 12;
        l.columnEntrySize = 25;
        l.colNumberAt = 5;
        l.colVarIndexAt = 7;
        l.colNumber2At = 9;
        l.colMiscAt = 11;
        l.colFlagsAt = 15;
        l.colFixedOffsetAt = 21;
        l.colLengthAt = 23;
        l.realIndexEntrySize = 52;
        l.realIndexColumnsAt = 4;
        l.realIndexFlagsAt = 46;  // four more unknown bytes sit before the flags in Jet4
        l.logicalIndexEntrySize = 28;
        l.logicalIndexNumberAt = 4;
        l.nameLengthSize = 2;
        l.rowCountSize = 2;
        l.indexPrevAt = 12;
        l.indexNextAt = 16;
        l.indexTailAt = 20;
        l.indexPrefixLenAt = 24;
        l.indexMaskAt = 0x1B;
        l.indexFirstEntryAt = 0x1E0;
    }
    return l;
}

// A row pointer as Jet stores it: page number in the upper 24 bits, row in the low 8.
struct RowPointer {
    uint32_t page = 0;
    uint16_t row = 0;
    static RowPointer fromPacked(uint32_t v) { return {v >> 8, uint16_t(v & 0xFF)}; }
    // The row as one number (page, then slot): for maps and sorting in memory.
    uint64_t packed() const { return (uint64_t(page) << 8) | row; }
};

}  // namespace vantrel::jet
