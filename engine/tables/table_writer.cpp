#include "table_writer.h"

#include <algorithm>
#include <optional>

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

void put32(PageBuf& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// No row lives on page 0 (the header): a pointer no entry names.
constexpr RowPointer kNoRow{0, 0};

}  // namespace

TableWriter::TableWriter(PageFile& file, uint32_t tdefPage, size_t maxPendingBytes)
    : file_(file), l_(Layout::forFormat(file.jet3())), t_(readTableDef(file, tdefPage)), indexes_(file, t_, maxPendingBytes),
      longValues_(file, l_) {
    autoNumber_ = Bytes(file_.page(t_.page)->data(), l_.pageSize).u32(l_.tdefAutoNumberAt);
    for (const auto& c : t_.columns) {
        required.push_back(!(c.flags & kColNullable) && c.type != kBool);
        allowZeroLength.push_back(true);
    }
}

TableWriter::~TableWriter() = default;

const KeyColumn* TableWriter::keyFor(size_t x, const std::vector<Variant>& values, TableIndexes::Key& key) {
    key.clear();
    for (const KeyColumn& kc : indexes_.columns(x))
        if (!encodeSegment(kc, l_.jet3, values[size_t(kc.column - t_.columns.data())], key)) return &kc;
    return nullptr;
}

bool TableWriter::allNull(size_t x, const std::vector<Variant>& values) {
    const auto& cols = indexes_.columns(x);
    return std::all_of(cols.begin(), cols.end(), [&](const KeyColumn& k) { return values[size_t(k.column - t_.columns.data())].isNull(); });
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
    if (values.size() != n || given.size() != n) throw err::internal("a new row needs one value per column");
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
        values[i] = std::move(conv[i].value);
        if ((c.type == kText || c.type == kMemo) && values[i].str().empty() && !allowZeroLength[i]) return "AllowZeroLength";
        if ((c.flags & kColAutoLong) && c.type == kLong && given[i] && values[i].asInt() > int64_t(autoNumber))
            autoNumber = uint32_t(values[i].asInt());
    }
    if (check)
        if (std::string why = check(values); !why.empty()) return why;

    // Index entries; a unique index refuses a key it already holds.
    const size_t indexCount = t_.realIndexes.size();
    std::vector<TableIndexes::Key> keys(indexCount);
    for (size_t x = 0; x < indexCount; ++x) {
        indexes_.load(x);
        if (const KeyColumn* bad = keyFor(x, values, keys[x]))
            throw err::notSupported("this engine cannot place the value of " + bad->column->name + " in the sort order of its index");
        if (indexes_.unique(x) && !allNull(x, values) && indexes_.holds(x, keys[x], kNoRow)) return "unique index";
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
            joinRow(l_, parts, row);
        } catch (const RowTooLong&) {
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
        if (slot < 0) throw err::internal("a row does not fit an empty page");
    }
    const RowPointer where{page, uint16_t(slot)};
    for (size_t x = 0; x < indexCount; ++x) indexes_.gain(x, where, keys[x]);
    autoNumber_ = autoNumber;
    ++rowDelta_;
    dirty_ = true;
    indexes_.bound();
    return {};
}

void TableWriter::remove(RowPointer where) {
    PageRef p = file_.page(where.page);
    RowSlot s = slotAt(l_, Bytes(p->data(), p->size()), where.row);
    if (s.deleted) throw err::internal("the row is already deleted");
    RowBytes rb = rowAt(file_, l_, where, t_.page);
    CrackedRow cracked;
    crackRow(l_, t_, rb.bytes, cracked);
    // The values of indexed columns only: long values elsewhere need not be read.
    std::vector<Variant> values(t_.columns.size());
    for (const auto& rx : t_.realIndexes)
        for (const KeyColumn& kc : keyColumns(t_, rx)) {
            const size_t i = size_t(kc.column - t_.columns.data());
            values[i] = decodeValue(file_, l_, t_.columns[i], cracked.columns[i]);
        }

    // Each entry leaves under the key the row's values give, once the index confirms it.
    for (size_t x = 0; x < t_.realIndexes.size(); ++x) {
        indexes_.load(x);
        TableIndexes::Key now;
        const bool known = !keyFor(x, values, now);
        indexes_.lose(x, where, known ? &now : nullptr);
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
    indexes_.bound();
}

bool TableWriter::replace(RowPointer where, const std::vector<uint8_t>& row) {
    if (!store_) store_ = std::make_unique<RowStore>(file_, t_);
    const unsigned before = store_->moved();
    store_->replace(where, row);
    return store_->moved() != before;
}

void TableWriter::flush() {
    indexes_.apply();
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
