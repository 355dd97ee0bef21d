#include "table_def.h"

#include <algorithm>
#include <unordered_set>

#include "layout.h"
#include "text_codec.h"

namespace vantrel::jet {

int daoTypeOf(uint8_t t) {
    switch (t) {
        case kBool: case kByte: case kInt: case kLong: case kMoney: case kFloat: case kDouble:
        case kDateTime: case kBinary: case kText: case kOle: case kMemo: case kGuid:
            return t;
        case kNumeric: return 20;
        case kBigInt: return 16;
        default: return 101;
    }
}

bool TableDefData::uniqueIndex(size_t real) const {
    if (realIndexes[real].flags & 0x01) return true;
    for (const auto& li : indexes)
        if (li.realIndex == real && li.kind == 1) return true;
    return false;
}

const ColumnDef* TableDefData::columnByNumber(uint16_t n) const {
    for (const auto& c : columns)
        if (c.number == n) return &c;
    return nullptr;
}

std::vector<uint8_t> gatherDefinition(PageFile& file, uint32_t first, std::vector<uint32_t>* pages) {
    std::vector<uint8_t> buf;
    std::unordered_set<uint32_t> seen;
    uint32_t next = first;
    while (next != 0) {
        if (!seen.insert(next).second) throw FormatError("table definition pages form a cycle", next);
        if (pages) pages->push_back(next);
        PageRef p = file.page(next);
        Bytes pb(p->data(), p->size());
        if (pb.u8(0) != kPageTableDef) throw FormatError("not a table definition", next);
        if (buf.empty()) buf.assign(p->begin(), p->end());
        else buf.insert(buf.end(), p->begin() + 8, p->end());
        next = pb.u32(4);
    }
    return buf;
}

namespace {

std::string readName(const Layout& l, Bytes b, size_t& at, uint16_t codePage) {
    size_t len = l.nameLengthSize == 1 ? b.u8(at) : b.u16(at);
    at += l.nameLengthSize;
    Bytes raw = b.sub(at, len);
    at += len;
    return l.jet3 ? decodeCodePage(raw.data(), raw.size(), codePage) : decodeJet4Text(raw.data(), raw.size());
}

}  // namespace

namespace {

TableDefData parseTableDef(PageFile& file, uint32_t page) {
    const Layout l = Layout::forFormat(file.jet3());
    std::vector<uint8_t> buf = gatherDefinition(file, page);
    Bytes b(buf.data(), buf.size());

    TableDefData t;
    t.page = page;
    t.rowCount = b.u32(l.tdefRowCountAt);
    t.tableType = b.u8(l.tdefTypeAt);
    t.maxColumns = b.u16(l.tdefMaxColsAt);
    t.varColumns = b.u16(l.tdefVarColsAt);
    const uint16_t numCols = b.u16(l.tdefColsAt);
    const uint32_t numIdx = b.u32(l.tdefIndexCountAt);
    const uint32_t numReal = b.u32(l.tdefRealIndexCountAt);
    t.usedPagesPtr = b.u32(l.tdefUsedPagesAt);
    t.freePagesPtr = b.u32(l.tdefFreePagesAt);
    // Anything larger than the definition itself could hold is damage.
    if (numIdx > b.size() / l.logicalIndexEntrySize || numReal > b.size() / l.realIndexEntrySize)
        throw FormatError("table definition claims " + std::to_string(numIdx) + " indexes");

    size_t at = l.tdefBlockEnd + size_t(numReal) * l.realIndexSlotSize;
    t.columns.resize(numCols);
    for (auto& c : t.columns) {
        Bytes e = b.sub(at, l.columnEntrySize);
        c.type = e.u8(l.colTypeAt);
        c.number = e.u16(l.colNumberAt);
        c.varIndex = e.u16(l.colVarIndexAt);
        c.flags = e.u8(l.colFlagsAt);
        if (!l.jet3) c.extFlags = e.u8(l.colFlagsAt + 1);
        c.fixedOffset = e.u16(l.colFixedOffsetAt);
        c.length = e.u16(l.colLengthAt);
        c.precision = e.u8(l.colMiscAt);
        c.scale = e.u8(l.colMiscAt + 1);
        // Jet3 text columns keep their sort order and then their code page there.
        c.codePage = l.jet3 ? e.u16(l.colMiscAt + 2) : 0;
        c.sortOrder = e.u16(l.colMiscAt);
        if (!l.jet3) c.sortVersion = e.u8(l.colMiscAt + 3);
        at += l.columnEntrySize;
    }
    for (auto& c : t.columns) c.name = readName(l, b, at, file.header().codePage);

    t.realIndexes.resize(numReal);
    for (auto& r : t.realIndexes) {
        Bytes e = b.sub(at, l.realIndexEntrySize);
        size_t p = l.realIndexColumnsAt;
        for (int k = 0; k < 10; ++k, p += 3) {
            uint16_t n = e.u16(p);
            if (n != 0xFFFF) r.columns.push_back({n, e.u8(p + 2) == 0x01});
        }
        r.usedPages = e.u32(p);
        r.rootPage = e.u32(p + 4);
        r.flags = e.u8(l.realIndexFlagsAt);
        at += l.realIndexEntrySize;
    }

    t.indexes.resize(numIdx);
    for (auto& x : t.indexes) {
        Bytes e = b.sub(at, l.logicalIndexEntrySize);
        size_t p = l.logicalIndexNumberAt;
        x.number = e.u32(p);
        x.realIndex = e.u32(p + 4);
        x.relatedIndex = e.i32(p + 9);
        x.relatedTablePage = e.u32(p + 13);
        x.cascadeUpdates = e.u8(p + 17) != 0;
        x.cascadeDeletes = e.u8(p + 18) != 0;
        x.kind = e.u8(p + 19);
        if (x.realIndex >= numReal) throw FormatError("index refers to a missing physical index");
        at += l.logicalIndexEntrySize;
    }
    for (auto& x : t.indexes) x.name = readName(l, b, at, file.header().codePage);

    std::stable_sort(t.columns.begin(), t.columns.end(), [](const ColumnDef& a, const ColumnDef& c) { return a.number < c.number; });
    return t;
}

}  // namespace

TableDefData readTableDef(PageFile& file, uint32_t page) {
    try {
        return parseTableDef(file, page);
    } catch (FormatError& e) {
        // Damage in the definition is placed on its first page unless a page of it was named.
        e.atPage(page);
        e.inTableDefinedAt(page);
        throw;
    }
}

}  // namespace vantrel::jet
