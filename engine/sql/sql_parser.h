// Parsing the SQL subset and Access expressions (validation rules).
#pragma once

#include <cstddef>
#include <string>
#include <variant>

#include "sql_ast.h"

namespace vantrel::jet {

// Limits on what is parsed. Expressions nest at most this deep (parentheses,
// NOT, and each further AND or OR of a chain count one level), so that no
// statement or rule can exhaust the stack of the parser, the evaluator or
// the tree's destructor. A statement is at most this many bytes long, so
// that a script cannot draw unbounded input into memory; the length leaves
// room for INSERTs that carry large long values (as `sql` writes them).
// Beyond either: JetError 3360.
constexpr size_t kMaxExpressionDepth = 300;
constexpr size_t kMaxStatementLength = size_t(256) << 20;

// UPDATE table SET col = literal [, ...] [WHERE condition]. JetError 3144
// when the text does not parse, 3129/3251 for other kinds of statement.
UpdateStatement parseUpdate(const std::string& sql);

// Any statement of the subset: UPDATE, INSERT INTO ... VALUES, DELETE,
// CREATE TABLE, CREATE [UNIQUE] INDEX, ALTER TABLE ... SET. Syntax errors carry Jet's number for
// the kind of statement; other statements give 3129 or 3251.
using Statement = std::variant<UpdateStatement, InsertStatement, DeleteStatement, CreateTableStatement, CreateIndexStatement,
                               SetPropertyStatement>;
Statement parseStatement(const std::string& sql);

// A validation rule. With `implicitField`, a rule may start with an operator
// (">0", "Between 1 And 9", "Is Not Null"), which then applies to the field.
// Returns null when the rule is not in the supported subset; JetError 3360
// when it nests too deep or is too long.
std::unique_ptr<Expr> parseRule(const std::string& text, bool implicitField);

}  // namespace vantrel::jet
