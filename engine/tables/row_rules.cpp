#include "row_rules.h"

#include <algorithm>
#include <cstdio>

#include "error.h"
#include "expr_eval.h"
#include "relationships.h"
#include "row_layout.h"
#include "sql_parser.h"
#include "table_scan.h"
#include "value_decode.h"

namespace vantrel::jet {

namespace {

int columnNamed(const TableDefData& t, const std::string& name) {
    for (size_t i = 0; i < t.columns.size(); ++i)
        if (upperAscii(t.columns[i].name) == upperAscii(name)) return int(i);
    return -1;
}

// A rule parsed, its column names resolved; null when it cannot be evaluated
// here (outside the supported subset, or naming a column the table lacks).
std::unique_ptr<Expr> prepared(const std::string& text, bool implicitField, const TableDefData& t) {
    std::unique_ptr<Expr> e = parseRule(text, implicitField);
    if (!e) return nullptr;
    std::vector<std::string> names;
    collectColumns(*e, names);
    for (const auto& n : names)
        if (columnNamed(t, n) < 0) return nullptr;
    resolveColumns(*e, [&](const std::string& n) { return columnNamed(t, n); });
    return e;
}

bool refuses(const Expr& rule, const EvalContext& ctx) {
    const Variant ok = evaluate(rule, ctx);
    return !ok.isNull() && !isTrue(ok);
}

}  // namespace

std::string relationshipKeyPart(const Variant& v) {
    if (v.isNumeric()) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "n%.17g", v.asDouble());
        return buf;
    }
    if (v.type() == VarType::Text) return "t" + upperAscii(v.str());
    return "b" + v.str();
}

RowRules::RowRules(PageFile& file, const std::vector<CatalogEntry>& catalog, const CatalogEntry& table, const TableDefData& t,
                   const TableProperties& props, const std::vector<int>& changing, bool newRows) {
    std::vector<bool> changes(t.columns.size(), newRows);
    for (int c : changing) changes[size_t(c)] = true;

    columnRules_.resize(t.columns.size());
    for (size_t c = 0; c < t.columns.size(); ++c) {
        const ColumnProperties* cp = props.column(t.columns[c].name);
        if (!changes[c] || !cp || cp->validationRule.empty()) continue;
        columnRules_[c] = prepared(cp->validationRule, true, t);
        if (!columnRules_[c])
            throw err::notSupported("the validation rule '" + cp->validationRule + "' of column " + t.columns[c].name +
                                    " cannot be evaluated by this engine");
    }
    if (!props.validationRule.empty()) {
        tableRule_ = prepared(props.validationRule, false, t);
        if (!tableRule_)
            throw err::notSupported("the validation rule '" + props.validationRule + "' of table " + table.name +
                                    " cannot be evaluated by this engine");
    }

    const Layout l = Layout::forFormat(file.jet3());
    for (const Relationship& r : readRelationships(file, catalog)) {
        if (!r.enforced) continue;
        const bool foreign = upperAscii(r.table) == upperAscii(table.name);
        const bool referenced = upperAscii(r.referencedTable) == upperAscii(table.name) && !newRows;
        for (int side = 0; side < 2; ++side) {
            if ((side == 0 && !foreign) || (side == 1 && !referenced)) continue;
            const auto& ours = side == 0 ? r.columns : r.referencedColumns;
            const auto& theirs = side == 0 ? r.referencedColumns : r.columns;
            Link link;
            link.other = side == 0 ? r.referencedTable : r.table;
            link.weAreForeign = side == 0;
            bool touched = false;
            for (const auto& n : ours) {
                const int c = columnNamed(t, n);
                if (c < 0) throw FormatError("relationship " + r.name + " names a missing column");
                link.cols.push_back(c);
                touched |= changes[size_t(c)];
            }
            if (!touched) continue;
            const CatalogEntry* oe = nullptr;
            for (const auto& e : catalog)
                if (upperAscii(e.name) == upperAscii(link.other) && e.local()) oe = &e;
            if (!oe) throw err::notSupported("relationship " + r.name + " to a linked table");
            const TableDefData ot = readTableDef(file, oe->tdefPage);
            for (const auto& n : theirs) {
                const int k = columnNamed(ot, n);
                if (k < 0) throw FormatError("relationship " + r.name + " names a missing column");
                link.otherCols.push_back(size_t(k));
            }
            TableScan os(file, ot, oe->name);
            CrackedRow orow;
            while (os.next()) {
                crackRow(l, ot, os.row().bytes, orow);
                std::string key;
                bool anyNull = false;
                for (size_t k : link.otherCols) {
                    const Variant v = decodeValue(file, l, ot.columns[k], orow.columns[k]);
                    anyNull |= v.isNull();
                    key += relationshipKeyPart(v) + '\x1f';
                }
                if (!anyNull) link.existing.insert(std::move(key));
            }
            selfReference_ |= upperAscii(link.other) == upperAscii(table.name);
            links_.push_back(std::move(link));
        }
    }
    anyRule_ = tableRule_ || !links_.empty() || std::any_of(columnRules_.begin(), columnRules_.end(), [](const auto& r) { return r != nullptr; });
}

RowRules::~RowRules() = default;

std::string RowRules::check(const Row& oldRow, const Row& newRow, double today) const {
    if (!anyRule_) return {};
    EvalContext ctx;
    ctx.today = today;
    ctx.columnAt = [&](int i) { return newRow(size_t(i)); };
    for (size_t c = 0; c < columnRules_.size(); ++c) {
        if (!columnRules_[c]) continue;
        ctx.implicit = newRow(c);
        if (refuses(*columnRules_[c], ctx)) return "validation rule";
    }
    ctx.implicit = Variant();
    if (tableRule_ && refuses(*tableRule_, ctx)) return "validation rule";

    for (const Link& link : links_) {
        std::string newKey, oldKey;
        bool newNull = false, oldNull = false;
        for (int c : link.cols) {
            const Variant nv = newRow(size_t(c));
            newNull |= nv.isNull();
            newKey += relationshipKeyPart(nv) + '\x1f';
            if (oldRow) {
                const Variant ov = oldRow(size_t(c));
                oldNull |= ov.isNull();
                oldKey += relationshipKeyPart(ov) + '\x1f';
            }
        }
        if (oldRow && newKey == oldKey) continue;
        // A key with a Null part refers to nothing.
        if (link.weAreForeign && !newNull && !link.existing.count(newKey)) return "relationship";
        // A value other rows refer to may not change under them.
        if (!link.weAreForeign && oldRow && !oldNull && link.existing.count(oldKey)) return "relationship";
    }
    return {};
}

void RowRules::noteInserted(const std::string& table, const std::vector<Variant>& row) {
    for (Link& link : links_) {
        if (upperAscii(link.other) != upperAscii(table)) continue;
        std::string key;
        bool anyNull = false;
        for (size_t k : link.otherCols) {
            if (k >= row.size()) return;
            anyNull |= row[k].isNull();
            key += relationshipKeyPart(row[k]) + '\x1f';
        }
        if (!anyNull) link.existing.insert(std::move(key));
    }
}

}  // namespace vantrel::jet
