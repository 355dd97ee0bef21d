#include "sqlite_values.h"

#include <charconv>

namespace vantrel {

bool carriedType(int16_t daoType) { return sqliteColumnType(daoType) != nullptr; }

const char* sqliteColumnType(int16_t daoType) {
    switch (daoType) {
        case dbBoolean:
        case dbByte:
        case dbInteger:
        case dbLong:
        case dbBigInt: return "INTEGER";
        case dbSingle:
        case dbDouble:
        case dbFloat: return "REAL";
        case dbCurrency:
        case dbDecimal:
        case dbNumeric:
        case dbDate:
        case dbText:
        case dbMemo:
        case dbGUID: return "TEXT";
        case dbBinary:
        case dbLongBinary:
        case dbVarBinary: return "BLOB";
        default: return nullptr;
    }
}

namespace {

// Reuses out.own's storage: a loop over rows allocates only when a text outgrows it.
void ownText(SqlValue& out, std::string_view text) {
    out.kind = SqlValue::Text;
    out.own.assign(text);
    out.bytes = out.own;
}

void dateValue(double ole, SqlValue& out) {
    char buf[64];
    if (!oleDateInRange(ole)) {
        const auto r = std::to_chars(buf, buf + sizeof buf, ole);
        ownText(out, std::string_view(buf, size_t(r.ptr - buf)));
        return;
    }
    const DateParts p = oleDateParts(ole);
    const int parts[] = {p.year / 100, p.year % 100, p.month, p.day, p.hour, p.minute, p.second};
    const char after[] = "\0-- ::";  // what follows each pair of digits
    size_t n = 0;
    for (size_t k = 0; k < 7; ++k) {
        buf[n++] = char('0' + parts[k] / 10);
        buf[n++] = char('0' + parts[k] % 10);
        if (after[k]) buf[n++] = after[k];
    }
    ownText(out, std::string_view(buf, n));
}

void realValue(double d, SqlValue& out) {
    if (d != d) {
        ownText(out, "NaN");
        return;
    }
    out.kind = SqlValue::Real;
    out.d = d;
}

// A BigInt (read as a Decimal of scale 0) as its integer.
bool bigIntValue(const Variant& v, SqlValue& out) {
    const uint128 m = v.decimalMagnitude();
    if (v.type() != VarType::Decimal || v.decimalScale() != 0 || m > uint128(uint64_t(1) << 63)) return false;
    const uint64_t low = uint64_t(m);
    if (!v.decimalNegative() && low == uint64_t(1) << 63) return false;
    out.kind = SqlValue::Integer;
    out.i = v.decimalNegative() ? int64_t(0 - low) : int64_t(low);
    return true;
}

}  // namespace

void toSqlValue(int16_t daoType, const Variant& v, SqlValue& out) {
    if (daoType == dbBigInt && bigIntValue(v, out)) return;
    switch (v.type()) {
        case VarType::Null: out.kind = SqlValue::Null; return;
        case VarType::Boolean: out.kind = SqlValue::Integer, out.i = v.boolValue() ? 1 : 0; return;
        case VarType::Byte:
        case VarType::Integer:
        case VarType::Long: out.kind = SqlValue::Integer, out.i = v.asInt(); return;
        case VarType::Single:
        case VarType::Double: realValue(v.asDouble(), out); return;
        case VarType::Currency: ownText(out, v.currencyText(4)); return;
        case VarType::Decimal: ownText(out, v.decimalText()); return;
        case VarType::Date: dateValue(v.asDouble(), out); return;
        case VarType::Guid: {
            char buf[40];
            ownText(out, v.guidText(buf));
            return;
        }
        case VarType::Text: out.kind = SqlValue::Text, out.bytes = v.str(); return;
        case VarType::Binary: out.kind = SqlValue::Blob, out.bytes = v.str(); return;
    }
    out.kind = SqlValue::Null;
}

}  // namespace vantrel
