#include "text_forms.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace vantrel {

namespace {

// Floating point is written as %G with the type's digits, the exponent
// written with a sign and at least two digits ("1E+15", "1E-05").
// std::to_chars in general form with a precision gives printf's %.*g text
// exactly, without printf's cost; only the exponent's letter differs.
void appendFloating(double d, int digits, std::string& out) {
    if (std::isnan(d)) {
        out += "NaN";
        return;
    }
    if (std::isinf(d)) {
        out += d > 0 ? "Infinity" : "-Infinity";
        return;
    }
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, digits);
    const size_t n = size_t(r.ptr - buf);
    if (n == 2 && buf[0] == '-' && buf[1] == '0') {
        out += '0';
        return;
    }
    const size_t from = out.size();
    out.append(buf, n);
    for (size_t i = from; i < out.size(); ++i)
        if (out[i] == 'e') out[i] = 'E';
}

// Currency's text as currencyText(0) gives it (no trailing zeros, no point
// for whole amounts), from the value in units of 1/10000.
void appendCurrency(int64_t scaled, std::string& out) {
    const uint64_t m = scaled < 0 ? 0 - uint64_t(scaled) : uint64_t(scaled);
    if (scaled < 0) out += '-';
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, m / 10000);
    out.append(buf, size_t(r.ptr - buf));
    uint64_t fraction = m % 10000;
    if (fraction == 0) return;
    int places = 4;
    while (fraction % 10 == 0) {
        fraction /= 10;
        --places;
    }
    out += '.';
    for (int i = places - 1; i >= 0; --i, fraction /= 10) buf[i] = char('0' + fraction % 10);
    out.append(buf, size_t(places));
}

void appendDigits(int v, int width, std::string& out) {
    char b[4];
    for (int i = width - 1; i >= 0; --i, v /= 10) b[i] = char('0' + v % 10);
    out.append(b, size_t(width));
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

// dateText's text without its formatting calls, for the dates every real
// file holds (years 0 to 9999, parts of at most two digits).
void appendDate(double ole, std::string& out) {
    const DateParts p = oleDateParts(ole);
    auto twoDigits = [](int v) { return v >= 0 && v <= 99; };
    if (!(p.year >= 0 && p.year <= 9999 && twoDigits(p.month) && twoDigits(p.day) && twoDigits(p.hour) &&
          twoDigits(p.minute) && twoDigits(p.second))) {
        out += dateText(ole);
        return;
    }
    const bool midnight = p.hour == 0 && p.minute == 0 && p.second == 0;
    const bool noDate = p.year == 1899 && p.month == 12 && p.day == 30;
    if (!noDate) {
        appendDigits(p.year, 4, out);
        out += '-';
        appendDigits(p.month, 2, out);
        out += '-';
        appendDigits(p.day, 2, out);
        if (midnight) return;
        out += ' ';
    }
    appendDigits(p.hour, 2, out);
    out += ':';
    appendDigits(p.minute, 2, out);
    out += ':';
    appendDigits(p.second, 2, out);
}

}  // namespace

void AppendDefaultText(const Variant& v, std::string& out) {
    switch (v.type()) {
        case VarType::Null: return;
        case VarType::Boolean: out += v.boolValue() ? "True" : "False"; return;
        case VarType::Byte: case VarType::Integer: case VarType::Long: {
            char buf[24];
            const auto r = std::to_chars(buf, buf + sizeof buf, v.asInt());
            out.append(buf, size_t(r.ptr - buf));
            return;
        }
        case VarType::Currency: appendCurrency(v.asInt(), out); return;
        case VarType::Single: appendFloating(v.asDouble(), 7, out); return;
        case VarType::Double: appendFloating(v.asDouble(), 15, out); return;
        case VarType::Date: appendDate(v.asDouble(), out); return;
        case VarType::Text: out += v.str(); return;
        case VarType::Decimal: out += v.decimalText(); return;
        case VarType::Guid: out += v.guidText(); return;
        case VarType::Binary: out += v.str(); return;
    }
}

std::string DefaultText(const Variant& v) {
    std::string out;
    AppendDefaultText(v, out);
    return out;
}

}  // namespace vantrel
