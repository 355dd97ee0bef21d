// INSERT lines, one per record of a table.
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

void Converter::WriteRecords(Database& db, TableDef& tbl) {
    rsSrc = db.OpenRecordset(tbl.Name());
    const int n = tbl.Fields().Count();
    std::vector<Variant> names(size_t(n > 0 ? n : 0));
    auto fields = rsSrc.Fields();
    std::string values;
    while (!rsSrc.EOF_()) {
        int32_t position = 0;
        for (const Field& f : fields) {
            Variant& slot = names.at(size_t(position));
            const int16_t type = f.Type();
            if (type == dbBinary || type == dbLongBinary || type == dbGUID) {
                slot = Variant();
            } else {
                Variant value = f.Value();
                if (value.isNull()) {
                    slot = Variant();
                } else if (equalsBoolean(QuoteStr(Variant::integer(type)), true)) {
                    slot = Variant::text(f.Name());
                    values += StripChar(value) + ", ";
                } else {
                    slot = Variant::text(f.Name());
                    values += DefaultText(value) + ", ";
                }
            }
            ++position;
        }
        // A record with nothing to write gives no line.
        if (!values.empty()) {
            values.resize(values.size() - 2);
            WriteString("INSERT INTO [" + tbl.Name() + "] (" + FieldList(names) + ") values (" + values + ")");
        }
        values.clear();
        if (record_) record_();
        rsSrc.MoveNext();
    }
}

}  // namespace vantrel
