#include "write_exec.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "ace_write_rules.h"
#include "expr_eval.h"
#include "properties.h"
#include "relationships.h"
#include "row_layout.h"
#include "table_scan.h"
#include "value_decode.h"

namespace vantrel::jet {

namespace {

void checkWritable(const CatalogEntry& e) {
    if (!e.local()) throw err::notSupported("linked table");
    if (e.attributes != 0) throw err::readOnly();
}

// Enforced relationships in which the table takes the given side.
bool enforcedSide(PageFile& file, const std::vector<CatalogEntry>& catalog, const std::string& table, bool foreign) {
    for (const Relationship& r : readRelationships(file, catalog))
        if (r.enforced && upperAscii(foreign ? r.table : r.referencedTable) == upperAscii(table)) return true;
    return false;
}

}  // namespace

const CatalogEntry& tableNamed(const std::vector<CatalogEntry>& catalog, const std::string& name) {
    auto same = [&](const std::string& a) {
        return a.size() == name.size() && std::equal(a.begin(), a.end(), name.begin(), [](char x, char y) {
                   return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
               });
    };
    for (const auto& e : catalog)
        if (same(e.name)) return e;
    throw err::inputNotFound(name);
}

TableWriter& WriterSet::writer(const CatalogEntry& table) {
    auto found = writers_.find(table.tdefPage);
    if (found == writers_.end()) {
        Entry e;
        e.name = table.name;
        e.writer = inTable(table.name, table.tdefPage, [&] { return std::make_unique<TableWriter>(file_, table.tdefPage); });
        found = writers_.emplace(table.tdefPage, std::move(e)).first;
    }
    return *found->second.writer;
}

void WriterSet::forgetRules() {
    for (auto& [page, e] : writers_) e.plan.reset();
}

TableWriter& WriterSet::get(const CatalogEntry& table, const std::vector<CatalogEntry>& catalog, const Plan** plan) {
    TableWriter& w = writer(table);
    Entry& entry = writers_.at(table.tdefPage);
    if (!entry.plan) {
        // Built whole before it is kept: a failure leaves no writer without its rules.
        auto p = std::make_unique<Plan>();
        const auto& cols = w.table().columns;
        const TableProperties props = readTableProperties(file_, table);
        std::vector<bool> required(cols.size()), allowZeroLength(cols.size(), true);
        p->defaults.resize(cols.size());
        for (size_t i = 0; i < cols.size(); ++i) {
            required[i] = !(cols[i].flags & kColNullable) && cols[i].type != kBool;
            p->columns.emplace(upperAscii(cols[i].name), i);
            const ColumnProperties* cp = props.column(cols[i].name);
            if (!cp) continue;
            if (cp->required.value_or(false) && cols[i].type != kBool) required[i] = true;
            if (cp->allowZeroLength == false) allowZeroLength[i] = false;
            if (cp->hasDefault) p->defaults[i] = ColumnDefault(cols[i].name, cp->defaultValue);
        }
        try {
            p->rules = std::make_unique<RowRules>(file_, catalog, table, w.table(), props, std::vector<int>{}, true);
        } catch (const JetError& err) {
            if (err.Number != 3251) throw;
            p->unsupported = err.Description;  // a rule this engine cannot check: no row goes in unchecked
        }
        p->referenced = enforcedSide(file_, catalog, table.name, false);
        w.required = std::move(required);
        w.allowZeroLength = std::move(allowZeroLength);
        entry.plan = std::move(p);
    }
    if (plan) *plan = entry.plan.get();
    return w;
}

void WriterSet::flush() {
    for (auto& entry : writers_) {
        Entry& e = entry.second;  // a plain reference: a lambda may not capture a structured binding here
        inTable(e.name, entry.first, [&] { e.writer->flush(); });
    }
}

void WriterSet::noteInserted(const CatalogEntry& table, const std::vector<Variant>& row) {
    for (auto& [page, e] : writers_)
        if (e.plan && e.plan->rules) e.plan->rules->noteInserted(table.name, row);
}

UpdateReport executeInsert(const std::vector<CatalogEntry>& catalog, const InsertStatement& st, WriterSet& writers, double today) {
    const CatalogEntry& entry = tableNamed(catalog, st.table);
    checkWritable(entry);
    const WriterSet::Plan* plan = nullptr;
    TableWriter& w = writers.get(entry, catalog, &plan);
    const TableDefData& t = w.table();
    if (!plan->unsupported.empty()) throw JetError(3251, plan->unsupported);
    if (auto why = unwritableRows(t, true); !why.empty()) throw err::notSupported(why);

    // Which column each value goes to.
    std::vector<size_t> targets;
    std::vector<bool> given(t.columns.size(), st.columns.empty());
    if (st.columns.empty()) {
        for (size_t i = 0; i < t.columns.size(); ++i) targets.push_back(i);
    } else {
        for (const auto& name : st.columns) {
            auto it = plan->columns.find(upperAscii(name));
            if (it == plan->columns.end()) throw err::unknownInsertField(name);
            if (given[it->second]) throw err::noInputTable();
            given[it->second] = true;
            targets.push_back(it->second);
        }
    }
    if (targets.size() != st.values.size()) throw err::valueCountMismatch();

    std::vector<Variant> values(t.columns.size());
    for (size_t k = 0; k < targets.size(); ++k) values[targets[k]] = st.values[k];
    // Columns the statement does not name take their defaults (an autonumber counts up instead).
    for (size_t i = 0; i < t.columns.size(); ++i) {
        const ColumnDef& c = t.columns[i];
        if (given[i] || !plan->defaults[i].present() || ((c.flags & kColAutoLong) && c.type == kLong)) continue;
        values[i] = plan->defaults[i].value(today);
        given[i] = !values[i].isNull();
    }

    UpdateReport r;
    r.table = entry.name;
    std::vector<Variant> stored;
    const RowRules* rules = plan->rules.get();
    w.check = [&](const std::vector<Variant>& row) -> std::string {
        if (rules)
            if (std::string why = rules->check({}, [&](size_t i) { return row[i]; }, today); !why.empty()) return why;
        if (plan->referenced) stored = row;  // other tables' rules learn the new key
        return {};
    };
    std::string refusal;
    try {
        refusal = w.insert(std::move(values), given);
    } catch (...) {
        w.check = nullptr;
        throw;
    }
    w.check = nullptr;
    if (refusal.empty()) {
        ++r.affected;
        if (!stored.empty()) writers.noteInserted(entry, stored);
    } else {
        ++r.refused[refusal];
    }
    return r;
}

UpdateReport executeDelete(PageFile& file, const std::vector<CatalogEntry>& catalog, DeleteStatement st, WriterSet& writers, double today) {
    const CatalogEntry& entry = tableNamed(catalog, st.table);
    checkWritable(entry);
    const WriterSet::Plan* plan = nullptr;
    TableWriter& w = writers.get(entry, catalog, &plan);
    if (plan->referenced) throw err::notSupported("other tables' rows refer to this table's rows");
    const TableDefData& t = w.table();
    if (auto why = unwritableRows(t, false); !why.empty()) throw err::notSupported(why);
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
        if (!unknown.empty()) throw err::tooFewParameters(unknown.size());
        resolveColumns(*st.where, findColumn);
    }

    // The rows to go, found first: deleting changes the pages being scanned.
    std::vector<RowPointer> doomed;
    TableScan scan(file, t, entry.name);
    CrackedRow cracked;
    // Only the columns the condition reads are taken from each row.
    std::vector<bool> wanted(t.columns.size(), false);
    if (st.where) {
        std::vector<std::string> names;
        collectColumns(*st.where, names);
        for (const auto& n : names) wanted[size_t(findColumn(n))] = true;
    }
    std::vector<Variant> values(t.columns.size());
    while (scan.next()) {
        if (st.where) {
            crackRow(l, t, scan.row().bytes, cracked, &wanted);
            for (size_t i = 0; i < t.columns.size(); ++i)
                if (wanted[i]) values[i] = decodeValue(file, l, t.columns[i], cracked.columns[i]);
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
