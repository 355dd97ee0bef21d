// Planning an UPDATE: everything a statement needs before it touches a row,
// resolved against its table once: the columns it assigns and their new
// values, its condition, the validation rules, enforced relationships and
// indexes it must keep. Planning only reads the file. A statement that
// cannot run at all fails here, before any row changes (3078, 3061, 3067,
// 3027, 3251); FormatError when the definitions themselves are damaged.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "catalog.h"
#include "page_file.h"
#include "properties.h"
#include "row_rules.h"
#include "sql_ast.h"
#include "table_def.h"

namespace vantrel::jet {

// The table a statement changes, read once.
struct UpdateTable {
    const CatalogEntry* entry = nullptr;
    TableDefData t;
    int findColumn(const std::string& name) const;  // -1 when absent
    // The table's properties, read on first use (a statement that fails on
    // its names fails before they are read, as Jet does).
    const TableProperties& properties(PageFile& file) const;

private:
    mutable std::shared_ptr<const TableProperties> props_;
};

// Finds and reads the table `name`: 3078 when absent, 3251 when linked,
// 3027 when read-only.
UpdateTable openUpdateTable(PageFile& file, const std::vector<CatalogEntry>& catalog, const std::string& name);

struct UpdatePlan {
    std::vector<int> targets;                          // assigned columns, in order
    std::vector<Variant> values;                       // their new values, as written
    std::vector<const ColumnProperties*> properties;   // theirs (null: none), owned by the UpdateTable
    std::unique_ptr<Expr> where;                       // null: every row; columns resolved
    std::vector<bool> whereColumns;                    // by column: read by the condition
    std::unique_ptr<RowRules> rules;                   // validation rules and relationships over the assigned columns
    std::vector<size_t> indexes;                       // real indexes over an assigned column
    bool assigns(int column) const;
};

UpdatePlan planUpdate(PageFile& file, const std::vector<CatalogEntry>& catalog, const UpdateTable& table, UpdateStatement st);

}  // namespace vantrel::jet
