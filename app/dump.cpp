#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "commands.h"
#include "dao.h"
#include "json_out.h"
#include "sha256.h"
#include "user_tables.h"

namespace vantrel {

namespace {

std::string connectFor(const std::string& password) { return ";pwd=" + password; }

void writeNumber(JsonOut& out, double d, bool single) {
    if (!std::isfinite(d)) {
        out.string(std::isnan(d) ? "NaN" : d > 0 ? "Infinity" : "-Infinity");
        return;
    }
    char buf[64];
    // Singles with 9 significant digits (enough to read back the same float),
    // doubles in their shortest exact form.
    auto r = single ? std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, 9)
                    : std::to_chars(buf, buf + sizeof buf, d);
    out.raw(std::string_view(buf, size_t(r.ptr - buf)));
}

// "YYYY-MM-DD HH:MM:SS" into buf (at least 32 bytes).
std::string_view dateTimeText(const DateParts& p, char* buf) {
    if (p.year < 0 || p.year > 9999) {
        int n = std::snprintf(buf, 32, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute, p.second);
        return {buf, size_t(n)};
    }
    auto two = [](char* o, int v) {
        o[0] = char('0' + v / 10);
        o[1] = char('0' + v % 10);
    };
    two(buf, p.year / 100);
    two(buf + 2, p.year % 100);
    buf[4] = '-';
    two(buf + 5, p.month);
    buf[7] = '-';
    two(buf + 8, p.day);
    buf[10] = ' ';
    two(buf + 11, p.hour);
    buf[13] = ':';
    two(buf + 14, p.minute);
    buf[16] = ':';
    two(buf + 17, p.second);
    return {buf, 19};
}

void writeValue(JsonOut& out, int16_t type, const Variant& v) {
    if (v.isNull() || type == dbAttachment) {
        out.raw("null");
        return;
    }
    char buf[64];
    switch (v.type()) {
        case VarType::Boolean: out.raw(v.boolValue() ? "true" : "false"); break;
        case VarType::Byte: case VarType::Integer: case VarType::Long: {
            auto r = std::to_chars(buf, buf + sizeof buf, v.asInt());
            out.raw(std::string_view(buf, size_t(r.ptr - buf)));
            break;
        }
        case VarType::Currency: out.string(v.currencyText(4)); break;
        case VarType::Single: writeNumber(out, v.asDouble(), true); break;
        case VarType::Double: writeNumber(out, v.asDouble(), false); break;
        case VarType::Date: {
            out.string(dateTimeText(oleDateParts(v.asDouble()), buf));
            break;
        }
        case VarType::Text: out.string(v.str()); break;
        case VarType::Binary: {
            const auto* p = reinterpret_cast<const uint8_t*>(v.str().data());
            auto r = std::to_chars(buf, buf + sizeof buf, v.str().size());
            out.raw("{\"len\": ");
            out.raw(std::string_view(buf, size_t(r.ptr - buf)));
            out.raw(", \"sha256\": \"");
            out.raw(sha256Hex(p, v.str().size()));
            out.raw("\"}");
            break;
        }
        case VarType::Guid: out.string(v.guidText()); break;
        case VarType::Decimal: {
            // BigInt columns are integers in the dump while they fit a double exactly.
            if (type == dbBigInt && v.decimalMagnitude() <= (uint128)1 << 53) out.raw(v.decimalText());
            else out.string(v.decimalText());
            break;
        }
        default: out.raw("null");
    }
}

}  // namespace

int runTables(const std::string& path, const std::string& password) {
    Database db = DBEngine::Default().OpenDatabase(path, false, true, connectFor(password));
    for (const TableDef& t : db.TableDefs())
        if (IsUserTable(t)) std::printf("%s\n", t.Name().c_str());
    db.Close();
    return 0;
}

int runDump(const std::string& path, const std::string& password, std::FILE* file) {
    Database db = DBEngine::Default().OpenDatabase(path, false, true, connectFor(password));
    std::vector<TableDef> tables;
    for (const TableDef& t : db.TableDefs())
        if (IsUserTable(t)) tables.push_back(t);
    std::sort(tables.begin(), tables.end(), [](const TableDef& a, const TableDef& b) { return a.Name() < b.Name(); });

    JsonOut out(file);
    const std::string version = db.Version();
    out.raw("{\"format\": ");
    out.string(version == "3.0" ? "Jet3" : version == "4.0" ? "Jet4" : "ACE");
    out.raw(", \"tables\": [");
    bool firstTable = true;
    for (const TableDef& t : tables) {
        out.raw(firstTable ? "\n {\"name\": " : ",\n {\"name\": ");
        firstTable = false;
        out.string(t.Name());
        out.raw(", \"columns\": [");
        auto defFields = t.Fields();
        for (int i = 0; i < defFields.Count(); ++i) {
            const Field& f = defFields[i];
            out.raw(i ? ", {\"name\": " : "{\"name\": ");
            out.string(f.Name());
            out.raw(", \"type\": " + std::to_string(f.Type()) + "}");
        }
        out.raw("],\n  \"rows\": [");
        Recordset rs = t.OpenRecordset();
        auto fields = rs.Fields();
        std::vector<int16_t> types;
        for (const Field& f : fields) types.push_back(f.Type());
        bool firstRow = true;
        while (!rs.EOF_()) {
            out.raw(firstRow ? "\n   [" : ",\n   [");
            firstRow = false;
            for (int i = 0; i < fields.Count(); ++i) {
                if (i) out.raw(", ");
                writeValue(out, types[size_t(i)], fields[i].Value());
            }
            out.raw("]");
            rs.MoveNext();
        }
        rs.Close();
        out.raw("]}");
    }
    out.raw("]}\n");
    out.flush();
    db.Close();
    return 0;
}

}  // namespace vantrel
