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
    if (single) {
        std::snprintf(buf, sizeof buf, "%.9g", d);
        out.raw(buf);
    } else {
        auto r = std::to_chars(buf, buf + sizeof buf, d);
        out.raw(std::string_view(buf, size_t(r.ptr - buf)));
    }
}

void writeValue(JsonOut& out, int16_t type, const Variant& v) {
    if (v.isNull() || type == dbAttachment) {
        out.raw("null");
        return;
    }
    char buf[64];
    switch (v.type()) {
        case VarType::Boolean: out.raw(v.boolValue() ? "true" : "false"); break;
        case VarType::Byte: case VarType::Integer: case VarType::Long:
            out.raw(std::to_string(v.asInt()));
            break;
        case VarType::Currency: out.string(v.currencyText(4)); break;
        case VarType::Single: writeNumber(out, v.asDouble(), true); break;
        case VarType::Double: writeNumber(out, v.asDouble(), false); break;
        case VarType::Date: {
            DateParts p = oleDateParts(v.asDouble());
            std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute, p.second);
            out.string(buf);
            break;
        }
        case VarType::Text: out.string(v.str()); break;
        case VarType::Binary: {
            const auto* p = reinterpret_cast<const uint8_t*>(v.str().data());
            out.raw("{\"len\": " + std::to_string(v.str().size()) + ", \"sha256\": \"" + sha256Hex(p, v.str().size()) + "\"}");
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
