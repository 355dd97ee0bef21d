#include "type_classes.h"

#include <string>

namespace vantrel {

namespace {
Variant unsupported(long code) { return Variant::text("UN-SUPPORTED-TYPE - " + std::to_string(code)); }

long codeOf(const Variant& v) {
    if (v.isNumeric()) return long(v.asDouble());
    if (v.type() == VarType::Text) return std::stol(v.str());
    return 0;
}
}  // namespace

Variant QuoteStr(const Variant& fldType) {
    const long code = codeOf(fldType);
    // Tested in this order: the bare kinds, then the quoted ones.
    for (long bare : {1, 2, 3, 4, 5, 6, 7, 9, 11, 14, 15, 17, 19, 21})
        if (code == bare) return Variant::boolean(false);
    for (long quoted : {8, 10, 12})
        if (code == quoted) return Variant::boolean(true);
    return unsupported(code);
}

Variant GetType(int16_t fldType) {
    switch (fldType) {
        case 1: return Variant::text("BIT");
        case 2: return Variant::text("SMALLINT");
        case 3: case 4: return Variant::text("INT");
        case 5: case 6: case 7: return Variant::text("FLOAT");
        case 8: return Variant::text("DATETIME");
        case 9: case 11: case 15: case 17: return Variant::text("VARBINARY");
        case 10: case 12: return Variant::text("TEXT");
        case 14: return Variant::text("INT");  // no engine type has this code
        default: return unsupported(fldType);
    }
}

}  // namespace vantrel
