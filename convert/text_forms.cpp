#include "text_forms.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace vantrel {

namespace {

// VB's way with floating point: %G with the type's digits, the exponent
// written with a sign and at least two digits ("1E+15", "1E-05").
std::string floating(double d, int digits) {
    if (std::isnan(d)) return "NaN";
    if (std::isinf(d)) return d > 0 ? "Infinity" : "-Infinity";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*G", digits, d);
    std::string s = buf;
    if (s == "-0") s = "0";
    return s;
}

std::string two(int v) {
    char b[8];
    std::snprintf(b, sizeof b, "%02d", v);
    return b;
}

std::string dateText(double ole) {
    DateParts p = oleDateParts(ole);
    char date[32];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", p.year, p.month, p.day);
    std::string time = two(p.hour) + ":" + two(p.minute) + ":" + two(p.second);
    const bool midnight = p.hour == 0 && p.minute == 0 && p.second == 0;
    const bool noDate = p.year == 1899 && p.month == 12 && p.day == 30;
    if (noDate) return time;
    if (midnight) return date;
    return std::string(date) + " " + time;
}

}  // namespace

std::string DefaultText(const Variant& v) {
    switch (v.type()) {
        case VarType::Null: return "";
        case VarType::Boolean: return v.boolValue() ? "True" : "False";
        case VarType::Byte: case VarType::Integer: case VarType::Long: return std::to_string(v.asInt());
        case VarType::Currency: return v.currencyText(0);
        case VarType::Single: return floating(v.asDouble(), 7);
        case VarType::Double: return floating(v.asDouble(), 15);
        case VarType::Date: return dateText(v.asDouble());
        case VarType::Text: return v.str();
        case VarType::Decimal: return v.decimalText();
        case VarType::Guid: return v.guidText();
        case VarType::Binary: return v.str();
    }
    return "";
}

}  // namespace vantrel
