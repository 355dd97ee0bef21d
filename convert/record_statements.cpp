// INSERT lines, one per record of a table.
#include <cstring>
#include <unordered_map>

#include "converter.h"
#include "text_forms.h"
#include "type_classes.h"

namespace vantrel {

std::string StripChar(Variant FieldVal) {
    std::string text = FieldVal.isNull() ? std::string() : DefaultText(FieldVal);
    // Each of CR, LF and '"' becomes one blank; nothing else changes. The
    // characters are single bytes in UTF-8, so the text keeps its length.
    for (char c : {'\r', '\n', '"'})
        for (size_t at = text.find(c); at != std::string::npos; at = text.find(c, at)) text[at] = ' ';
    return "\"" + text + "\"";
}

std::string FieldList(const std::vector<Variant>& Fldlist) {
    std::string list;
    for (const Variant& slot : Fldlist) {
        if (slot.isNull()) continue;
        list += "[" + slot.str() + "], ";
    }
    if (list.size() >= 2) list.resize(list.size() - 2);
    return list;
}

namespace {

// How a column's values are written, decided once per table from its type:
// left out (binary, long binary, GUID), quoted, bare, or a type without a
// script form (error 13 at the first record holding a value in it).
enum class Form { leftOut, quoted, bare, none };

Form formOf(int16_t type) {
    if (type == dbBinary || type == dbLongBinary || type == dbGUID) return Form::leftOut;
    try {
        return equalsBoolean(QuoteStr(Variant::integer(type)), true) ? Form::quoted : Form::bare;
    } catch (...) {
        return Form::none;
    }
}

// StripChar's text appended to a line.
void appendStripped(const Variant& value, std::string& out) {
    out += '"';
    const size_t from = out.size();
    AppendDefaultText(value, out);
    char* const end = out.data() + out.size();
    for (char c : {'\r', '\n', '"'})
        for (char* at = out.data() + from; (at = static_cast<char*>(std::memchr(at, c, size_t(end - at)))) != nullptr;)
            *at++ = ' ';
    out += '"';
}

}  // namespace

// One INSERT line per record that has a value to write, built in place: the
// column list comes from which columns hold a value (each list made once
// and kept for the records with values in the same columns). The lines of
// one table go out together (script_lines.h); when a record fails, the lines
// of the records before it are put in the file first. Should that flush fail,
// its error is the one raised: a writer appending each line on its own would
// have met it before the record's.
void Converter::WriteRecords(Database& db, TableDef& tbl) {
    rsSrc = db.OpenRecordset(tbl.Name());
    auto fields = rsSrc.Fields();
    std::vector<Form> forms;
    std::vector<std::string> names;
    for (const Field& f : fields) {
        forms.push_back(formOf(f.Type()));
        names.push_back(f.Name());
    }
    const std::string head = "INSERT INTO [" + tbl.Name() + "] (";
    std::string values, line;
    std::string present(forms.size(), '\0');  // per column: 1 when it holds a value in this record
    std::unordered_map<std::string, std::string> lists;  // column lists by `present`
    const std::pair<const std::string, std::string>* last = nullptr;  // the list of the record before
    ScriptLines lines(ScriptPath, linesWritten_, *scriptEnv_);
    try {
        while (!rsSrc.EOF_()) {
            size_t position = 0;
            for (const Field& f : fields) {
                const Form form = forms[position];
                present[position] = 0;
                if (form != Form::leftOut) {
                    Variant value = f.Value();
                    if (!value.isNull()) {
                        // No script form: the same type mismatch as ever, raised here.
                        const bool quoted = form == Form::none ? equalsBoolean(QuoteStr(Variant::integer(f.Type())), true)
                                                               : form == Form::quoted;
                        present[position] = 1;
                        if (quoted) appendStripped(value, values);
                        else AppendDefaultText(value, values);
                        values += ", ";
                    }
                }
                ++position;
            }
            // A record with nothing to write gives no line.
            if (!values.empty()) {
                if (last == nullptr || last->first != present) {
                    auto known = lists.find(present);
                    if (known == lists.end()) {
                        if (lists.size() >= 4096) lists.clear();
                        std::string list;
                        for (size_t i = 0; i < names.size(); ++i)
                            if (present[i]) list.append("[").append(names[i]).append("], ");
                        list.resize(list.size() - 2);
                        known = lists.emplace(present, std::move(list)).first;
                    }
                    last = &*known;
                }
                const std::string_view valueList(values.data(), values.size() - 2);
                if (encoder_.passesThrough()) {
                    lines.add({head, last->second, ") values (", valueList, ")"});
                } else {
                    line.assign(head).append(last->second).append(") values (").append(valueList).append(")");
                    lines.add(encoder_.encode(line));
                }
            }
            values.clear();
            if (record_) record_();
            rsSrc.MoveNext();
        }
    } catch (...) {
        lines.flush();
        throw;
    }
    lines.flush();
}

}  // namespace vantrel
