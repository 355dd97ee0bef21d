#include "sqlite_verify.h"

#include <sqlite3.h>

#include <cstring>
#include <vector>

#include "sha256.h"
#include "sqlite_schema.h"
#include "sqlite_values.h"

namespace vantrel {

namespace {

// One row's canonical bytes, then added to the table's digest.
class RowDigest {
public:
    void value(SqlValue::Kind kind, int64_t i, double d, std::string_view bytes) {
        buf_ += char(kind);
        switch (kind) {
            case SqlValue::Null: break;
            case SqlValue::Integer: append(uint64_t(i)); break;
            case SqlValue::Real: {
                uint64_t bits;
                std::memcpy(&bits, &d, sizeof bits);
                append(bits);
                break;
            }
            case SqlValue::Text:
            case SqlValue::Blob:
                append(bytes.size());
                buf_.append(bytes);
                break;
        }
    }
    void endRow(TableDigest& into) {
        char hex[64];
        sha256Hex(reinterpret_cast<const uint8_t*>(buf_.data()), buf_.size(), hex);
        for (size_t lane = 0; lane < 4; ++lane) {
            uint64_t x = 0;
            for (size_t k = 0; k < 16; ++k) {
                const char c = hex[lane * 16 + k];
                x = x << 4 | uint64_t(c <= '9' ? c - '0' : c - 'a' + 10);
            }
            into.sum[lane] += x;
        }
        ++into.rows;
        buf_.clear();
    }

private:
    void append(uint64_t x) {
        char b[8];
        for (int k = 0; k < 8; ++k) b[k] = char(x >> (8 * k));
        buf_.append(b, 8);
    }
    std::string buf_;
};

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
    RowDigest row;
    for (; !rs.EOF_(); rs.MoveNext()) {
        for (size_t i = 0; i < fields.size(); ++i) {
            fields[i].ReadValue(read);
            toSqlValue(columns[i].Type(), read, v);
            row.value(v.kind, v.i, v.d, v.bytes);
        }
        row.endRow(out);
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
    RowDigest row;
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
            row.value(kind, integer, real, bytes);
        }
        row.endRow(out);
    }
    return out;
}

}  // namespace vantrel
