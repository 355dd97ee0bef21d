#include "update_plan.h"

#include <algorithm>
#include <set>

#include "ace_write_rules.h"
#include "row_layout.h"
#include "sql_parser.h"
#include "write_exec.h"

namespace vantrel::jet {

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

UpdateTable openUpdateTable(PageFile& file, const std::vector<CatalogEntry>& catalog, const std::string& name) {
    UpdateTable out;
    out.entry = &tableNamed(catalog, name);
    if (!out.entry->local()) throw err::notSupported("linked table");
    if (out.entry->attributes != 0) throw err::readOnly();
    out.t = readTableDef(file, out.entry->tdefPage);
    return out;
}

UpdatePlan planUpdate(PageFile& file, const std::vector<CatalogEntry>& catalog, const UpdateTable& table, UpdateStatement st) {
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
    if (!unknown.empty()) throw err::tooFewParameters(unknown.size());
    for (size_t i = 0; i < targets.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (targets[i] == targets[j]) throw err::noInputTable();
    if (auto why = unwritableUpdate(t, targets); !why.empty()) throw err::notSupported(why);

    // Rules the database declares.
    const TableProperties& props = table.properties(file);
    for (int c : targets)
        if (const ColumnProperties* cp = props.column(t.columns[size_t(c)].name); cp && cp->appendOnly)
            throw err::notSupported("append-only column " + t.columns[size_t(c)].name +
                                    " keeps its history in a column this engine does not write");
    for (int c : targets) plan.properties.push_back(props.column(t.columns[size_t(c)].name));
    // Validation rules, and the enforced relationships over a changed column.
    plan.rules = std::make_unique<RowRules>(file, catalog, *entry, t, props, targets, false);

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
    plan.whereColumns.assign(t.columns.size(), false);
    for (const auto& n : whereCols) plan.whereColumns[size_t(findColumn(n))] = true;
    return plan;
}

}  // namespace vantrel::jet
