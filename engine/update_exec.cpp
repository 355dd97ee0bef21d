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
#include "relationships.h"
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

// A canonical text for comparing values across tables (relationships).
std::string canonical(const Variant& v) {
    if (v.isNumeric()) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "n%.17g", v.asDouble());
        return buf;
    }
    if (v.type() == VarType::Text) return "t" + upperAscii(v.str());
    return "b" + v.str();
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
    std::vector<std::unique_ptr<Expr>> columnRules(t.columns.size());
    for (int c : targets) {
        const ColumnProperties* cp = props.column(t.columns[size_t(c)].name);
        if (cp && !cp->validationRule.empty()) {
            columnRules[size_t(c)] = parseRule(cp->validationRule, true);
            if (!columnRules[size_t(c)])
                throw JetError(3251, "Operation is not supported for this type of object. (the validation rule '" + cp->validationRule +
                                         "' of column " + t.columns[size_t(c)].name + " cannot be evaluated by this engine)");
        }
    }
    std::unique_ptr<Expr> tableRule;
    if (!props.validationRule.empty()) {
        tableRule = parseRule(props.validationRule, false);
        if (!tableRule)
            throw JetError(3251, "Operation is not supported for this type of object. (the validation rule '" + props.validationRule +
                                     "' of table " + entry->name + " cannot be evaluated by this engine)");
    }

    // Enforced relationships that involve a changed column.
    struct RiCheck {
        std::vector<int> cols;          // our columns
        std::unordered_set<std::string> existing;  // the other side's keys
        bool weAreForeign;              // our new key must exist on the other side
    };
    std::vector<RiCheck> riChecks;
    for (const Relationship& r : readRelationships(file, catalog)) {
        if (!r.enforced) continue;
        const bool foreign = upperAscii(r.table) == upperAscii(entry->name);
        const bool referenced = upperAscii(r.referencedTable) == upperAscii(entry->name);
        if (!foreign && !referenced) continue;
        for (int side = 0; side < 2; ++side) {
            if ((side == 0 && !foreign) || (side == 1 && !referenced)) continue;
            const auto& ours = side == 0 ? r.columns : r.referencedColumns;
            const auto& theirs = side == 0 ? r.referencedColumns : r.columns;
            const std::string& other = side == 0 ? r.referencedTable : r.table;
            RiCheck check;
            check.weAreForeign = side == 0;
            bool touched = false;
            for (const auto& n : ours) {
                int c = findColumn(n);
                if (c < 0) throw FormatError("relationship " + r.name + " names a missing column");
                check.cols.push_back(c);
                touched |= std::find(targets.begin(), targets.end(), c) != targets.end();
            }
            if (!touched) continue;
            const CatalogEntry* oe = nullptr;
            for (const auto& e : catalog)
                if (upperAscii(e.name) == upperAscii(other) && e.local()) oe = &e;
            if (!oe) throw JetError(3251, "Operation is not supported for this type of object. (relationship " + r.name + " to a linked table)");
            TableDefData ot = readTableDef(file, oe->tdefPage);
            std::vector<size_t> ocols;
            for (const auto& n : theirs) {
                size_t k = 0;
                while (k < ot.columns.size() && upperAscii(ot.columns[k].name) != upperAscii(n)) ++k;
                if (k == ot.columns.size()) throw FormatError("relationship " + r.name + " names a missing column");
                ocols.push_back(k);
            }
            TableScan os(file, ot);
            CrackedRow orow;
            while (os.next()) {
                crackRow(l, ot, os.row().bytes, orow);
                std::string key;
                bool anyNull = false;
                for (size_t k : ocols) {
                    Variant v = decodeValue(file, l, ot.columns[k], orow.columns[k]);
                    anyNull |= v.isNull();
                    key += canonical(v) + '\x1f';
                }
                if (!anyNull) check.existing.insert(key);
            }
            riChecks.push_back(std::move(check));
        }
    }

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
    for (auto& r : columnRules)
        if (r) resolveColumns(*r, resolver);
    if (tableRule) resolveColumns(*tableRule, resolver);

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
            } else if (columnRules[size_t(targets[a])]) {
                EvalContext rc = ctx;
                rc.implicit = newValues[a].value;
                Variant ok = evaluate(*columnRules[size_t(targets[a])], rc);
                if (!ok.isNull() && !isTrue(ok)) refusal = "validation rule";
            }
        }
        auto newValueOf = [&](size_t col) -> Variant {
            for (size_t a = 0; a < targets.size(); ++a)
                if (size_t(targets[a]) == col) return newValues[a].value;
            return valueOf(col);
        };
        if (refusal.empty() && tableRule) {
            EvalContext rc = ctx;
            rc.columnAt = [&](int i) { return newValueOf(size_t(i)); };
            rc.column = [&](const std::string& name) { return newValueOf(size_t(findColumn(name))); };
            Variant ok = evaluate(*tableRule, rc);
            if (!ok.isNull() && !isTrue(ok)) refusal = "validation rule";
        }
        for (auto& ri : riChecks) {
            if (!refusal.empty()) break;
            std::string newKey, oldKey;
            bool newNull = false, oldNull = false, changes = false;
            for (int c : ri.cols) {
                Variant nv = newValueOf(size_t(c)), ov = valueOf(size_t(c));
                newNull |= nv.isNull();
                oldNull |= ov.isNull();
                newKey += canonical(nv) + '\x1f';
                oldKey += canonical(ov) + '\x1f';
            }
            changes = newKey != oldKey;
            if (!changes) continue;
            if (ri.weAreForeign && !newNull && !ri.existing.count(newKey)) refusal = "relationship";
            // A value other rows refer to may not change under them.
            if (!ri.weAreForeign && !oldNull && ri.existing.count(oldKey)) refusal = "relationship";
        }

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
