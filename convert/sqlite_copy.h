// Writes Access tables into a new SQLite file: the schema of sqlite_schema.h,
// then each table's rows streamed through one prepared INSERT in one
// transaction per table, in the table's scan order (one row in memory at a
// time), then the indexes. The file is written without a journal and
// without syncs: it is a new file under a temporary name, trusted only once
// it is whole and verified (the caller syncs it then).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "dao.h"
#include "sqlite_handle.h"

namespace vantrel {

// Called after each row written: the table and the rows written so far.
using CopyProgress = std::function<void(const std::string& table, long rows)>;

void copyToSqlite(Database& db, const std::vector<TableDef>& tables, SqliteDb& out, const CopyProgress& progress = {});

}  // namespace vantrel
