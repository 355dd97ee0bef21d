// `export DB TABLE`: one table's rows, streamed, as CSV in mdb-export's
// conventions (a header row, text-like values quoted with the quote doubled
// inside, numbers bare, Null empty, Yes/No as 1 and 0, binary as hex) or as
// JSON Lines (one object per row, values typed as in the dump).
#include <cstdio>

#include "commands.h"
#include "json_out.h"
#include "progress_bar.h"
#include "table_choice.h"
#include "value_forms.h"

namespace vantrel {

namespace {

bool quotedKind(int16_t type) {
    switch (type) {
        case dbText: case dbMemo: case dbDate: case dbGUID: case dbBinary: case dbLongBinary: case dbVarBinary: return true;
        default: return false;
    }
}

void appendQuoted(std::string& line, const std::string& text) {
    line += '"';
    for (char c : text) {
        if (c == '"') line += '"';
        line += c;
    }
    line += '"';
}

// A header name is quoted only when it would otherwise break the row.
void appendName(std::string& line, const std::string& name, const ExportOptions& o) {
    if (o.quote && (name.find_first_of("\"\r\n") != std::string::npos || name.find(o.delimiter) != std::string::npos))
        appendQuoted(line, name);
    else
        line += name;
}

std::string csvText(int16_t type, const Variant& v, const ExportOptions& o) {
    switch (v.type()) {
        case VarType::Boolean: return v.boolValue() ? "1" : "0";
        case VarType::Byte: case VarType::Integer: case VarType::Long: return std::to_string(v.asInt());
        case VarType::Currency: return v.currencyText(4);
        case VarType::Single: case VarType::Double: {
            const double d = v.asDouble();
            if (d != d) return "NaN";
            if (d - d != 0) return d > 0 ? "Infinity" : "-Infinity";
            return numberText(d, v.type() == VarType::Single);
        }
        case VarType::Date: return dateText(v.asDouble(), o.dateFormat);
        case VarType::Text: return v.str();
        case VarType::Binary: return hexText(v.str());
        case VarType::Guid: return v.guidText();
        case VarType::Decimal: return v.decimalText();
        default: (void)type; return "";
    }
}

}  // namespace

std::string unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        switch (text[++i]) {
            case 't': out += '\t'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case '\\': out += '\\'; break;
            default: out += '\\', out += text[i];
        }
    }
    return out;
}

int runExport(const std::string& path, const std::string& password, const std::string& table, const ExportOptions& o,
              std::FILE* file) {
    Database db = DBEngine::Default().OpenDatabase(path, false, true, ";pwd=" + password);
    TableDef t = chosenTables(db, {table}).front();
    ProgressBar bar(ProgressBar::wanted() ? t.RecordCount() : 0);
    JsonOut out(file);  // a buffered writer; JSON only for JSON Lines
    Recordset rs = t.OpenRecordset();
    auto fields = rs.Fields();
    std::vector<int16_t> types;
    for (const Field& f : fields) types.push_back(f.Type());
    std::string line;
    if (!o.jsonLines && o.header) {
        for (int i = 0; i < fields.Count(); ++i) {
            if (i) line += o.delimiter;
            appendName(line, fields[i].Name(), o);
        }
        line += o.rowDelimiter;
        out.raw(line);
    }
    const Field* current = nullptr;
    long row = 0;
    try {
        for (; !rs.EOF_(); ++row) {
            line.clear();
            if (o.jsonLines) out.raw("{");
            for (int i = 0; i < fields.Count(); ++i) {
                current = &fields[i];
                const int16_t type = types[size_t(i)];
                const Variant v = type == dbAttachment ? Variant() : fields[i].Value();
                if (o.jsonLines) {
                    if (i) out.raw(", ");
                    out.string(fields[i].Name());
                    out.raw(": ");
                    writeJsonValue(out, type, v, BinaryForm::Hex);
                    continue;
                }
                if (i) line += o.delimiter;
                if (v.isNull()) continue;
                if (o.quote && quotedKind(type)) appendQuoted(line, csvText(type, v, o));
                else line += csvText(type, v, o);
            }
            current = nullptr;
            if (o.jsonLines) out.raw("}\n");
            else out.raw(line + o.rowDelimiter);
            bar.step(t.Name());
            rs.MoveNext();
        }
    } catch (const JetError& e) {
        out.flush();
        std::fflush(file);
        bar.finish();
        std::fprintf(stderr, "vantrel: %s\n", failureText(t.Name(), current, row, e).c_str());
        return 1;
    }
    rs.Close();
    out.flush();
    db.Close();
    return 0;
}

}  // namespace vantrel
