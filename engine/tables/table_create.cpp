#include "table_create.h"

#include "data_page.h"
#include "data_page_write.h"
#include "error.h"
#include "index_write.h"
#include "properties.h"
#include "page_alloc.h"
#include "text_codec.h"

namespace vantrel::jet {

namespace {

constexpr uint32_t kTdefMagic = 0x659;
constexpr uint32_t kRealIndexMagic = 1923;
constexpr uint8_t kTableUser = 0x4E, kTableSystem = 0x53;
constexpr size_t kMapRowSize = 69;  // type byte, window start, 64 bytes of bits / 17 page numbers
constexpr size_t kMaxIndexes = 32;

void put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}
void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}
void append16(std::vector<uint8_t>& b, uint16_t v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)}); }
void append32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

void appendName(std::vector<uint8_t>& b, const std::string& name) {
    std::u16string u = utf8ToUtf16(name);
    append16(b, uint16_t(u.size() * 2));
    for (char16_t c : u) append16(b, uint16_t(c));
}

uint32_t packedPointer(uint32_t page, unsigned row) { return (page << 8) | row; }

// A usage map row: type 1 names map pages (none yet), type 0 is a window of bits.
std::vector<uint8_t> mapRow(uint8_t type) {
    std::vector<uint8_t> r(kMapRowSize, 0);
    r[0] = type;
    return r;
}

// Logical index entry: magic, number, physical index, relationship fields, kind.
void appendLogicalIndex(std::vector<uint8_t>& b, uint32_t number, uint32_t real, bool primary) {
    append32(b, kTdefMagic);
    append32(b, number);
    append32(b, real);
    b.push_back(0);           // related table type
    append32(b, 0xFFFFFFFFu); // related index
    append32(b, 0);           // related table page
    b.push_back(0);           // cascade updates
    b.push_back(0);           // cascade deletes
    b.push_back(primary ? 1 : 0);
    append32(b, 0);
}

uint8_t indexFlags(const NewIndex& x) {
    uint8_t f = 0x80;  // set on every index Jet 4 writes
    if (x.unique || x.primary) f |= 0x01;
    if (x.ignoreNulls) f |= 0x02;
    if (x.required || x.primary) f |= 0x08;
    return f;
}

void appendRealIndex(std::vector<uint8_t>& b, const NewIndex& x, const std::vector<uint16_t>& numbers, uint32_t mapPtr,
                     uint32_t root) {
    append32(b, kRealIndexMagic);
    for (size_t i = 0; i < 10; ++i) {
        if (i < x.columns.size()) {
            append16(b, numbers[i]);
            b.push_back(x.columns[i].ascending ? 0x01 : 0x02);
        } else {
            append16(b, 0xFFFF);
            b.push_back(0);
        }
    }
    append32(b, mapPtr);
    append32(b, root);
    append32(b, 0);
    b.push_back(indexFlags(x));
    b.insert(b.end(), 5, 0);
}

// Writes a definition block over `pages` (the first one kept), allocating
// continuation pages as needed; pages no longer needed stay as empty TDEF
// continuation pages at the end of the chain.
void writeDefinition(PageFile& file, const Layout& l, std::vector<uint8_t> def, std::vector<uint32_t> pages) {
    put32(def, 8, uint32_t(def.size()));
    const size_t more = l.pageSize - 8;
    size_t need = 1;
    if (def.size() > l.pageSize) need += (def.size() - l.pageSize + more - 1) / more;
    while (pages.size() < need) pages.push_back(allocatePage(file, l));
    size_t at = 0;
    for (size_t i = 0; i < pages.size(); ++i) {
        PageBuf& pg = file.modify(pages[i]);
        std::fill(pg.begin(), pg.end(), 0);
        // The first page carries the block from its start; the others after their own header.
        const size_t from = i == 0 ? 0 : 8;
        const size_t n = std::min(l.pageSize - from, def.size() - at);
        std::copy(def.begin() + long(at), def.begin() + long(at + n), pg.begin() + long(from));
        at += n;
        pg[0] = kPageTableDef;
        pg[1] = 0x01;
        const uint16_t free = uint16_t(l.pageSize - from - n);
        pg[2] = uint8_t(free);
        pg[3] = uint8_t(free >> 8);
        const uint32_t next = i + 1 < pages.size() ? pages[i + 1] : 0;
        for (int k = 0; k < 4; ++k) pg[4 + size_t(k)] = uint8_t(next >> (8 * k));
    }
}

}  // namespace

void checkObjectName(const std::string& name) {
    bool bad = name.empty() || utf8ToUtf16(name).size() > 64 || name.front() == ' ';
    for (unsigned char ch : name) bad |= ch < 0x20 || ch == '.' || ch == '!' || ch == '`' || ch == '[' || ch == ']';
    if (bad) throw err::invalidName(name);
}

uint16_t fixedWidth(uint8_t type) {
    switch (type) {
        case kBool: return 1;
        case kByte: return 1;
        case kInt: return 2;
        case kLong: case kFloat: return 4;
        case kMoney: case kDouble: case kDateTime: case kBigInt: return 8;
        case kGuid: return 16;
        case kNumeric: return 17;
        default: return 0;
    }
}

namespace {
// Bytes a column takes in the fixed area of a row; 0 for variable columns.
uint16_t storedWidth(const NewColumn& c) {
    if (c.type == kText && c.fixedLength) return c.length;
    return fixedWidth(c.type);
}
}  // namespace

uint32_t createTable(PageFile& file, const Layout& l, const NewTable& t, uint32_t tdefPage) {
    if (l.jet3) throw err::notSupported("this engine creates tables in Jet4 databases only");
    if (t.columns.empty()) throw err::noFieldDefined();
    if (t.columns.size() > 255) throw err::tooManyFields();
    if (t.indexes.size() > kMaxIndexes) throw err::tooManyIndexes();
    for (const auto& x : t.indexes) checkObjectName(x.name);
    for (size_t i = 0; i < t.columns.size(); ++i) {
        checkObjectName(t.columns[i].name);
        for (size_t j = 0; j < i; ++j)
            if (upperAscii(t.columns[j].name) == upperAscii(t.columns[i].name)) throw err::fieldTwice();
    }

    if (tdefPage == 0) tdefPage = allocatePage(file, l);
    const uint32_t mapPage = allocatePage(file, l);
    std::vector<uint32_t> roots;
    for (size_t i = 0; i < t.indexes.size(); ++i) roots.push_back(allocatePage(file, l));

    // The usage maps: the pages the table owns, those with free space, then one per index.
    initDataPage(file.modify(mapPage), l, 0);
    addRowToPage(file, l, mapPage, mapRow(1), 0);
    addRowToPage(file, l, mapPage, mapRow(0), 0);
    for (size_t i = 0; i < t.indexes.size(); ++i) addRowToPage(file, l, mapPage, mapRow(1), 0);

    std::vector<uint8_t> def(l.tdefBlockEnd, 0);
    def[0] = kPageTableDef;
    def[1] = 0x01;
    put32(def, 12, kTdefMagic);
    def[24] = 1;  // Jet counts autonumbers only with this set
    def[l.tdefTypeAt] = t.system ? kTableSystem : kTableUser;
    uint16_t varCount = 0;
    for (const auto& c : t.columns) varCount += storedWidth(c) == 0;
    put16(def, l.tdefMaxColsAt, uint16_t(t.columns.size()));
    put16(def, l.tdefVarColsAt, varCount);
    put16(def, l.tdefColsAt, uint16_t(t.columns.size()));
    put32(def, l.tdefIndexCountAt, uint32_t(t.indexes.size()));
    put32(def, l.tdefRealIndexCountAt, uint32_t(t.indexes.size()));
    put32(def, l.tdefUsedPagesAt, packedPointer(mapPage, 0));
    put32(def, l.tdefFreePagesAt, packedPointer(mapPage, 1));
    def.insert(def.end(), t.indexes.size() * l.realIndexSlotSize, 0);

    uint16_t fixedAt = 0, varIndex = 0;
    for (size_t i = 0; i < t.columns.size(); ++i) {
        const NewColumn& c = t.columns[i];
        const uint16_t width = storedWidth(c);
        def.push_back(c.type);
        append32(def, kTdefMagic);
        append16(def, uint16_t(i));
        append16(def, width ? 0 : varIndex);
        append16(def, uint16_t(i));
        if (c.type == kNumeric) def.insert(def.end(), {c.precision, c.scale, 0, 0});
        else def.insert(def.end(), {0x09, 0x04, 0, 0});  // sort order 1033, General
        uint8_t flags = 0x10 | (c.required ? 0 : kColNullable);
        if (width) flags |= kColFixed;
        if (c.autoNumber) flags |= kColAutoLong;
        def.push_back(flags);
        def.push_back(0);
        append32(def, 0);
        append16(def, width && c.type != kBool ? fixedAt : 0);
        append16(def, c.type == kMemo || c.type == kOle ? 0 : width ? width : c.length);
        if (width && c.type != kBool) fixedAt = uint16_t(fixedAt + width);
        if (!width) ++varIndex;
    }
    for (const auto& c : t.columns) appendName(def, c.name);
    for (size_t i = 0; i < t.indexes.size(); ++i) {
        std::vector<uint16_t> numbers;
        for (const auto& ic : t.indexes[i].columns) numbers.push_back(uint16_t(ic.column));
        appendRealIndex(def, t.indexes[i], numbers, packedPointer(mapPage, unsigned(2 + i)), roots[i]);
    }
    for (size_t i = 0; i < t.indexes.size(); ++i) appendLogicalIndex(def, uint32_t(i), uint32_t(i), t.indexes[i].primary);
    for (const auto& x : t.indexes) appendName(def, x.name);
    def.insert(def.end(), {0xFF, 0xFF});
    writeDefinition(file, l, std::move(def), {tdefPage});

    TableDefData data = readTableDef(file, tdefPage);
    for (size_t i = 0; i < roots.size(); ++i) {
        usageMapAdd(file, l, data.realIndexes[i].usedPages, roots[i]);
        initEmptyIndexPage(file, l, roots[i], tdefPage);
    }
    return tdefPage;
}

void addIndexToTable(PageFile& file, const Layout& l, uint32_t tdefPage, const NewIndex& index,
                     const std::vector<uint16_t>& columnNumbers) {
    if (l.jet3) throw err::notSupported("this engine adds indexes in Jet4 databases only");
    std::vector<uint32_t> pages;
    std::vector<uint8_t> def = gatherDefinition(file, tdefPage, &pages);
    const TableDefData t = readTableDef(file, tdefPage);
    if (t.indexes.size() >= kMaxIndexes) throw err::tooManyIndexes();
    checkObjectName(index.name);
    Bytes b(def.data(), def.size());
    const uint32_t numReal = b.u32(l.tdefRealIndexCountAt), numLogical = b.u32(l.tdefIndexCountAt);
    const uint16_t numCols = b.u16(l.tdefColsAt);

    // A map row for the new index: on a new map page, the table's own may be full.
    const uint32_t mapPage = allocatePage(file, l);
    initDataPage(file.modify(mapPage), l, 0);
    addRowToPage(file, l, mapPage, mapRow(1), 0);
    const uint32_t root = allocatePage(file, l);

    // Walk to each section's end, splicing the new entries in.
    size_t at = l.tdefBlockEnd + size_t(numReal) * l.realIndexSlotSize;
    def.insert(def.begin() + long(at), l.realIndexSlotSize, 0);
    at += l.realIndexSlotSize + size_t(numCols) * l.columnEntrySize;
    for (uint16_t i = 0; i < numCols; ++i) at += 2 + Bytes(def.data(), def.size()).u16(at);
    at += size_t(numReal) * l.realIndexEntrySize;
    std::vector<uint8_t> real;
    appendRealIndex(real, index, columnNumbers, packedPointer(mapPage, 0), root);
    def.insert(def.begin() + long(at), real.begin(), real.end());
    at += real.size() + size_t(numLogical) * l.logicalIndexEntrySize;
    std::vector<uint8_t> logical;
    appendLogicalIndex(logical, numLogical, numReal, index.primary);
    def.insert(def.begin() + long(at), logical.begin(), logical.end());
    at += logical.size();
    for (uint32_t i = 0; i < numLogical; ++i) at += 2 + Bytes(def.data(), def.size()).u16(at);
    std::vector<uint8_t> name;
    appendName(name, index.name);
    def.insert(def.begin() + long(at), name.begin(), name.end());
    put32(def, l.tdefIndexCountAt, numLogical + 1);
    put32(def, l.tdefRealIndexCountAt, numReal + 1);
    writeDefinition(file, l, std::move(def), pages);

    usageMapAdd(file, l, packedPointer(mapPage, 0), root);
    initEmptyIndexPage(file, l, root, tdefPage);
}

}  // namespace vantrel::jet
