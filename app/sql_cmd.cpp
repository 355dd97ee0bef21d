#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

#include "commands.h"
#include "dao.h"
#include "user_tables.h"

namespace vantrel {

namespace {

std::string bracketed(const std::string& name) { return "[" + name + "]"; }

// The type as CREATE TABLE spells it; "" for kinds it cannot make.
std::string typeName(const Field& f) {
    switch (f.Type()) {
        case dbBoolean: return "BIT";
        case dbByte: return "BYTE";
        case dbInteger: return "SHORT";
        case dbLong: return (f.Attributes() & dbAutoIncrField) ? "COUNTER" : "LONG";
        case dbCurrency: return "CURRENCY";
        case dbSingle: return "SINGLE";
        case dbDouble: return "DOUBLE";
        case dbDate: return "DATETIME";
        case dbText: return ((f.Attributes() & dbFixedField) ? "CHAR(" : "TEXT(") + std::to_string(f.Size()) + ")";
        case dbMemo: return "MEMO";
        case dbBinary: return "BINARY(" + std::to_string(f.Size()) + ")";
        case dbLongBinary: return "LONGBINARY";
        case dbGUID: return "GUID";
        case dbDecimal: return "DECIMAL(" + std::to_string(f.Precision()) + "," + std::to_string(f.Scale()) + ")";
        default: return "";
    }
}

std::string shortest(double d) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, d);
    return std::string(buf, r.ptr);
}

// A text literal; control characters, which a quoted literal cannot carry
// safely, are joined in as Chr(n): 'AA' & Chr(0) & 'AA'.
std::string quoted(const std::string& s) {
    std::string out, piece;
    bool open = false;
    auto closePiece = [&] {
        if (!open) return;
        if (!out.empty()) out += " & ";
        out += "'" + piece + "'";
        piece.clear();
        open = false;
    };
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            closePiece();
            if (!out.empty()) out += " & ";
            out += "Chr(" + std::to_string(u) + ")";
            continue;
        }
        open = true;
        if (c == '\'') piece += '\'';
        piece += c;
    }
    closePiece();
    return out.empty() ? "''" : out;
}

// A date as #YYYY-MM-DD HH:MM:SS# when that reads back as the same value,
// else as its number (which a date column takes as well).
std::string dateLiteral(double ole) {
    const DateParts p = oleDateParts(ole);
    if (p.year >= 100 && p.year <= 9999) {
        const double days = oleDay(p.year, p.month, p.day);
        const double frac = (p.hour * 3600.0 + p.minute * 60.0 + p.second) / 86400.0;
        if ((days >= 0 ? days + frac : days - frac) == ole) {
            char buf[48];
            std::snprintf(buf, sizeof buf, "#%04d-%02d-%02d %02d:%02d:%02d#", p.year, p.month, p.day, p.hour, p.minute, p.second);
            return buf;
        }
    }
    return shortest(ole);
}

std::string literal(const Variant& v) {
    static const char hex[] = "0123456789ABCDEF";
    switch (v.type()) {
        case VarType::Null: return "NULL";
        case VarType::Boolean: return v.boolValue() ? "True" : "False";
        case VarType::Byte: case VarType::Integer: case VarType::Long: return std::to_string(v.asInt());
        case VarType::Currency: return v.currencyText(4);
        case VarType::Single: {
            char buf[32];
            auto r = std::to_chars(buf, buf + sizeof buf, v.asDouble(), std::chars_format::general, 9);
            return std::string(buf, r.ptr);
        }
        case VarType::Double: return shortest(v.asDouble());
        case VarType::Date: return dateLiteral(v.asDouble());
        case VarType::Text: return quoted(v.str());
        case VarType::Decimal: return v.decimalText();
        case VarType::Guid: return quoted(v.guidText());
        case VarType::Binary: {
            if (v.str().empty()) return "NULL";
            std::string out = "0x";
            for (unsigned char b : v.str()) {
                out += hex[b >> 4];
                out += hex[b & 15];
            }
            return out;
        }
    }
    return "NULL";
}

}  // namespace

int runSql(const std::string& db, const std::string& password, std::FILE* out) {
    Database d = DBEngine::Default().OpenDatabase(db, false, true, ";pwd=" + password);
    for (const TableDef& t : d.TableDefs()) {
        if (!IsUserTable(t)) continue;
        std::string create = "CREATE TABLE " + bracketed(t.Name()) + " (";
        bool first = true;
        for (const Field& f : t.Fields()) {
            const std::string type = typeName(f);
            if (type.empty()) throw err::notSupported("column " + f.Name() + " of " + t.Name() + " has a type CREATE TABLE cannot make");
            create += (first ? "" : ", ") + bracketed(f.Name()) + " " + type + (f.Required() && f.Type() != dbBoolean ? " NOT NULL" : "");
            first = false;
        }
        std::fprintf(out, "%s);\n", create.c_str());
        for (const Index& x : t.Indexes()) {
            if (x.Foreign()) continue;  // belongs to a relationship, which SQL here does not carry
            std::string line = std::string("CREATE ") + (x.Unique() && !x.Primary() ? "UNIQUE " : "") + "INDEX " + bracketed(x.Name()) + " ON " +
                               bracketed(t.Name()) + " (";
            bool firstCol = true;
            for (const Field& f : x.Fields()) {
                line += (firstCol ? "" : ", ") + bracketed(f.Name()) + ((f.Attributes() & dbDescending) ? " DESC" : "");
                firstCol = false;
            }
            line += ")";
            if (x.Primary()) line += " WITH PRIMARY";
            else if (x.IgnoreNulls()) line += " WITH IGNORE NULL";
            else if (x.Required()) line += " WITH DISALLOW NULL";
            std::fprintf(out, "%s;\n", line.c_str());
        }
        Recordset rs = t.OpenRecordset();
        const Collection<Field> fields = rs.Fields();
        std::string head = "INSERT INTO " + bracketed(t.Name()) + " (";
        for (int i = 0; i < fields.Count(); ++i) head += (i ? ", " : "") + bracketed(fields[i].Name());
        head += ") VALUES (";
        while (!rs.EOF_()) {
            std::string line = head;
            for (int i = 0; i < fields.Count(); ++i) line += (i ? ", " : "") + literal(fields[i].Value());
            std::fprintf(out, "%s);\n", line.c_str());
            rs.MoveNext();
        }
        rs.Close();
        // Properties after the rows, so that rules do not stand in the rows' way.
        auto set = [&](const std::string& column, const char* name, const std::string& value) {
            std::fprintf(out, "ALTER TABLE %s %sSET %s = %s;\n", bracketed(t.Name()).c_str(),
                         column.empty() ? "" : ("ALTER COLUMN " + bracketed(column) + " ").c_str(), name, value.c_str());
        };
        for (const Field& f : t.Fields()) {
            if ((f.Type() == dbText || f.Type() == dbMemo) && !f.AllowZeroLength()) set(f.Name(), "AllowZeroLength", "False");
            if (!f.DefaultValue().empty()) set(f.Name(), "DefaultValue", quoted(f.DefaultValue()));
            if (!f.ValidationRule().empty()) set(f.Name(), "ValidationRule", quoted(f.ValidationRule()));
            if (!f.ValidationText().empty()) set(f.Name(), "ValidationText", quoted(f.ValidationText()));
        }
        if (!t.ValidationRule().empty()) set("", "ValidationRule", quoted(t.ValidationRule()));
        if (!t.ValidationText().empty()) set("", "ValidationText", quoted(t.ValidationText()));
    }
    d.Close();
    return 0;
}

}  // namespace vantrel
