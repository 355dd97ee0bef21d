// Running CREATE TABLE and CREATE INDEX.
#pragma once

#include <vector>

#include "catalog.h"
#include "page_file.h"
#include "sql_ast.h"

namespace vantrel::jet {

void executeCreateTable(PageFile& file, const std::vector<CatalogEntry>& catalog, const CreateTableStatement& st, double now);

// Builds the new index from the table's rows; JetError 3022 when a unique
// index would hold a key twice, 3058 when a primary key meets a Null.
void executeCreateIndex(PageFile& file, const std::vector<CatalogEntry>& catalog, const CreateIndexStatement& st);

// Sets a table's or column's property; JetError 3270 for a property this
// engine does not keep, 13 for a value of the wrong kind.
void executeSetProperty(PageFile& file, const std::vector<CatalogEntry>& catalog, const SetPropertyStatement& st);

}  // namespace vantrel::jet
