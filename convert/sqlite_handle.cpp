#include "sqlite_handle.h"

#include <sqlite3.h>

namespace vantrel {

SqliteDb::SqliteDb(const std::string& path, bool readOnly) {
    // One thread uses each connection: no mutex of SQLite's own on it.
    const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
        const JetError e = failure("opening '" + path + "'");
        close();
        throw e;
    }
    // A second connection may read the file while this one writes it: a
    // lock the other holds is waited for, not taken as a failure.
    sqlite3_busy_timeout(db_, 600000);
}

SqliteDb::~SqliteDb() {
    if (db_) sqlite3_close_v2(db_);
}

JetError SqliteDb::failure(const std::string& what) const {
    return JetError(3146, "SQLite: " + what + ": " + (db_ ? sqlite3_errmsg(db_) : "out of memory"));
}

void SqliteDb::exec(const std::string& sql) {
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) throw failure(sql);
}

void SqliteDb::close() {
    if (db_ && sqlite3_close(db_) != SQLITE_OK) throw failure("closing");
    db_ = nullptr;
}

SqliteStatement::SqliteStatement(SqliteDb& db, const std::string& sql) : db_(db) {
    if (sqlite3_prepare_v2(db.handle(), sql.c_str(), int(sql.size()), &st_, nullptr) != SQLITE_OK) throw db.failure(sql);
}

SqliteStatement::~SqliteStatement() { sqlite3_finalize(st_); }

void SqliteStatement::check(int rc, const char* what) {
    if (rc != SQLITE_OK) throw db_.failure(what);
}

void SqliteStatement::bindNull(int i) { check(sqlite3_bind_null(st_, i), "bind"); }
void SqliteStatement::bindInt(int i, int64_t v) { check(sqlite3_bind_int64(st_, i, v), "bind"); }
void SqliteStatement::bindReal(int i, double v) { check(sqlite3_bind_double(st_, i, v), "bind"); }
void SqliteStatement::bindText(int i, std::string_view v) {
    check(sqlite3_bind_text64(st_, i, v.data(), v.size(), SQLITE_STATIC, SQLITE_UTF8), "bind");
}
void SqliteStatement::bindBlob(int i, std::string_view v) { check(sqlite3_bind_blob64(st_, i, v.data(), v.size(), SQLITE_STATIC), "bind"); }

bool SqliteStatement::step() {
    const int rc = sqlite3_step(st_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw db_.failure(sqlite3_sql(st_));
}

void SqliteStatement::reset() {
    sqlite3_reset(st_);
}

}  // namespace vantrel
