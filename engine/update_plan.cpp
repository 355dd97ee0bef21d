#include "update_plan.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "ace_write_rules.h"
#include "relationships.h"
#include "row_layout.h"
#include "sql_parser.h"
#include "table_scan.h"
#include "value_decode.h"

namespace vantrel::jet {

namespace {
JetError tooFewParameters(size_t n) { return {3061, "Too few parameters. Expected " + std::to_string(n) + "."}; }
}  // namespace

int UpdateTable::findColumn(const std::string& name) const {
    for (size_t i = 0; i < t.columns.size(); ++i)
        if (upperAscii(t.columns[i].name) == upperAscii(name)) return int(i);
    return -1;
}

const TableProperties& UpdateTable::properties(PageFile& file) const {
    if (!props_) props_ = std::make_shared<const TableProperties>(readTableProperties(file, *entry));
    return *props_;
}

bool UpdatePlan::assigns(int column) const { return std::find(targets.begin(), targets.end(), column) != targets.end(); }

std::string canonicalKey(const Variant& v) {
    if (v.isNumeric()) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "n%.17g", v.asDouble());
        return buf;
    }
    if (v.type() == VarType::Text) return "t" + upperAscii(v.str());
    return "b" + v.str();
}

UpdateTable openUpdateTable(PageFile& file, const std::vector<CatalogEntry>& catalog, const std::string& name) {
    UpdateTable out;
    for (const auto& e : catalog)
        if (upperAscii(e.name) == upperAscii(name)) out.entry = &e;
    if (!out.entry)
        throw JetError(3078, "The Microsoft Jet database engine cannot find the input table or query '" + name +
                                 "'.  Make sure it exists and that its name is spelled correctly.");
    if (!out.entry->local()) throw JetError(3251, "Operation is not supported for this type of object. (linked table)");
    if (out.entry->attributes != 0) throw JetError(3027, "Cannot update.  Database or object is read-only.");
    out.t = readTableDef(file, out.entry->tdefPage);
    return out;
}

UpdatePlan planUpdate(PageFile& file, const std::vector<CatalogEntry>& catalog, const UpdateTable& table, UpdateStatement st) {
    const Layout l = Layout::forFormat(file.jet3());
    const TableDefData& t = table.t;
    const CatalogEntry* entry = table.entry;
    auto findColumn = [&](const std::string& name) { return table.findColumn(name); };
    UpdatePlan plan;

    // Names the table does not have are parameters to Jet: too few given.
    std::set<std::string> unknown;
    std::vector<int>& targets = plan.targets;
    for (const auto& a : st.assignments) {
        int c = findColumn(a.column);
        if (c < 0) unknown.insert(upperAscii(a.column));
        targets.push_back(c);
        plan.values.push_back(a.value);
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
    const TableProperties& props = table.properties(file);
    for (int c : targets)
        if (const ColumnProperties* cp = props.column(t.columns[size_t(c)].name); cp && cp->appendOnly)
            throw JetError(3251, "Operation is not supported for this type of object. (append-only column " + t.columns[size_t(c)].name +
                                     " keeps its history in a column this engine does not write)");
    for (int c : targets) plan.properties.push_back(props.column(t.columns[size_t(c)].name));
    plan.columnRules.resize(t.columns.size());
    for (int c : targets) {
        const ColumnProperties* cp = props.column(t.columns[size_t(c)].name);
        if (cp && !cp->validationRule.empty()) {
            plan.columnRules[size_t(c)] = parseRule(cp->validationRule, true);
            if (!plan.columnRules[size_t(c)])
                throw JetError(3251, "Operation is not supported for this type of object. (the validation rule '" + cp->validationRule +
                                         "' of column " + t.columns[size_t(c)].name + " cannot be evaluated by this engine)");
        }
    }
    if (!props.validationRule.empty()) {
        plan.tableRule = parseRule(props.validationRule, false);
        if (!plan.tableRule)
            throw JetError(3251, "Operation is not supported for this type of object. (the validation rule '" + props.validationRule +
                                     "' of table " + entry->name + " cannot be evaluated by this engine)");
    }

    // Enforced relationships that involve a changed column.
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
            RelationshipCheck check;
            check.weAreForeign = side == 0;
            check.selfReference = foreign && referenced;
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
                    key += canonicalKey(v) + '\x1f';
                }
                if (!anyNull) check.existing.insert(key);
            }
            plan.relationships.push_back(std::move(check));
        }
    }

    // Indexes over a changed column.
    for (size_t r = 0; r < t.realIndexes.size(); ++r) {
        bool touched = false;
        for (const auto& c : t.realIndexes[r].columns)
            for (int tc : targets) touched |= t.columns[size_t(tc)].number == c.number;
        if (touched) plan.indexes.push_back(r);
    }

    // Column references resolved once, not per row.
    auto resolver = [&](const std::string& n) { return findColumn(n); };
    plan.where = std::move(st.where);
    if (plan.where) resolveColumns(*plan.where, resolver);
    for (auto& r : plan.columnRules)
        if (r) resolveColumns(*r, resolver);
    if (plan.tableRule) resolveColumns(*plan.tableRule, resolver);
    plan.whereColumns.assign(t.columns.size(), false);
    for (const auto& n : whereCols) plan.whereColumns[size_t(findColumn(n))] = true;
    return plan;
}

}  // namespace vantrel::jet
