#include "live_rows.h"

#include <algorithm>

#include "ace_keys.h"
#include "data_page.h"
#include "table_scan.h"
#include "value_decode.h"

namespace vantrel::jet {

LiveRows::LiveRows(PageFile& file, const TableDefData& t, std::vector<bool> needed)
    : file_(file), t_(t), l_(Layout::forFormat(file.jet3())), needed_(std::move(needed)) {
    needed_.resize(t.columns.size(), false);
    TableScan scan(file, t);
    while (scan.next()) {
        const RowPointer at = scan.where();
        if (pages_.empty() || pages_.back().page != at.page) {
            if (!pages_.empty() && at.page < pages_.back().page) throw FormatError("table pages out of order");
            PageRef p = file.page(at.page);
            const uint32_t count = slotCount(l_, Bytes(p->data(), p->size()));
            pages_.push_back({at.page, uint32_t(live_.size()), count});
            live_.resize(live_.size() + count, false);
        }
        const Page& pg = pages_.back();
        if (at.row < pg.count) live_[pg.first + at.row] = true;
    }
}

size_t LiveRows::slot(uint64_t packed) const {
    const uint32_t page = uint32_t(packed >> 8), row = uint32_t(packed & 0xFF);
    auto it = std::lower_bound(pages_.begin(), pages_.end(), page, [](const Page& p, uint32_t n) { return p.page < n; });
    if (it == pages_.end() || it->page != page || row >= it->count || !live_[it->first + row]) return npos;
    return it->first + row;
}

void LiveRows::decode(Bytes row) {
    crackRow(l_, t_, row, cracked_, &needed_);
    values_.assign(t_.columns.size(), Variant());
    for (size_t i = 0; i < t_.columns.size(); ++i) {
        if (!needed_[i]) continue;
        // Only key columns are needed: a memo an index keys on is read whole.
        const ColumnDef& c = t_.columns[i];
        values_[i] = aceKeyKind(c.type) ? aceKeyValue(c, cracked_.columns[i]) : decodeValue(file_, l_, c, cracked_.columns[i]);
    }
}

const std::vector<Variant>& LiveRows::values(uint64_t packed) {
    decode(rowAt(file_, l_, RowPointer{uint32_t(packed >> 8), uint16_t(packed & 0xFF)}, t_.page).bytes);
    return values_;
}

void LiveRows::forEach(const std::function<void(uint64_t, size_t, const std::vector<Variant>&)>& fn) {
    TableScan scan(file_, t_);
    while (scan.next()) {
        const RowPointer at = scan.where();
        const uint64_t packed = at.packed();
        decode(scan.row().bytes);
        fn(packed, slot(packed), values_);
    }
}

}  // namespace vantrel::jet
