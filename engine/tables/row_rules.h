// The rules a database declares over the rows of one table, beyond a column's
// own type: the columns' validation rules (the new value as the field), the
// table's validation rule (over the new row) and the enforced relationships
// the table takes part in. INSERT and UPDATE check a row through the same
// object, so both refuse the same rows for the same reasons.
//
// Invariants:
//   - A rule that evaluates to Null lets the row pass, as in Jet; only a
//     definite False refuses it.
//   - A rule this engine cannot evaluate fails the construction with 3251:
//     rows are never let through a rule that was not checked.
//   - The keys of a relationship's other side are read once, at construction;
//     rows added later in the same unit of work reach them through
//     noteInserted(). Nothing else may change the other side meanwhile: the
//     session drops these rules before every UPDATE (WriterSet::forgetRules)
//     and the table writers with them at every commit, undo and definition
//     change, and a referenced table refuses DELETE.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "catalog.h"
#include "page_file.h"
#include "properties.h"
#include "sql_ast.h"
#include "table_def.h"
#include "variant.h"

namespace vantrel::jet {

class RowRules {
public:
    // A row's value by column position.
    using Row = std::function<Variant(size_t column)>;

    // `changing`: the columns a statement may change (an UPDATE's targets);
    // only their column rules and the relationships over them are kept. For
    // a new row (`newRows`) every column counts as changing, and only the
    // relationships in which the table is the foreign side are kept: a new
    // referenced key breaks nothing.
    RowRules(PageFile& file, const std::vector<CatalogEntry>& catalog, const CatalogEntry& table, const TableDefData& t,
             const TableProperties& props, const std::vector<int>& changing, bool newRows);
    ~RowRules();

    // "" when the row may be written, else the reason Jet refuses it:
    // "validation rule" or "relationship". `oldRow` is empty for a new row.
    std::string check(const Row& oldRow, const Row& newRow, double today) const;

    // A row was added to `table` (its values as stored, one per column of
    // that table): a key this table refers to may now exist.
    void noteInserted(const std::string& table, const std::vector<Variant>& row);

    // Whether a relationship checked here has this table on both sides: its
    // keys then change with the rows being checked.
    bool refersToItself() const { return selfReference_; }

    // Whether check() can refuse anything at all.
    bool any() const { return anyRule_; }

private:
    struct Link {
        std::vector<int> cols;                      // our columns
        std::string other;                          // the other side's table
        std::vector<size_t> otherCols;              // its columns, in the same order
        std::unordered_set<std::string> existing;   // the other side's keys
        bool weAreForeign = false;                  // our new key must exist on the other side
    };
    std::vector<std::unique_ptr<Expr>> columnRules_;  // per column, null when none is checked
    std::unique_ptr<Expr> tableRule_;
    std::vector<Link> links_;
    bool anyRule_ = false;  // some rule above is checked
    bool selfReference_ = false;
};

// A text for comparing key values across tables: numbers by value, text
// without regard to case.
std::string relationshipKeyPart(const Variant& v);

}  // namespace vantrel::jet
