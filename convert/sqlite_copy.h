// Writes Access tables into a new SQLite file: the schema of sqlite_schema.h,
// then each table's rows streamed through one prepared INSERT in one
// transaction per table, in the table's scan order, then the indexes. The
// file is written without a journal and without syncs: it is a new file
// under a temporary name, trusted only once it is whole and verified (the
// caller syncs it then).
//
// Rows are read and converted on a second thread while this one inserts
// them: they are handed over in batches of at most kBatchRows rows or
// kBatchBytes bytes of text and binary (a larger value goes alone), two
// batches at a time, so memory stays bounded whatever the file's size.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "dao.h"
#include "sqlite_handle.h"
#include "sqlite_values.h"

namespace vantrel {

constexpr size_t kBatchRows = 512;
constexpr size_t kBatchBytes = size_t(1) << 20;

// Called after each row written: the table and the rows written so far.
using CopyProgress = std::function<void(const std::string& table, long rows)>;
// Called on the calling thread for each row written, with its values as
// they were given to SQLite, in the carried columns' order.
using RowRead = std::function<void(const TableDef& table, const SqlValue* values, size_t count)>;

// The tables and their rows, without indexes.
void copyRowsToSqlite(Database& db, const std::vector<TableDef>& tables, SqliteDb& out, const RowRead& read = {},
                      const CopyProgress& progress = {});
// Then the indexes of the copied tables (one transaction).
void createSqliteIndexes(const std::vector<TableDef>& tables, SqliteDb& out);

// Both.
void copyToSqlite(Database& db, const std::vector<TableDef>& tables, SqliteDb& out, const CopyProgress& progress = {});

}  // namespace vantrel
