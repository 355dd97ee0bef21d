// Owners of an open SQLite database and of a prepared statement. Every
// failure of SQLite becomes a JetError 3146 carrying SQLite's message.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "error.h"

struct sqlite3;
struct sqlite3_stmt;

namespace vantrel {

class SqliteDb {
public:
    // Opens (readOnly) or creates the file at `path`.
    SqliteDb(const std::string& path, bool readOnly);
    ~SqliteDb();
    SqliteDb(const SqliteDb&) = delete;
    SqliteDb& operator=(const SqliteDb&) = delete;

    // Runs statements that return no rows.
    void exec(const std::string& sql);
    // Closes the file (the destructor closes it too, ignoring failures).
    void close();
    sqlite3* handle() const { return db_; }
    JetError failure(const std::string& what) const;

private:
    sqlite3* db_ = nullptr;
};

class SqliteStatement {
public:
    SqliteStatement(SqliteDb& db, const std::string& sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // Parameters count from 1. Text and blobs are not copied: they must stay
    // as they are until step().
    void bindNull(int i);
    void bindInt(int i, int64_t v);
    void bindReal(int i, double v);
    void bindText(int i, std::string_view v);
    void bindBlob(int i, std::string_view v);
    // True while there is a row; false when done.
    bool step();
    void reset();
    sqlite3_stmt* handle() const { return st_; }

private:
    void check(int rc, const char* what);
    SqliteDb& db_;
    sqlite3_stmt* st_ = nullptr;
};

}  // namespace vantrel
