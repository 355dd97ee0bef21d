#include "update_exec.h"

#include <algorithm>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "ace_write_rules.h"
#include "data_page.h"
#include "expr_eval.h"
#include "index_key.h"
#include "index_write.h"
#include "properties.h"
#include "row_rules.h"
#include "row_encode.h"
#include "row_layout.h"
#include "row_store.h"
#include "sql_parser.h"
#include "table_scan.h"
#include "value_decode.h"
#include "value_encode.h"

namespace vantrel::jet {

namespace {

uint64_t packed(RowPointer p) { return (uint64_t(p.page) << 8) | p.row; }

struct ByteHash {
    size_t operator()(const std::vector<uint8_t>& v) const {
        return std::hash<std::string_view>()(std::string_view(reinterpret_cast<const char*>(v.data()), v.size()));
    }
};

// One physical index the statement changes.
struct IndexState {
    size_t real = 0;
    std::vector<KeyColumn> cols;
    bool unique = false, ignoreNulls = false;
    IndexTree tree;
    EntryArena entries;                                    // whole entries; changed in place, new ones appended
    std::unordered_map<uint64_t, size_t> byRow;            // row -> entry
    std::unordered_map<std::vector<uint8_t>, int, ByteHash> keys;  // unique indexes: key -> entries holding it
    bool changed = false;
};

std::vector<uint8_t> keyOf(EntryView entry) { return {entry.begin(), entry.end() - 4}; }

bool allNullKey(const IndexState& ix, const std::vector<uint8_t>& key, bool jet3) {
    Bytes b(key.data(), key.size());
    size_t at = 0;
    for (size_t c = 0; c < ix.cols.size(); ++c) {
        size_t len = c + 1 == ix.cols.size() ? key.size() - at : segmentLength(ix.cols[c], jet3, b, at);
        if (!(len == 1 && segmentIsNull(ix.cols[c], key[at]))) return false;
        at += len;
    }
    return true;
}

JetError tooFewParameters(size_t n) { return {3061, "Too few parameters. Expected " + std::to_string(n) + "."}; }

}  // namespace

UpdateReport executeUpdate(PageFile& file, const std::vector<CatalogEntry>& catalog, UpdateStatement st, double today) {
    const Layout l = Layout::forFormat(file.jet3());
    const CatalogEntry* entry = nullptr;
    for (const auto& e : catalog)
        if (upperAscii(e.name) == upperAscii(st.table)) entry = &e;
    if (!entry)
        throw JetError(3078, "The Microsoft Jet database engine cannot find the input table or query '" + st.table +
                                 "'.  Make sure it exists and that its name is spelled correctly.");
    if (!entry->local()) throw JetError(3251, "Operation is not supported for this type of object. (linked table)");
    if (entry->attributes != 0) throw JetError(3027, "Cannot update.  Database or object is read-only.");

    UpdateReport report;
    report.table = entry->name;
    TableDefData t = readTableDef(file, entry->tdefPage);
    auto findColumn = [&](const std::string& name) -> int {
        for (size_t i = 0; i < t.columns.size(); ++i)
            if (upperAscii(t.columns[i].name) == upperAscii(name)) return int(i);
        return -1;
    };

    // Names the table does not have are parameters to Jet: too few given.
    std::set<std::string> unknown;
    std::vector<int> targets;
    for (const auto& a : st.assignments) {
        int c = findColumn(a.column);
        if (c < 0) unknown.insert(upperAscii(a.column));
        targets.push_back(c);
    }
    std::vector<std::string> whereCols;
    if (st.where) collectColumns(*st.where, whereCols);
    for (const auto& n : whereCols)
        if (findColumn(n) < 0) unknown.insert(upperAscii(n));
    if (!unknown.empty()) throw tooFewParameters(unknown.size());
    for (size_t i = 0; i < targets.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (targets[i] == targets[j]) throw JetError(3067, "Query input must contain at least one table or query.");
    if (auto why = unwritableUpdate(t, targets); !why.empty())
        throw JetError(3251, "Operation is not supported for this type of object. (" + why + ")");

    // Rules the database declares.
    TableProperties props = readTableProperties(file, *entry);
    for (int c : targets)
        if (const ColumnProperties* cp = props.column(t.columns[size_t(c)].name); cp && cp->appendOnly)
            throw JetError(3251, "Operation is not supported for this type of object. (append-only column " + t.columns[size_t(c)].name +
                                     " keeps its history in a column this engine does not write)");
    // Validation rules, and the enforced relationships over a changed column.
    RowRules rules(file, catalog, *entry, t, props, targets, false);

    // Indexes over a changed column.
    std::vector<IndexState> indexes;
    for (size_t r = 0; r < t.realIndexes.size(); ++r) {
        const RealIndexDef& rd = t.realIndexes[r];
        bool touched = false;
        for (const auto& c : rd.columns)
            for (int tc : targets) touched |= t.columns[size_t(tc)].number == c.number;
        if (!touched) continue;
        IndexState ix;
        ix.real = r;
        ix.cols = keyColumns(t, rd);
        ix.unique = rd.flags & 0x01;
        for (const auto& li : t.indexes)
            if (li.realIndex == r && li.kind == 1) ix.unique = true;
        ix.ignoreNulls = rd.flags & 0x02;
        indexes.push_back(std::move(ix));
    }
    // An index is read only once a row qualifies: most statements of a pass
    // find no Null in an indexed column and never need it.
    bool indexesLoaded = false;
    auto loadIndexes = [&] {
        for (IndexState& ix : indexes) {
            ix.tree = loadIndexTree(file, l, t.realIndexes[ix.real].rootPage);
            ix.entries = std::move(ix.tree.entries);
            ix.byRow.reserve(ix.entries.size());
            for (size_t i = 0; i < ix.entries.size(); ++i) {
                const EntryView e = ix.entries.at(i);
                RowPointer rp{Bytes(e.data(), e.size()).be24(e.size() - 4), e.back()};
                if (!ix.byRow.emplace(packed(rp), i).second) throw FormatError("an index holds two entries for one row");
                if (ix.unique) ++ix.keys[keyOf(e)];
            }
        }
        indexesLoaded = true;
    };

    // Column references resolved once, not per row.
    auto resolver = [&](const std::string& n) { return findColumn(n); };
    if (st.where) resolveColumns(*st.where, resolver);

    // The rows, in storage order.
    RowStore store(file, t);
    TableScan scan(file, t, entry->name);
    CrackedRow cracked;
    std::vector<Variant> values(t.columns.size());
    std::vector<bool> decoded(t.columns.size());
    std::vector<Converted> newValues(targets.size());
    auto refuse = [&](const std::string& why) { ++report.refused[why]; };
    const uint16_t codePage = file.header().codePage;

    // The columns a row is read for: the condition's, and the rules' and
    // indexes' when a row qualifies (then the row is cracked whole).
    std::vector<bool> wanted(t.columns.size(), false);
    if (st.where) {
        std::vector<std::string> names;
        collectColumns(*st.where, names);
        for (const auto& n : names) wanted[size_t(findColumn(n))] = true;
    }

    while (scan.next()) {
        const RowPointer where = scan.where();
        crackRow(l, t, scan.row().bytes, cracked, &wanted);
        std::fill(decoded.begin(), decoded.end(), false);
        auto valueOf = [&](size_t i) -> const Variant& {
            if (!decoded[i]) {
                values[i] = decodeValue(file, l, t.columns[i], cracked.columns[i]);
                decoded[i] = true;
            }
            return values[i];
        };
        EvalContext ctx;
        ctx.today = today;
        ctx.columnAt = [&](int i) { return valueOf(size_t(i)); };
        ctx.column = [&](const std::string& name) { return valueOf(size_t(findColumn(name))); };
        if (st.where && !isTrue(evaluate(*st.where, ctx))) continue;
        crackRow(l, t, scan.row().bytes, cracked);
        std::fill(decoded.begin(), decoded.end(), false);

        // New values, converted and checked against the column's own rules.
        std::string refusal;
        for (size_t a = 0; a < targets.size() && refusal.empty(); ++a) {
            const ColumnDef& c = t.columns[size_t(targets[a])];
            const ColumnProperties* cp = props.column(c.name);
            const Variant& lit = st.assignments[a].value;
            if (lit.isNull()) {
                if (c.type == kBool || !(c.flags & kColNullable) || (cp && cp->required.value_or(false))) refusal = "required";
                newValues[a] = Converted{};
                newValues[a].ok = true;
                continue;
            }
            newValues[a] = convertForColumn(c, lit, l.jet3, codePage);
            if (!newValues[a].ok) {
                refusal = newValues[a].refusal;
            } else if (newValues[a].needsLongValue) {
                refusal = "value too long";
            } else if ((c.type == kText || c.type == kMemo) && newValues[a].value.str().empty() && cp && cp->allowZeroLength == false) {
                refusal = "AllowZeroLength";
            }
        }
        auto newValueOf = [&](size_t col) -> Variant {
            for (size_t a = 0; a < targets.size(); ++a)
                if (size_t(targets[a]) == col) return newValues[a].value;
            return valueOf(col);
        };
        if (refusal.empty()) refusal = rules.check([&](size_t i) { return valueOf(i); }, newValueOf, today);

        // New index entries; a unique index refuses a key it already holds.
        if (refusal.empty() && !indexesLoaded) loadIndexes();
        std::vector<std::vector<uint8_t>> newEntries(indexes.size());
        for (size_t x = 0; x < indexes.size() && refusal.empty(); ++x) {
            IndexState& ix = indexes[x];
            std::vector<uint8_t> key;
            for (const KeyColumn& kc : ix.cols) {
                Variant v = newValueOf(size_t(kc.column - t.columns.data()));
                if (!encodeSegment(kc, l.jet3, v, key)) {
                    // Keep an unchanged column's segment as the index has it.
                    bool assigned = false;
                    for (int tc : targets) assigned |= &t.columns[size_t(tc)] == kc.column;
                    if (assigned)
                        throw JetError(3251, "Operation is not supported for this type of object. (this engine cannot place the value of " +
                                                 kc.column->name + " in the sort order of its index)");
                    key.clear();
                    break;
                }
            }
            if (key.empty()) {
                // Rebuild from the old entry: replace only the changed columns' segments.
                auto it = ix.byRow.find(packed(where));
                if (it == ix.byRow.end()) throw FormatError("a row is missing from an index");
                const EntryView old = ix.entries.at(it->second);
                Bytes ob(old.data(), old.size() - 4);
                size_t at = 0;
                for (size_t c = 0; c < ix.cols.size(); ++c) {
                    const KeyColumn& kc = ix.cols[c];
                    size_t len = c + 1 == ix.cols.size() ? ob.size() - at : segmentLength(kc, l.jet3, ob, at);
                    bool assigned = false;
                    for (int tc : targets) assigned |= &t.columns[size_t(tc)] == kc.column;
                    if (assigned) encodeSegment(kc, l.jet3, newValueOf(size_t(kc.column - t.columns.data())), key);
                    else key.insert(key.end(), old.begin() + long(at), old.begin() + long(at + len));
                    at += len;
                }
            }
            if (ix.unique && !allNullKey(ix, key, l.jet3)) {
                auto it = ix.byRow.find(packed(where));
                const bool same = it != ix.byRow.end() && keyOf(ix.entries.at(it->second)) == key;
                auto k = ix.keys.find(key);
                if (!same && k != ix.keys.end() && k->second > 0) refusal = "unique index";
            }
            newEntries[x] = std::move(key);
        }
        if (!refusal.empty()) {
            refuse(refusal);
            continue;
        }

        // Apply: the row, then its index entries.
        RowParts parts = splitRow(l, t, scan.row().bytes);
        for (size_t a = 0; a < targets.size(); ++a) {
            const ColumnDef& c = t.columns[size_t(targets[a])];
            if (newValues[a].value.isNull()) {
                if (c.number < parts.columnCount) parts.nullMask[c.number / 8] &= uint8_t(~(1u << (c.number % 8)));
                if (!c.fixed() && c.varIndex < parts.vars.size()) parts.vars[c.varIndex].clear();
            } else if (c.type == kBool && !newValues[a].value.boolValue()) {
                if (c.number < parts.columnCount) parts.nullMask[c.number / 8] &= uint8_t(~(1u << (c.number % 8)));
            } else {
                setColumnBytes(parts, c, newValues[a].stored);
            }
        }
        std::vector<uint8_t> row;
        try {
            row = joinRow(l, parts);
        } catch (const FormatError& e) {
            refuse("row too long");
            continue;
        }
        store.replace(where, row);
        for (size_t x = 0; x < indexes.size(); ++x) {
            IndexState& ix = indexes[x];
            std::vector<uint8_t> whole = newEntries[x];
            auto ptr = entryRowPointer(where);
            auto it = ix.byRow.find(packed(where));
            if (it != ix.byRow.end()) {
                if (ix.unique) --ix.keys[keyOf(ix.entries.at(it->second))];
                whole.insert(whole.end(), ptr.begin(), ptr.end());
                ix.entries.replace(it->second, whole);
            } else {
                // An index that ignores Nulls gains the row once it has a value.
                whole.insert(whole.end(), ptr.begin(), ptr.end());
                ix.byRow.emplace(packed(where), ix.entries.add(whole));
            }
            if (ix.unique) ++ix.keys[newEntries[x]];
            ix.changed = true;
        }
        ++report.affected;
    }

    for (IndexState& ix : indexes) {
        // A row whose key became all Null leaves an index that ignores Nulls.
        std::vector<EntryView> sorted = ix.entries.sorted();
        if (ix.ignoreNulls) std::erase_if(sorted, [&](EntryView e) { return allNullKey(ix, keyOf(e), l.jet3); });
        if (!ix.changed) continue;
        writeIndexTree(file, l, t, ix.real, ix.tree, sorted);
        writeDistinctKeyCount(file, l, t, ix.real, sorted);
    }
    report.movedRows = store.moved();
    return report;
}

}  // namespace vantrel::jet
