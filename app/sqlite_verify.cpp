#include "sqlite_verify.h"

#include <sqlite3.h>

#include <cstring>
#include <vector>

#include "sha256.h"
#include "sqlite_schema.h"
#include "sqlite_values.h"

namespace vantrel {

namespace {

void appendWord(std::string& buf, uint64_t x) {
    char b[8];
    for (int k = 0; k < 8; ++k) b[k] = char(x >> (8 * k));
    buf.append(b, 8);
}

// One value's canonical bytes.
void appendValue(std::string& buf, SqlValue::Kind kind, int64_t i, double d, std::string_view bytes) {
    buf += char(kind);
    switch (kind) {
        case SqlValue::Null: break;
        case SqlValue::Integer: appendWord(buf, uint64_t(i)); break;
        case SqlValue::Real: {
            uint64_t bits;
            std::memcpy(&bits, &d, sizeof bits);
            appendWord(buf, bits);
            break;
        }
        case SqlValue::Text:
        case SqlValue::Blob:
            appendWord(buf, bytes.size());
            buf.append(bytes);
            break;
    }
}

// The row's bytes in `buf` added to the table's digest; `buf` emptied.
void endRow(std::string& buf, TableDigest& into) {
    const std::array<uint8_t, 32> md = sha256Bytes(reinterpret_cast<const uint8_t*>(buf.data()), buf.size());
    for (size_t lane = 0; lane < 4; ++lane) {
        uint64_t x = 0;
        for (size_t k = 0; k < 8; ++k) x = x << 8 | md[lane * 8 + k];
        into.sum[lane] += x;
    }
    ++into.rows;
    buf.clear();
}

std::string selectSql(const TableDef& t, const std::vector<Field>& columns) {
    std::string names;
    for (const Field& f : columns) names += (names.empty() ? "" : ", ") + quoteName(f.Name());
    return "SELECT " + names + " FROM " + quoteName(t.Name());
}

SqlValue::Kind kindOf(int sqliteType) {
    switch (sqliteType) {
        case SQLITE_INTEGER: return SqlValue::Integer;
        case SQLITE_FLOAT: return SqlValue::Real;
        case SQLITE_TEXT: return SqlValue::Text;
        case SQLITE_BLOB: return SqlValue::Blob;
        default: return SqlValue::Null;
    }
}

}  // namespace

void RowDigester::add(const SqlValue* values, size_t count, TableDigest& into) {
    for (size_t i = 0; i < count; ++i) appendValue(buf_, values[i].kind, values[i].i, values[i].d, values[i].bytes);
    endRow(buf_, into);
}

TableDigest accessDigest(const TableDef& t) {
    TableDigest out;
    const std::vector<Field> columns = carriedColumns(t);
    if (columns.empty()) return out;
    Recordset rs = t.OpenRecordset();
    std::vector<Field> fields;
    const auto all = rs.Fields();
    for (const Field& c : columns) fields.push_back(all.Item(c.Name()));
    Variant read;
    SqlValue v;
    std::string row;
    for (; !rs.EOF_(); rs.MoveNext()) {
        for (size_t i = 0; i < fields.size(); ++i) {
            fields[i].ReadValue(read);
            toSqlValue(columns[i].Type(), read, v);
            appendValue(row, v.kind, v.i, v.d, v.bytes);
        }
        endRow(row, out);
    }
    rs.Close();
    return out;
}

TableDigest sqliteDigest(const TableDef& t, SqliteDb& copy) {
    TableDigest out;
    const std::vector<Field> columns = carriedColumns(t);
    if (columns.empty()) return out;
    SqliteStatement select(copy, selectSql(t, columns));
    sqlite3_stmt* st = select.handle();
    std::string row;
    while (select.step()) {
        for (int i = 0; i < int(columns.size()); ++i) {
            // Each value read only as what it is: asking a text for its number would convert it.
            const SqlValue::Kind kind = kindOf(sqlite3_column_type(st, i));
            int64_t integer = 0;
            double real = 0;
            std::string_view bytes;
            if (kind == SqlValue::Integer)
                integer = sqlite3_column_int64(st, i);
            else if (kind == SqlValue::Real)
                real = sqlite3_column_double(st, i);
            else if (kind == SqlValue::Text)
                bytes = {reinterpret_cast<const char*>(sqlite3_column_text(st, i)), size_t(sqlite3_column_bytes(st, i))};
            else if (kind == SqlValue::Blob && sqlite3_column_bytes(st, i) > 0)
                bytes = {static_cast<const char*>(sqlite3_column_blob(st, i)), size_t(sqlite3_column_bytes(st, i))};
            appendValue(row, kind, integer, real, bytes);
        }
        endRow(row, out);
    }
    return out;
}

}  // namespace vantrel
