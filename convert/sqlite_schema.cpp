#include "sqlite_schema.h"

#include <regex>

#include "sqlite_values.h"

namespace vantrel {

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return s;
}

namespace {

std::string sqlText(std::string_view text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += '\'';
        out += c;
    }
    return out + "'";
}

// A text constant in Access's quotes ("a""b" or 'a''b') without them.
bool unquoted(const std::string& s, std::string& text) {
    if (s.size() < 2 || (s[0] != '"' && s[0] != '\'') || s.back() != s[0]) return false;
    const char q = s[0];
    text.clear();
    for (size_t i = 1; i + 1 < s.size(); ++i) {
        if (s[i] == q) {
            if (s[i + 1] != q || i + 2 == s.size()) return false;
            ++i;
        }
        text += s[i];
    }
    return true;
}

// "12.5" as Currency's text, "12.5000".
std::string currencyConstant(std::string s) {
    if (s[0] == '+') s.erase(0, 1);
    const size_t point = s.find('.');
    const size_t decimals = point == std::string::npos ? 0 : s.size() - point - 1;
    if (point == std::string::npos) s += '.';
    return s + std::string(4 - decimals, '0');
}

std::string trimmed(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

bool isPrimary(const Index& i) { return i.Primary(); }

// Whether every column of the index is carried.
bool carriedIndex(const Index& index, const TableDef& t) {
    for (const Field& f : index.Fields())
        if (!carriedType(t.Fields().Item(f.Name()).Type())) return false;
    return true;
}

std::string indexColumns(const Index& index) {
    std::string out = "(";
    for (const Field& f : index.Fields()) {
        if (out.size() > 1) out += ", ";
        out += quoteName(f.Name());
        if (f.Attributes() & dbDescending) out += " DESC";
    }
    return out + ")";
}

std::string nameList(const std::vector<std::string>& names) {
    std::string out = "(";
    for (const std::string& n : names) out += (out.size() > 1 ? ", " : "") + quoteName(n);
    return out + ")";
}

std::string foreignKey(const Relation& r) {
    std::string out = "FOREIGN KEY " + nameList(r.foreignFields) + " REFERENCES " + quoteName(r.table) + " " + nameList(r.fields);
    if (r.attributes & dbRelationUpdateCascade) out += " ON UPDATE CASCADE";
    if (r.attributes & dbRelationDeleteCascade) out += " ON DELETE CASCADE";
    return out;
}

bool columnsCarried(const TableDef& t, const std::vector<std::string>& names) {
    for (const std::string& n : names) {
        bool found = false;
        for (const Field& f : t.Fields())
            if (upper(f.Name()) == upper(n)) found = carriedType(f.Type());
        if (!found) return false;
    }
    return true;
}

}  // namespace

std::string quoteName(std::string_view name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string defaultClause(int16_t daoType, std::string accessDefault) {
    std::string d = trimmed(accessDefault);
    if (!d.empty() && d[0] == '=') d = trimmed(d.substr(1));
    if (d.empty()) return "";
    static const std::regex integer("[-+]?[0-9]+"), real("[-+]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][-+]?[0-9]+)?"),
        currency("[-+]?[0-9]+(\\.[0-9]{0,4})?");
    const std::string word = upper(d);
    std::string text;
    switch (daoType) {
        case dbBoolean:
            if (word == "YES" || word == "TRUE" || word == "ON" || word == "-1") return " DEFAULT 1";
            if (word == "NO" || word == "FALSE" || word == "OFF" || word == "0") return " DEFAULT 0";
            return "";
        case dbByte:
        case dbInteger:
        case dbLong:
        case dbBigInt: return std::regex_match(d, integer) ? " DEFAULT " + d : "";
        case dbSingle:
        case dbDouble:
        case dbFloat: return std::regex_match(d, real) ? " DEFAULT " + d : "";
        case dbCurrency: return std::regex_match(d, currency) ? " DEFAULT " + sqlText(currencyConstant(d)) : "";
        case dbText:
        case dbMemo: return unquoted(d, text) ? " DEFAULT " + sqlText(text) : "";
        default: return "";
    }
}

std::vector<Field> carriedColumns(const TableDef& t) {
    std::vector<Field> out;
    for (const Field& f : t.Fields())
        if (carriedType(f.Type())) out.push_back(f);
    return out;
}

std::string createTableSql(const TableDef& t, const std::vector<Relation>& relations, const std::set<std::string>& exported) {
    std::set<std::string> keyColumns;
    const Index* primary = nullptr;
    const auto indexes = t.Indexes();
    for (const Index& i : indexes)
        if (isPrimary(i) && carriedIndex(i, t)) primary = &i;
    if (primary)
        for (const Field& f : primary->Fields()) keyColumns.insert(upper(f.Name()));
    std::vector<std::string> parts;
    for (const Field& f : carriedColumns(t)) {
        std::string c = quoteName(f.Name()) + " " + sqliteColumnType(f.Type());
        if (f.Required() || keyColumns.count(upper(f.Name()))) c += " NOT NULL";
        c += defaultClause(f.Type(), f.DefaultValue());
        parts.push_back(c);
    }
    if (primary) parts.push_back("PRIMARY KEY " + indexColumns(*primary));
    for (const Relation& r : relations) {
        if (r.attributes & dbRelationDontEnforce || upper(r.foreignTable) != upper(t.Name())) continue;
        if (!exported.count(upper(r.table)) || !columnsCarried(t, r.foreignFields)) continue;
        parts.push_back(foreignKey(r));
    }
    std::string sql = "CREATE TABLE " + quoteName(t.Name()) + " (";
    for (size_t i = 0; i < parts.size(); ++i) sql += (i ? ", " : "") + parts[i];
    return sql + ")";
}

std::vector<std::string> createIndexSql(const TableDef& t, std::set<std::string>& used) {
    std::vector<std::string> out;
    for (const Index& i : t.Indexes()) {
        if (i.Primary() || i.Foreign() || !carriedIndex(i, t)) continue;
        std::string name = t.Name() + "." + i.Name();
        for (int n = 2; used.count(upper(name)); ++n) name = t.Name() + "." + i.Name() + "." + std::to_string(n);
        used.insert(upper(name));
        out.push_back(std::string("CREATE ") + (i.Unique() ? "UNIQUE " : "") + "INDEX " + quoteName(name) + " ON " + quoteName(t.Name()) +
                      " " + indexColumns(i));
    }
    return out;
}

}  // namespace vantrel
