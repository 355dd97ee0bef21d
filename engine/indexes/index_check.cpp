#include "index_check.h"

#include <algorithm>
#include <map>
#include <set>

#include "ace_keys.h"
#include "index_key.h"
#include "index_walk.h"
#include "live_rows.h"
#include "row_layout.h"
#include "text_key.h"
#include "text_key_2010.h"
#include "table_scan.h"
#include "value_decode.h"

namespace vantrel::jet {

namespace {

// Why the engine cannot form a key of this column's values.
std::string keyGap(const KeyColumn& k, bool jet3) {
    const ColumnDef& c = *k.column;
    const bool text = c.type == kText || c.type == kMemo;
    if (text && jet3) return "this engine forms Jet3 text keys only for the empty text";
    if (text && !k.ascending && c.sortOrder == kGeneralSortOrder && c.sortVersion == kGeneral2010SortVersion)
        return "this engine does not form descending keys of sort order 1033 version 1";
    if (text)
        return "its text holds characters this engine cannot place in sort order " + std::to_string(c.sortOrder) +
               " version " + std::to_string(c.sortVersion);
    if (aceKeyKind(c.type) && !k.ascending) return "this engine forms keys of column type " + std::to_string(c.type) + " ascending only";
    return "this engine does not form keys of column type " + std::to_string(c.type);
}
}  // namespace

std::vector<std::string> checkIndexes(PageFile& file, const TableDefData& t, std::vector<std::string>* unverified) {
    const Layout l = Layout::forFormat(file.jet3());
    std::vector<std::string> problems;
    std::set<std::string> gaps;
    if (t.realIndexes.empty()) return problems;

    // The rows, by where their slot is: only where they are is kept; an
    // entry's row is read again when the entry is checked.
    std::vector<bool> keyed(t.columns.size(), false);
    for (const auto& ri : t.realIndexes)
        for (const KeyColumn& kc : keyColumns(t, ri)) keyed[size_t(kc.column - t.columns.data())] = true;
    LiveRows rows(file, t, keyed);

    for (size_t r = 0; r < t.realIndexes.size(); ++r) {
        const std::string name = "index " + std::to_string(r);
        auto cols = keyColumns(t, t.realIndexes[r]);
        std::vector<uint8_t> seen(rows.slots());  // entries per row, by slot number, up to 255
        std::vector<uint8_t> previous, encoded;
        try {
            walkIndex(file, l, t.realIndexes[r].rootPage, [&](Bytes key, RowPointer rp) {
                std::vector<uint8_t> k(key.data(), key.data() + key.size());
                if (!previous.empty() && k < previous) problems.push_back(name + ": entries out of key order");
                previous = k;
                const size_t slot = rows.slot(rp.packed());
                if (slot == LiveRows::npos) {
                    problems.push_back(name + ": entry for a row that does not exist (page " + std::to_string(rp.page) + ", row " + std::to_string(rp.row) + ")");
                    return;
                }
                if (seen[slot] < 255) ++seen[slot];
                const std::vector<Variant>& rowValues = rows.values(rp.packed());
                size_t at = 0;
                for (size_t c = 0; c < cols.size(); ++c) {
                    const KeyColumn& kc = cols[c];
                    // The last segment runs to the row pointer.
                    size_t len = c + 1 == cols.size() ? key.size() - at : segmentLength(kc, l.jet3, key, at);
                    const Variant& v = rowValues[size_t(kc.column - t.columns.data())];
                    const bool nullSeg = len == 1 && segmentIsNull(kc, key.u8(at));
                    if (nullSeg != v.isNull()) {
                        problems.push_back(name + ": column " + kc.column->name + " is " + (v.isNull() ? "Null" : "not Null") + " in the row but not in its entry");
                    } else {
                        encoded.clear();
                        if (!encodeSegment(kc, l.jet3, v, encoded))
                            gaps.insert(name + ": key bytes of column " + kc.column->name + " not verified: " + keyGap(kc, l.jet3));
                        else if (encoded.size() != len || !std::equal(encoded.begin(), encoded.end(), key.data() + at))
                            problems.push_back(name + ": column " + kc.column->name + " entry bytes differ from the row's value");
                    }
                    at += len;
                }
                if (at != key.size()) problems.push_back(name + ": entry longer than its segments");
            });
        } catch (const FormatError& e) {
            problems.push_back(name + ": " + e.what());
            continue;
        }
        const bool ignoreNulls = t.realIndexes[r].flags & 0x02;
        rows.forEach([&](uint64_t where, size_t slot, const std::vector<Variant>& values) {
            // An index that ignores Nulls has no entry for a row whose key columns are all Null.
            const bool allNull = std::all_of(cols.begin(), cols.end(), [&](const KeyColumn& kc) {
                return values[size_t(kc.column - t.columns.data())].isNull();
            });
            const int want = ignoreNulls && allNull ? 0 : 1;
            if (seen[slot] != want)
                problems.push_back(name + ": row at page " + std::to_string(where >> 8) + " slot " + std::to_string(where & 0xFF) +
                                   " has " + std::to_string(seen[slot]) + " entries");
        });
    }
    if (unverified) unverified->insert(unverified->end(), gaps.begin(), gaps.end());
    return problems;
}

}  // namespace vantrel::jet
