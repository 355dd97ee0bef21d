// The SQLite schema of Access tables: CREATE TABLE with each carried
// column's type (sqlite_values.h), NOT NULL for a Required column or one of
// the primary key, DEFAULT when Access's default is a constant, the primary
// key (descending columns kept), and a FOREIGN KEY for every enforced
// relationship between two tables that are both exported (ON UPDATE / ON
// DELETE CASCADE as declared, else NO ACTION); CREATE [UNIQUE] INDEX for the
// other indexes, except the foreign-key indexes Access keeps for
// relationships. SQLite's index names are one name space for the whole
// file: an index is named "TABLE.INDEX". Names are quoted in double quotes
// with a quote inside doubled.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "dao.h"

namespace vantrel {

std::string quoteName(std::string_view name);

// The DEFAULT clause (" DEFAULT 0") of a column whose Access default is a
// constant of its type (a number, a quoted text, Yes/No/True/False); ""
// otherwise (an expression, a function such as Now(), a date).
std::string defaultClause(int16_t daoType, std::string accessDefault);

// The carried columns of a table, in column order.
std::vector<Field> carriedColumns(const TableDef& t);

// `s` with ASCII letters upper-cased: how names are compared, as SQLite
// compares them (one name space per file, ASCII letters without case).
std::string upper(std::string s);

// `exported` holds the upper-cased names of the tables written.
std::string createTableSql(const TableDef& t, const std::vector<Relation>& relations, const std::set<std::string>& exported);

// The CREATE INDEX statements of a table; `used` holds the names taken
// (upper-cased: the tables', then each index's) so that none is given twice:
// a name taken already gets ".2", ".3" and so on.
std::vector<std::string> createIndexSql(const TableDef& t, std::set<std::string>& used);

}  // namespace vantrel
