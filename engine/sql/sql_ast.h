// The parsed forms of the SQL subset: expressions (WHERE clauses and
// validation rules) and UPDATE statements.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "variant.h"

namespace vantrel::jet {

struct Expr {
    enum class Kind {
        Literal,    // value
        Column,     // name
        Implicit,   // the field a column validation rule belongs to
        IsNull,     // args[0] IS [NOT] NULL, or isnull(args[0]); negate for NOT
        Compare,    // args[0] op args[1]; op is one of = <> < > <= >=
        Between,    // args[0] [NOT] BETWEEN args[1] AND args[2]
        In,         // args[0] [NOT] IN (args[1..])
        Like,       // args[0] [NOT] LIKE args[1]
        And, Or, Not,
        Function,   // name(args...)
    };
    Kind kind = Kind::Literal;
    Variant value;
    std::string name;
    int column = -1;  // Column: the table's column index, once resolved
    std::string op;
    bool negate = false;
    std::vector<std::unique_ptr<Expr>> args;
};

struct Assignment {
    std::string column;
    Variant value;
};

struct UpdateStatement {
    std::string table;
    std::vector<Assignment> assignments;
    std::unique_ptr<Expr> where;  // null: every row
};

struct InsertStatement {
    std::string table;
    std::vector<std::string> columns;  // empty: every column, in order
    std::vector<Variant> values;
};

struct DeleteStatement {
    std::string table;
    std::unique_ptr<Expr> where;  // null: every row
};

struct ColumnSpec {
    std::string name;
    uint8_t type = 0;  // Jet's column type code
    uint16_t length = 0;
    uint8_t precision = 0, scale = 0;
    bool autoNumber = false, notNull = false;
    bool fixedLength = false;  // CHAR(n): text padded with blanks to its length
};

struct KeySpec {
    std::string name;  // "" when the statement gives none
    bool primary = false, unique = false, ignoreNulls = false, required = false;
    std::vector<std::pair<std::string, bool>> columns;  // name, ascending
};

struct CreateTableStatement {
    std::string table;
    std::vector<ColumnSpec> columns;
    std::vector<KeySpec> keys;  // PRIMARY KEY and UNIQUE constraints
};

struct CreateIndexStatement {
    std::string table;
    KeySpec index;
};

// ALTER TABLE t [ALTER COLUMN c] SET Property = literal: a property DAO
// keeps for a table or field (AllowZeroLength, Required, ValidationRule,
// ValidationText, DefaultValue). Jet's SQL has no statement for them.
struct SetPropertyStatement {
    std::string table, column;  // column "" for the table's own
    std::string name;
    Variant value;
};

// The names of the columns an expression reads.
void collectColumns(const Expr& e, std::vector<std::string>& out);

// Gives each column reference its index through `find` (-1 stays unresolved).
template <class Find>
void resolveColumns(Expr& e, const Find& find) {
    if (e.kind == Expr::Kind::Column) e.column = find(e.name);
    for (auto& a : e.args) resolveColumns(*a, find);
}

}  // namespace vantrel::jet
