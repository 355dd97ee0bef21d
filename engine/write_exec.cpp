#include "write_exec.h"

#include <set>

#include "expr_eval.h"
#include "properties.h"
#include "relationships.h"
#include "row_layout.h"
#include "table_scan.h"
#include "value_decode.h"

namespace vantrel::jet {

namespace {

JetError unsupported(const std::string& what) { return {3251, "Operation is not supported for this type of object. (" + what + ")"}; }

void checkWritable(const CatalogEntry& e) {
    if (!e.local()) throw unsupported("linked table");
    if (e.attributes != 0) throw JetError(3027, "Cannot update.  Database or object is read-only.");
}

// Enforced relationships in which the table takes the given side.
bool enforcedSide(PageFile& file, const std::vector<CatalogEntry>& catalog, const std::string& table, bool foreign) {
    for (const Relationship& r : readRelationships(file, catalog))
        if (r.enforced && upperAscii(foreign ? r.table : r.referencedTable) == upperAscii(table)) return true;
    return false;
}

}  // namespace

const CatalogEntry& tableNamed(const std::vector<CatalogEntry>& catalog, const std::string& name) {
    for (const auto& e : catalog)
        if (upperAscii(e.name) == upperAscii(name)) return e;
    throw JetError(3078, "The Microsoft Jet database engine cannot find the input table or query '" + name +
                             "'.  Make sure it exists and that its name is spelled correctly.");
}

TableWriter& WriterSet::get(const CatalogEntry& table) {
    auto& w = writers_[table.tdefPage];
    if (!w) {
        w = std::make_unique<TableWriter>(file_, table.tdefPage);
        const TableProperties props = readTableProperties(file_, table);
        const auto& cols = w->table().columns;
        for (size_t i = 0; i < cols.size(); ++i)
            if (const ColumnProperties* cp = props.column(cols[i].name)) {
                if (cp->required.value_or(false) && cols[i].type != kBool) w->required[i] = true;
                if (cp->allowZeroLength == false) w->allowZeroLength[i] = false;
            }
    }
    return *w;
}

void WriterSet::flush() {
    for (auto& [page, w] : writers_) w->flush();
}

UpdateReport executeInsert(PageFile& file, const std::vector<CatalogEntry>& catalog, const InsertStatement& st, WriterSet& writers) {
    const CatalogEntry& entry = tableNamed(catalog, st.table);
    checkWritable(entry);
    TableWriter& w = writers.get(entry);
    const TableDefData& t = w.table();

    // Which column each value goes to.
    std::vector<size_t> targets;
    if (st.columns.empty()) {
        for (size_t i = 0; i < t.columns.size(); ++i) targets.push_back(i);
    } else {
        for (const auto& name : st.columns) {
            size_t i = 0;
            while (i < t.columns.size() && upperAscii(t.columns[i].name) != upperAscii(name)) ++i;
            if (i == t.columns.size())
                throw JetError(3127, "The INSERT INTO statement contains the following unknown field name: '" + name +
                                         "'.  Make sure you have typed the name correctly, and try the operation again.");
            for (size_t j : targets)
                if (j == i) throw JetError(3067, "Query input must contain at least one table or query.");
            targets.push_back(i);
        }
    }
    if (targets.size() != st.values.size()) throw JetError(3346, "Number of query values and destination fields are not the same.");

    // Rules this engine does not apply yet stop the statement rather than be skipped.
    const TableProperties props = readTableProperties(file, entry);
    if (!props.validationRule.empty()) throw unsupported("the table has a validation rule");
    std::vector<bool> given(t.columns.size(), false);
    for (size_t i : targets) given[i] = true;
    for (size_t i = 0; i < t.columns.size(); ++i) {
        const ColumnProperties* cp = props.column(t.columns[i].name);
        if (!cp) continue;
        if (!cp->validationRule.empty()) throw unsupported("column " + t.columns[i].name + " has a validation rule");
        if (cp->hasDefault && !given[i]) throw unsupported("column " + t.columns[i].name + " has a default value; name it in the statement");
    }
    if (enforcedSide(file, catalog, entry.name, true)) throw unsupported("the table must match an enforced relationship");

    std::vector<Variant> values(t.columns.size());
    for (size_t k = 0; k < targets.size(); ++k) values[targets[k]] = st.values[k];
    UpdateReport r;
    r.table = entry.name;
    const std::string refusal = w.insert(std::move(values), given);
    if (refusal.empty()) ++r.affected;
    else ++r.refused[refusal];
    return r;
}

UpdateReport executeDelete(PageFile& file, const std::vector<CatalogEntry>& catalog, DeleteStatement st, WriterSet& writers, double today) {
    const CatalogEntry& entry = tableNamed(catalog, st.table);
    checkWritable(entry);
    if (enforcedSide(file, catalog, entry.name, false)) throw unsupported("other tables' rows refer to this table's rows");
    TableWriter& w = writers.get(entry);
    const TableDefData& t = w.table();
    const Layout l = Layout::forFormat(file.jet3());
    auto findColumn = [&](const std::string& name) {
        for (size_t i = 0; i < t.columns.size(); ++i)
            if (upperAscii(t.columns[i].name) == upperAscii(name)) return int(i);
        return -1;
    };
    if (st.where) {
        std::vector<std::string> names;
        collectColumns(*st.where, names);
        std::set<std::string> unknown;
        for (const auto& n : names)
            if (findColumn(n) < 0) unknown.insert(upperAscii(n));
        if (!unknown.empty()) throw JetError(3061, "Too few parameters. Expected " + std::to_string(unknown.size()) + ".");
        resolveColumns(*st.where, findColumn);
    }

    // The rows to go, found first: deleting changes the pages being scanned.
    std::vector<RowPointer> doomed;
    TableScan scan(file, t);
    CrackedRow cracked;
    std::vector<Variant> values(t.columns.size());
    while (scan.next()) {
        if (st.where) {
            crackRow(l, t, scan.row().bytes, cracked);
            for (size_t i = 0; i < t.columns.size(); ++i) values[i] = decodeValue(file, l, t.columns[i], cracked.columns[i]);
            EvalContext ctx;
            ctx.today = today;
            ctx.columnAt = [&](int i) { return values[size_t(i)]; };
            ctx.column = [&](const std::string& name) { return values[size_t(findColumn(name))]; };
            if (!isTrue(evaluate(*st.where, ctx))) continue;
        }
        doomed.push_back(scan.where());
    }
    for (const RowPointer& p : doomed) w.remove(p);
    UpdateReport r;
    r.table = entry.name;
    r.affected = long(doomed.size());
    return r;
}

}  // namespace vantrel::jet
