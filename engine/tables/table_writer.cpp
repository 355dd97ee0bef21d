#include "table_writer.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "data_page.h"
#include "data_page_write.h"
#include "long_value.h"
#include "page_alloc.h"
#include "row_encode.h"
#include "row_layout.h"
#include "usage_map.h"
#include "value_decode.h"
#include "value_encode.h"

namespace vantrel::jet {

namespace {

uint64_t packed(RowPointer p) { return (uint64_t(p.page) << 8) | p.row; }

std::string_view keyOf(EntryView e) { return {reinterpret_cast<const char*>(e.data()), e.size() - 4}; }

// Unique indexes remember their keys by entry number: hashing and comparing
// look at the key bytes in the arena, and a new key can be looked up as text.
struct ArenaKeyHash {
    using is_transparent = void;
    const EntryArena* arena;
    size_t operator()(std::string_view k) const { return std::hash<std::string_view>()(k); }
    size_t operator()(uint32_t i) const { return (*this)(keyOf(arena->at(i))); }
};
struct ArenaKeyEqual {
    using is_transparent = void;
    const EntryArena* arena;
    std::string_view key(uint32_t i) const { return keyOf(arena->at(i)); }
    std::string_view key(std::string_view k) const { return k; }
    template <class A, class B>
    bool operator()(const A& a, const B& b) const { return key(a) == key(b); }
};

void put32(PageBuf& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

}  // namespace

struct TableWriter::IndexBuf {
    std::vector<KeyColumn> cols;
    bool unique = false, ignoreNulls = false, jet3 = false;
    bool isLoaded = false, changed = false;
    IndexTree tree;
    EntryArena entries;
    std::vector<bool> dead;
    // Unique indexes: the live entries with a key that is not all Null.
    std::unordered_multiset<uint32_t, ArenaKeyHash, ArenaKeyEqual> keys{16, ArenaKeyHash{&entries}, ArenaKeyEqual{&entries}};
    std::unordered_map<uint64_t, size_t> byRow;  // built for the first delete
    bool byRowBuilt = false;

    // Whether an entry's key has only Null segments (such keys repeat freely).
    bool allNullEntry(EntryView e) const {
        Bytes b(e.data(), e.size() - 4);
        size_t at = 0;
        for (size_t c = 0; c < cols.size(); ++c) {
            const size_t len = c + 1 == cols.size() ? b.size() - at : segmentLength(cols[c], jet3, b, at);
            if (!(len == 1 && segmentIsNull(cols[c], b.u8(at)))) return false;
            at += len;
        }
        return true;
    }

    bool allNull(const std::vector<Variant>& values, const TableDefData& t) const {
        return std::all_of(cols.begin(), cols.end(), [&](const KeyColumn& k) { return values[size_t(k.column - t.columns.data())].isNull(); });
    }
};

TableWriter::TableWriter(PageFile& file, uint32_t tdefPage)
    : file_(file), l_(Layout::forFormat(file.jet3())), t_(readTableDef(file, tdefPage)), longValues_(file, l_) {
    for (size_t r = 0; r < t_.realIndexes.size(); ++r) {
        auto ix = std::make_unique<IndexBuf>();
        ix->cols = keyColumns(t_, t_.realIndexes[r]);
        ix->unique = t_.uniqueIndex(r);
        ix->ignoreNulls = t_.realIndexes[r].flags & 0x02;
        ix->jet3 = l_.jet3;
        indexes_.push_back(std::move(ix));
    }
    autoNumber_ = Bytes(file_.page(t_.page)->data(), l_.pageSize).u32(l_.tdefAutoNumberAt);
    for (const auto& c : t_.columns) {
        required.push_back(!(c.flags & kColNullable) && c.type != kBool);
        allowZeroLength.push_back(true);
    }
}

TableWriter::~TableWriter() = default;

TableWriter::IndexBuf& TableWriter::loaded(size_t i) {
    IndexBuf& ix = *indexes_[i];
    if (ix.isLoaded) return ix;
    ix.tree = loadIndexTree(file_, l_, t_.realIndexes[i].rootPage);
    ix.entries = std::move(ix.tree.entries);
    ix.tree.entries = EntryArena{};
    ix.dead.assign(ix.entries.size(), false);
    ix.keys.clear();
    if (ix.unique) {
        ix.keys.reserve(ix.entries.size());
        for (size_t e = 0; e < ix.entries.size(); ++e)
            if (!ix.allNullEntry(ix.entries.at(e))) ix.keys.insert(uint32_t(e));
    }
    ix.byRow.clear();
    ix.byRowBuilt = false;
    ix.isLoaded = true;
    return ix;
}

uint32_t TableWriter::pageWithRoom(size_t size) {
    if (!lastPageKnown_) {
        // Rows go after the table's last data page, as Jet appends them.
        std::vector<uint32_t> pages = usageMapPages(file_, l_, t_.usedPagesPtr);
        for (auto it = pages.rbegin(); it != pages.rend(); ++it) {
            PageRef p = file_.page(*it);
            Bytes pb(p->data(), p->size());
            if (pb.u8(0) == kPageData && pb.u32(l_.dataOwnerAt) == t_.page) {
                lastPage_ = *it;
                break;
            }
        }
        lastPageKnown_ = true;
    }
    if (lastPage_ != 0) {
        PageRef p = file_.page(lastPage_);
        Bytes pb(p->data(), p->size());
        if (dataPageFree(l_, pb) >= size + 2 && pb.u16(l_.dataRowCountAt) < 255) return lastPage_;
    }
    const uint32_t n = allocatePage(file_, l_);
    initDataPage(file_.modify(n), l_, t_.page);
    usageMapAdd(file_, l_, t_.usedPagesPtr, n);
    lastPage_ = n;
    return n;
}

std::string TableWriter::insert(std::vector<Variant> values, const std::vector<bool>& given) {
    const size_t n = t_.columns.size();
    if (values.size() != n || given.size() != n) throw FormatError("a new row needs one value per column");
    const uint16_t codePage = file_.header().codePage;

    // Values as the columns will hold them, checked against the columns' rules.
    uint32_t autoNumber = autoNumber_;
    std::vector<Converted> conv(n);
    for (size_t i = 0; i < n; ++i) {
        const ColumnDef& c = t_.columns[i];
        if ((c.flags & kColAutoLong) && c.type == kLong && values[i].isNull()) {
            if (given[i]) return "required";
            values[i] = Variant::longInt(int32_t(++autoNumber));
        }
        if (values[i].isNull()) {
            if (c.type == kBool) {
                if (given[i]) return "required";
                values[i] = Variant::boolean(false);
            } else if (required[i]) {
                return "required";
            } else {
                continue;
            }
        }
        conv[i] = convertForColumn(c, values[i], l_.jet3, codePage);
        if (!conv[i].ok) return conv[i].refusal;
        values[i] = conv[i].value;
        if ((c.type == kText || c.type == kMemo) && values[i].str().empty() && !allowZeroLength[i]) return "AllowZeroLength";
        if ((c.flags & kColAutoLong) && c.type == kLong && given[i] && values[i].asInt() > int64_t(autoNumber))
            autoNumber = uint32_t(values[i].asInt());
    }
    if (check)
        if (std::string why = check(values); !why.empty()) return why;

    // Index entries; a unique index refuses a key it already holds.
    std::vector<std::vector<uint8_t>> keys(indexes_.size());
    std::vector<bool> skip(indexes_.size(), false);
    for (size_t x = 0; x < indexes_.size(); ++x) {
        IndexBuf& ix = loaded(x);
        const bool allNull = ix.allNull(values, t_);
        skip[x] = ix.ignoreNulls && allNull;
        for (const KeyColumn& kc : ix.cols)
            if (!encodeSegment(kc, l_.jet3, values[size_t(kc.column - t_.columns.data())], keys[x]))
                throw JetError(3251, "Operation is not supported for this type of object. (this engine cannot place the value of " +
                                         kc.column->name + " in the sort order of its index)");
        if (ix.unique && !allNull) {
            const std::string_view k(reinterpret_cast<const char*>(keys[x].data()), keys[x].size());
            if (ix.keys.find(k) != ix.keys.end()) return "unique index";
        }
    }

    // The row itself; long values move out of it when they or it are too long.
    RowParts parts;
    uint16_t columnCount = 0;
    size_t fixedEnd = 0, varCount = 0;
    for (const auto& c : t_.columns) {
        columnCount = std::max<uint16_t>(columnCount, uint16_t(c.number + 1));
        if (c.fixed() && c.type != kBool) fixedEnd = std::max<size_t>(fixedEnd, size_t(c.fixedOffset) + c.length);
        if (!c.fixed()) varCount = std::max<size_t>(varCount, size_t(c.varIndex) + 1);
    }
    std::vector<std::vector<uint8_t>> written;  // long-value references, given back if the row fails
    std::vector<uint8_t> row;
    for (int attempt = 0; attempt < 2 && row.empty(); ++attempt) {
        parts = RowParts{};
        parts.columnCount = columnCount;
        parts.nullMask.assign((size_t(columnCount) + 7) / 8, 0);
        parts.fixed.assign(fixedEnd, 0);
        parts.hasVarTable = t_.varColumns > 0;
        parts.vars.assign(varCount, {});
        for (size_t i = 0; i < n; ++i) {
            const ColumnDef& c = t_.columns[i];
            if (values[i].isNull()) continue;
            if (c.type == kBool) {
                if (values[i].boolValue()) setColumnBytes(parts, c, {});
                continue;
            }
            if (c.longValue() && (conv[i].needsLongValue || attempt == 1)) {
                if (!conv[i].needsLongValue) {
                    // An inline memo: its bytes follow the 12-byte header.
                    conv[i].longData.assign(conv[i].stored.begin() + 12, conv[i].stored.end());
                    conv[i].needsLongValue = true;
                }
                std::vector<uint8_t> ref = longValues_.write(conv[i].longData);
                written.push_back(ref);
                conv[i].stored = ref;
            }
            setColumnBytes(parts, c, conv[i].stored);
        }
        try {
            row = joinRow(l_, parts);
        } catch (const FormatError&) {
            row.clear();
        }
    }
    if (row.empty()) {
        for (const auto& ref : written) freeLongValue(file_, l_, Bytes(ref.data(), ref.size()));
        return "row too long";
    }

    uint32_t page = pageWithRoom(row.size());
    int slot = appendRowToPage(file_, l_, page, row, 0);
    if (slot < 0) {
        lastPage_ = 0;
        page = pageWithRoom(row.size());
        slot = appendRowToPage(file_, l_, page, row, 0);
        if (slot < 0) throw FormatError("a row does not fit an empty page");
    }
    const RowPointer where{page, uint16_t(slot)};
    const std::vector<uint8_t> ptr = entryRowPointer(where);
    for (size_t x = 0; x < indexes_.size(); ++x) {
        if (skip[x]) continue;
        IndexBuf& ix = *indexes_[x];
        keys[x].insert(keys[x].end(), ptr.begin(), ptr.end());
        const size_t e = ix.entries.add(keys[x]);
        if (ix.unique && !ix.allNull(values, t_)) ix.keys.insert(uint32_t(e));
        ix.dead.push_back(false);
        if (ix.byRowBuilt) ix.byRow.emplace(packed(where), e);
        ix.changed = true;
    }
    autoNumber_ = autoNumber;
    ++rowDelta_;
    dirty_ = true;
    return {};
}

void TableWriter::remove(RowPointer where) {
    PageRef p = file_.page(where.page);
    RowSlot s = slotAt(l_, Bytes(p->data(), p->size()), where.row);
    if (s.deleted) throw FormatError("the row is already deleted");
    RowBytes rb = rowAt(file_, l_, where, t_.page);
    CrackedRow cracked;
    crackRow(l_, t_, rb.bytes, cracked);
    // The values of indexed columns only: long values elsewhere need not be read.
    std::vector<Variant> values(t_.columns.size());
    for (const auto& ix : indexes_)
        for (const KeyColumn& kc : ix->cols) {
            const size_t i = size_t(kc.column - t_.columns.data());
            values[i] = decodeValue(file_, l_, t_.columns[i], cracked.columns[i]);
        }

    for (size_t x = 0; x < indexes_.size(); ++x) {
        IndexBuf& ix = loaded(x);
        if (!ix.byRowBuilt) {
            ix.byRow.reserve(ix.entries.size());
            for (size_t e = 0; e < ix.entries.size(); ++e) {
                if (ix.dead[e]) continue;
                const EntryView v = ix.entries.at(e);
                ix.byRow[packed({Bytes(v.data(), v.size()).be24(v.size() - 4), v.back()})] = e;
            }
            ix.byRowBuilt = true;
        }
        auto it = ix.byRow.find(packed(where));
        if (it == ix.byRow.end()) {
            if (ix.ignoreNulls && ix.allNull(values, t_)) continue;
            throw FormatError("a row is missing from an index");
        }
        if (ix.unique) {
            auto [a, b] = ix.keys.equal_range(uint32_t(it->second));
            for (; a != b; ++a)
                if (*a == it->second) {
                    ix.keys.erase(a);
                    break;
                }
        }
        ix.dead[it->second] = true;
        ix.byRow.erase(it);
        ix.changed = true;
    }
    for (size_t i = 0; i < t_.columns.size(); ++i)
        if (t_.columns[i].longValue() && cracked.columns[i].present && cracked.columns[i].data.size() >= 12)
            freeLongValue(file_, l_, cracked.columns[i].data);
    if (s.pointer) {
        const RowPointer at = RowPointer::fromPacked(Bytes(p->data(), p->size()).u32(s.start));
        markRowDeleted(file_, l_, at.page, at.row);
    }
    markRowDeleted(file_, l_, where.page, where.row);
    --rowDelta_;
    dirty_ = true;
}

void TableWriter::flush() {
    for (size_t x = 0; x < indexes_.size(); ++x) {
        IndexBuf& ix = *indexes_[x];
        if (!ix.isLoaded || !ix.changed) continue;
        std::vector<EntryView> sorted;
        sorted.reserve(ix.entries.size());
        {
            std::vector<size_t> order;
            order.reserve(ix.entries.size());
            for (size_t e = 0; e < ix.entries.size(); ++e)
                if (!ix.dead[e]) order.push_back(e);
            std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
                const EntryView x1 = ix.entries.at(a), x2 = ix.entries.at(b);
                return std::lexicographical_compare(x1.begin(), x1.end(), x2.begin(), x2.end());
            });
            for (size_t e : order) sorted.push_back(ix.entries.at(e));
        }
        writeIndexTree(file_, l_, t_, x, ix.tree, sorted);
        writeDistinctKeyCount(file_, l_, t_, x, sorted);
        // The tree's pages changed: read it again if more changes come.
        auto fresh = std::make_unique<IndexBuf>();
        fresh->cols = ix.cols;
        fresh->unique = ix.unique;
        fresh->ignoreNulls = ix.ignoreNulls;
        fresh->jet3 = ix.jet3;
        indexes_[x] = std::move(fresh);
    }
    if (dirty_) {
        PageBuf& def = file_.modify(t_.page);
        const uint32_t rows = Bytes(def.data(), def.size()).u32(l_.tdefRowCountAt);
        put32(def, l_.tdefRowCountAt, uint32_t(int64_t(rows) + rowDelta_));
        put32(def, l_.tdefAutoNumberAt, autoNumber_);
        rowDelta_ = 0;
        dirty_ = false;
    }
}

}  // namespace vantrel::jet
