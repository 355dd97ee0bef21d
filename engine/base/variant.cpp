#include "variant.h"

#include <cmath>
#include <cstdlib>

#include "error.h"

namespace vantrel {

Variant Variant::decimal(uint128 magnitude, bool negative, uint8_t scale) {
    Variant v(VarType::Decimal);
    v.dec_ = magnitude;
    v.i_ = negative ? 1 : 0;
    v.scale_ = scale;
    return v;
}

bool Variant::isNumeric() const {
    switch (t_) {
        case VarType::Boolean: case VarType::Byte: case VarType::Integer: case VarType::Long:
        case VarType::Currency: case VarType::Single: case VarType::Double: case VarType::Date:
        case VarType::Decimal:
            return true;
        default:
            return false;
    }
}

double Variant::asDouble() const {
    switch (t_) {
        case VarType::Single: case VarType::Double: case VarType::Date: return d_;
        case VarType::Currency: return double(i_) / 10000.0;
        case VarType::Decimal: {
            double m = double(dec_) / std::pow(10.0, scale_);
            return i_ ? -m : m;
        }
        default: return double(i_);
    }
}

namespace {
// The last decimal digit of m, taken off it.
inline char popDigit(uint128& m) {
    if (m <= UINT64_MAX) {
        const uint64_t v = uint64_t(m);
        m = v / 10;
        return char('0' + int(v % 10));
    }
    const char d = char('0' + int(m % 10));
    m /= 10;
    return d;
}

// m with a point before its last `decimals` digits (at least one digit before
// the point) and a minus when negative and not zero: "-1.50", "0.05", "12".
std::string placePoint(uint128 m, int decimals, bool negative) {
    char buf[320];  // 39 digits, up to 255 decimals, the point and the sign
    char* const end = buf + sizeof buf;
    char* b = end;
    const bool zero = m == 0;
    if (decimals > 0) {
        for (int k = 0; k < decimals; ++k) *--b = popDigit(m);
        *--b = '.';
    }
    do *--b = popDigit(m);
    while (m);
    if (negative && !zero) *--b = '-';
    return std::string(b, end);
}
}  // namespace

std::string Variant::currencyText(int decimals) const {
    bool neg = i_ < 0;
    const uint128 m = magnitudeOf(i_);
    std::string s = placePoint(m, 4, neg);
    // Trim or pad to the wanted number of decimals.
    size_t dot = s.find('.');
    if (decimals < 4) {
        size_t keep = dot + (decimals > 0 ? size_t(decimals) + 1 : 0);
        while (s.size() > keep && s.back() == '0') s.pop_back();
        if (!s.empty() && s.back() == '.') s.pop_back();
    }
    return s;
}

std::string Variant::decimalText() const { return placePoint(dec_, scale_, i_ != 0); }

std::string_view Variant::guidText(char* buf) const {
    static const char hex[] = "0123456789ABCDEF";
    const auto* b = reinterpret_cast<const uint8_t*>(s_.data());
    if (s_.size() != 16) return {};
    // The first three groups are stored little-endian.
    static const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    char* o = buf;
    *o++ = '{';
    for (int k = 0; k < 16; ++k) {
        if (k == 4 || k == 6 || k == 8 || k == 10) *o++ = '-';
        *o++ = hex[b[order[k]] >> 4];
        *o++ = hex[b[order[k]] & 15];
    }
    *o++ = '}';
    return {buf, size_t(o - buf)};
}

std::string Variant::guidText() const {
    char buf[40];
    return std::string(guidText(buf));
}

bool equalsBoolean(const Variant& v, bool b) {
    const double want = b ? -1.0 : 0.0;
    if (v.isNull()) return false;
    if (v.isNumeric()) return v.asDouble() == want;
    if (v.type() == VarType::Text) {
        const std::string& s = v.str();
        std::string t;
        for (char c : s) t += char(std::tolower(static_cast<unsigned char>(c)));
        size_t a = t.find_first_not_of(" \t"), z = t.find_last_not_of(" \t");
        t = a == std::string::npos ? "" : t.substr(a, z - a + 1);
        if (t == "true") return b;
        if (t == "false") return !b;
        if (!t.empty()) {
            char* end = nullptr;
            double d = std::strtod(t.c_str(), &end);
            if (end && *end == 0) return d == want;
        }
    }
    throw err::typeMismatch();
}

double oleDay(int y, int m, int d) {
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return double(era * 146097 + doe - 693899);
}

bool oleDateInRange(double ole) { return std::isfinite(ole) && ole > -657435.0 && ole < 2958466.0; }

DateParts oleDateParts(double ole) {
    if (!oleDateInRange(ole)) throw err::overflow();
    double whole = std::trunc(ole);
    double frac = std::fabs(ole - whole);
    long long days = (long long)whole;
    long long secs = std::llround(frac * 86400.0);
    if (secs >= 86400) {
        secs -= 86400;
        days += 1;
    }
    // Days since 1899-12-30 to a civil date (proleptic Gregorian), counted
    // from 0000-03-01 so that leap days fall at the end of each year.
    long long z = days + 693899;
    long long era = (z >= 0 ? z : z - 146096) / 146097;
    long long doe = z - era * 146097;
    long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long y = yoe + era * 400;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long mp = (5 * doy + 2) / 153;
    long long d = doy - (153 * mp + 2) / 5 + 1;
    long long m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2) ++y;
    return {int(y), int(m), int(d), int(secs / 3600), int(secs / 60 % 60), int(secs % 60)};
}

}  // namespace vantrel
