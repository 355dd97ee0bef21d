#include "script_report.h"

#include "type_classes.h"
#include "value_forms.h"

namespace vantrel {

namespace {
// The first column whose type has no script form (the writers' type mismatch).
const Field* unscriptableColumn(const Collection<Field>& fields) {
    for (const Field& f : fields) {
        const int16_t type = f.Type();
        if (type == dbBinary || type == dbLongBinary || type == dbGUID) continue;  // left out, never written
        if (QuoteStr(Variant::integer(type)).type() == VarType::Text) return &f;
    }
    return nullptr;
}
}  // namespace

std::string scriptFailureText(const TableDef& table, const JetError& e) {
    std::string text = table.Name();
    auto fields = table.Fields();
    if (const Field* column = e.Number == 13 ? unscriptableColumn(fields) : nullptr)
        text += "." + column->Name() + ": type " + std::to_string(column->Type()) + " (" + typeName(column->Type()) +
                ") has no script form";
    return text + ": Error Number [" + std::to_string(e.Number) + "] Error Description [" + e.Description + "]";
}

std::string lineCount(long n) { return std::to_string(n) + (n == 1 ? " line" : " lines"); }

}  // namespace vantrel
