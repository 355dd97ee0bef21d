#include "sqlite_copy.h"

#include <set>

#include "sqlite_schema.h"
#include "sqlite_values.h"

namespace vantrel {

namespace {

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return s;
}

void bind(SqliteStatement& st, int i, const SqlValue& v) {
    switch (v.kind) {
        case SqlValue::Null: st.bindNull(i); break;
        case SqlValue::Integer: st.bindInt(i, v.i); break;
        case SqlValue::Real: st.bindReal(i, v.d); break;
        case SqlValue::Text: st.bindText(i, v.bytes); break;
        case SqlValue::Blob: st.bindBlob(i, v.bytes); break;
    }
}

std::string insertSql(const TableDef& t, const std::vector<Field>& columns) {
    std::string names, marks;
    for (const Field& f : columns) {
        names += (names.empty() ? "" : ", ") + quoteName(f.Name());
        marks += marks.empty() ? "?" : ", ?";
    }
    return "INSERT INTO " + quoteName(t.Name()) + " (" + names + ") VALUES (" + marks + ")";
}

void copyRows(const TableDef& t, SqliteDb& out, const CopyProgress& progress) {
    const std::vector<Field> columns = carriedColumns(t);
    if (columns.empty()) return;
    SqliteStatement insert(out, insertSql(t, columns));
    Recordset rs = t.OpenRecordset();
    std::vector<Field> fields;
    const auto all = rs.Fields();
    for (const Field& c : columns) fields.push_back(all.Item(c.Name()));
    std::vector<int16_t> types;
    for (const Field& c : columns) types.push_back(c.Type());
    std::vector<Variant> read(fields.size());
    std::vector<SqlValue> values(fields.size());
    out.exec("BEGIN");
    for (long row = 1; !rs.EOF_(); ++row) {
        for (size_t i = 0; i < fields.size(); ++i) {
            fields[i].ReadValue(read[i]);
            toSqlValue(types[i], read[i], values[i]);
            bind(insert, int(i) + 1, values[i]);
        }
        insert.step();
        insert.reset();
        if (progress) progress(t.Name(), row);
        rs.MoveNext();
    }
    out.exec("COMMIT");
    rs.Close();
}

}  // namespace

void copyToSqlite(Database& db, const std::vector<TableDef>& tables, SqliteDb& out, const CopyProgress& progress) {
    // A new file under a temporary name: no journal, no syncs (the caller
    // syncs it once, whole); 64 KB pages (the fewest b-tree steps per row,
    // the fewest overflow pages for memos); 32 MB of cache (also what index
    // sorting holds in memory before it spills to temporary files).
    out.exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA page_size=65536; PRAGMA cache_size=-32768; PRAGMA foreign_keys=OFF");
    std::set<std::string> exported;
    for (const TableDef& t : tables) exported.insert(upper(t.Name()));
    const std::vector<Relation> relations = db.Relations();
    std::set<std::string> indexNames = exported;  // tables and indexes share SQLite's one name space
    for (const TableDef& t : tables) {
        if (carriedColumns(t).empty()) continue;  // nothing SQLite can hold: no table
        out.exec(createTableSql(t, relations, exported));
        copyRows(t, out, progress);
    }
    out.exec("BEGIN");
    for (const TableDef& t : tables)
        for (const std::string& sql : createIndexSql(t, indexNames)) out.exec(sql);
    out.exec("COMMIT");
}

}  // namespace vantrel
