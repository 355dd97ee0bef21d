#include "value_encode.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cctype>

#include "long_value.h"
#include "text_codec.h"

namespace vantrel::jet {

namespace {

Converted refuse(const char* why) {
    Converted c;
    c.refusal = why;
    return c;
}

void putLE(std::vector<uint8_t>& out, uint64_t v, size_t n) {
    const size_t at = out.size();
    out.resize(at + n);
    for (size_t i = 0; i < n; ++i) out[at + i] = uint8_t(v >> (8 * i));
}

bool textToNumber(const std::string& s, double& d) {
    size_t a = s.find_first_not_of(' ');
    if (a == std::string::npos) return false;
    char* end = nullptr;
    d = std::strtod(s.c_str() + a, &end);
    while (end && *end == ' ') ++end;
    return end && *end == 0;
}

// Text for a number or Boolean put into a text column.
std::string numberText(const Variant& v) {
    if (v.type() == VarType::Boolean) return v.boolValue() ? "-1" : "0";
    if (v.type() == VarType::Byte || v.type() == VarType::Integer || v.type() == VarType::Long) return std::to_string(v.asInt());
    if (v.type() == VarType::Currency) return v.currencyText(0);
    if (v.type() == VarType::Decimal) return v.decimalText();
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v.asDouble());
    return buf;
}

// Code page 1252 bytes for Jet3 text; false when a character has no byte.
bool encode1252(const std::string& utf8, std::vector<uint8_t>& out) {
    for (char16_t u : utf8ToUtf16(utf8)) {
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            out.push_back(uint8_t(u));
            continue;
        }
        bool found = false;
        for (int b = 0x80; b < 0xA0; ++b) {
            std::string one = decodeCodePage(reinterpret_cast<const uint8_t*>(&b), 1, 1252);
            if (utf8ToUtf16(one) == std::u16string(1, u)) {
                out.push_back(uint8_t(b));
                found = true;
                break;
            }
        }
        if (!found) return false;
    }
    return true;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (braces optional) to the stored
// bytes: the first three groups little-endian, the rest as written.
bool parseGuid(std::string s, uint8_t raw[16]) {
    if (s.size() == 38 && s.front() == '{' && s.back() == '}') s = s.substr(1, 36);
    if (s.size() != 36 || s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-') return false;
    std::string hex;
    for (char ch : s)
        if (ch != '-') hex += ch;
    uint8_t be[16];
    for (int i = 0; i < 16; ++i) {
        char* end = nullptr;
        std::string two = hex.substr(size_t(i) * 2, 2);
        long b = std::strtol(two.c_str(), &end, 16);
        if (!end || *end || !std::isxdigit(static_cast<unsigned char>(two[0]))) return false;
        be[i] = uint8_t(b);
    }
    const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (int i = 0; i < 16; ++i) raw[i] = be[order[i]];
    return true;
}

// The exact decimal a double is written as (its shortest form that reads
// back the same), as magnitude and scale. False for non-finite values.
bool decimalOf(double d, uint128& mag, bool& neg, int& scale) {
    if (!std::isfinite(d)) return false;
    // to_chars with a precision writes what printf's %.*e writes, without
    // the locale and format parsing; from_chars reads as strtod does.
    char buf[64];
    size_t len = 0;
    for (int digits = 15; digits <= 17; ++digits) {
        len = size_t(std::to_chars(buf, buf + sizeof buf, d, std::chars_format::scientific, digits - 1).ptr - buf);
        double back = 0;
        std::from_chars(buf, buf + len, back);
        if (back == d) break;
    }
    // buf: [-]D.DDDDe[+-]XX
    std::string s(buf, len);
    neg = s[0] == '-';
    if (neg) s.erase(0, 1);
    const size_t e = s.find('e');
    const int exp = std::atoi(s.c_str() + e + 1);
    std::string digits;
    for (size_t i = 0; i < e; ++i)
        if (s[i] != '.') digits += s[i];
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    scale = int(digits.size()) - 1 - exp;
    if (scale < 0) {
        digits.append(size_t(-scale), '0');
        scale = 0;
    }
    if (digits.size() > 38) return false;
    mag = 0;
    for (char c : digits) mag = mag * 10 + uint128(c - '0');
    if (mag == 0) neg = false;
    return true;
}

// Brings an exact decimal to `want` places; false when digits would be lost.
bool rescale(uint128& mag, int scale, int want) {
    for (; scale < want; ++scale) mag *= 10;
    for (; scale > want; --scale) {
        if (mag % 10 != 0) return false;
        mag /= 10;
    }
    return true;
}

}  // namespace

Converted convertForColumn(const ColumnDef& c, const Variant& v, bool jet3, uint16_t codePage) {
    Converted r;
    // Numbers, and text that reads as one ("" does not), go into number columns.
    const bool number = v.isNumeric() && v.type() != VarType::Date;
    double d = 0;
    bool numeric = number;
    if (number) d = v.asDouble();
    else if (v.type() == VarType::Text) numeric = textToNumber(v.str(), d);

    auto integral = [&](double lo, double hi, size_t n, auto make) -> Converted {
        if (!numeric) return refuse("type does not convert");
        double x = std::nearbyint(d);  // Jet rounds half to even
        if (!(x >= lo && x <= hi)) return refuse("value out of range");
        Converted out;
        out.ok = true;
        out.value = make(int64_t(x));
        putLE(out.stored, uint64_t(int64_t(x)), n);
        return out;
    };

    switch (c.type) {
        case kByte: return integral(0, 255, 1, [](int64_t x) { return Variant::byte(uint8_t(x)); });
        case kInt: return integral(-32768, 32767, 2, [](int64_t x) { return Variant::integer(int16_t(x)); });
        case kLong: return integral(-2147483648.0, 2147483647.0, 4, [](int64_t x) { return Variant::longInt(int32_t(x)); });
        case kMoney: {
            if (!numeric) return refuse("type does not convert");
            int64_t units;
            uint128 mag;
            bool neg;
            int scale;
            if (v.type() == VarType::Currency) {
                units = v.asInt();
            } else if (v.type() == VarType::Decimal) {
                mag = v.decimalMagnitude();
                if (!rescale(mag, v.decimalScale(), 4) || mag > uint128(INT64_MAX)) return refuse("value out of range");
                units = v.decimalNegative() ? -int64_t(mag) : int64_t(mag);
            } else if (decimalOf(d, mag, neg, scale) && rescale(mag, scale, 4) && mag <= uint128(INT64_MAX)) {
                units = neg ? -int64_t(mag) : int64_t(mag);  // the number as written, to the cent
            } else {
                double scaled = std::nearbyint(d * 10000.0);
                if (!(std::fabs(scaled) < 9.2233720368547e18)) return refuse("value out of range");
                units = int64_t(scaled);
            }
            r.ok = true;
            r.value = Variant::currency(units);
            putLE(r.stored, uint64_t(units), 8);
            return r;
        }
        case kFloat: case kDouble: {
            if (!numeric) return refuse("type does not convert");
            // Infinity and NaN are no number Access stores.
            if (!std::isfinite(d)) return refuse("value out of range");
            r.ok = true;
            if (c.type == kFloat) {
                if (std::fabs(d) > 3.402823466e38) return refuse("value out of range");
                float f = float(d);
                uint32_t bits;
                std::memcpy(&bits, &f, 4);
                r.value = Variant::single(f);
                putLE(r.stored, bits, 4);
            } else {
                uint64_t bits;
                std::memcpy(&bits, &d, 8);
                r.value = Variant::dbl(d);
                putLE(r.stored, bits, 8);
            }
            return r;
        }
        case kDateTime: {
            double when;
            if (v.type() == VarType::Date || number) when = v.asDouble();
            else return refuse("type does not convert");  // text, "" included
            uint64_t bits;
            std::memcpy(&bits, &when, 8);
            r.ok = true;
            r.value = Variant::date(when);
            putLE(r.stored, bits, 8);
            return r;
        }
        case kBool: {
            if (!numeric) {
                if (v.type() != VarType::Text) return refuse("type does not convert");
                std::string t = v.str();
                for (auto& ch : t) ch = char(std::tolower(static_cast<unsigned char>(ch)));
                if (t == "true" || t == "yes" || t == "on") d = -1;
                else if (t == "false" || t == "no" || t == "off") d = 0;
                else return refuse("type does not convert");
            }
            r.ok = true;
            r.value = Variant::boolean(d != 0);
            return r;
        }
        case kNumeric: {
            if (!numeric) return refuse("type does not convert");
            uint128 mag;
            bool neg;
            int scale;
            if (v.type() == VarType::Decimal) {
                mag = v.decimalMagnitude();
                neg = v.decimalNegative();
                scale = v.decimalScale();
            } else if (v.type() == VarType::Currency) {
                neg = v.asInt() < 0;
                mag = uint128(neg ? -(v.asInt() + 1) : v.asInt()) + (neg ? 1 : 0);
                scale = 4;
            } else if (!decimalOf(d, mag, neg, scale)) {
                return refuse("value out of range");
            }
            if (!rescale(mag, scale, c.scale)) return refuse("value out of range");
            uint128 limit = 1;
            for (int i = 0; i < (c.precision ? c.precision : 28); ++i) limit *= 10;
            if (mag >= limit) return refuse("value out of range");
            r.ok = true;
            r.value = Variant::decimal(mag, neg && mag != 0, c.scale);
            r.stored.push_back(neg && mag != 0 ? 0x80 : 0x00);
            // Four 32-bit words, most significant first, each little-endian.
            for (int w = 3; w >= 0; --w) putLE(r.stored, uint32_t(mag >> (32 * w)), 4);
            return r;
        }
        case kBinary: case kOle: {
            if (v.type() != VarType::Binary) return refuse("type does not convert");
            std::vector<uint8_t> bytes(v.str().begin(), v.str().end());
            r.ok = true;
            r.value = v;
            if (c.type == kBinary) {
                if (bytes.size() > c.length) return refuse("value too long");
                r.stored = std::move(bytes);
            } else {
                r.needsLongValue = true;
                r.longData = std::move(bytes);
            }
            return r;
        }
        case kGuid: {
            uint8_t raw[16];
            if (v.type() == VarType::Guid) {
                std::memcpy(raw, v.str().data(), 16);
            } else if (v.type() != VarType::Text || !parseGuid(v.str(), raw)) {
                return refuse("type does not convert");
            }
            r.ok = true;
            r.value = Variant::guid(raw);
            r.stored.assign(raw, raw + 16);
            return r;
        }
        case kText: case kMemo: {
            std::string text;
            if (v.type() == VarType::Text) text = v.str();
            else if (number) text = numberText(v);
            else return refuse("type does not convert");
            std::vector<uint8_t> bytes;
            if (jet3) {
                if (codePage != 1252 && codePage != 0 && !text.empty()) return refuse("type does not convert");
                if (!encode1252(text, bytes)) return refuse("type does not convert");
            } else {
                const std::u16string units = utf8ToUtf16(text);
                bytes.resize(2 * units.size());
                for (size_t i = 0; i < units.size(); ++i) {
                    bytes[2 * i] = uint8_t(units[i]);
                    bytes[2 * i + 1] = uint8_t(units[i] >> 8);
                }
            }
            if (c.type == kText) {
                if (bytes.size() > c.length) return refuse("value too long");
                if (c.fixed()) {
                    // A fixed-length text is padded with blanks to the column's
                    // length, and reads back with them, as Access keeps it.
                    const size_t unit = jet3 ? 1 : 2;
                    text.append((c.length - bytes.size()) / unit, ' ');
                    while (bytes.size() + unit <= c.length) {
                        bytes.push_back(' ');
                        if (unit == 2) bytes.push_back(0);
                    }
                }
                r.value = Variant::text(std::move(text));
                r.stored = std::move(bytes);
            } else {
                r.value = Variant::text(std::move(text));
                if (bytes.size() > kMemoInlineLimit) {
                    r.needsLongValue = true;
                    r.longData = std::move(bytes);
                    r.ok = true;
                    return r;
                }
                // A short memo value is kept in the row itself.
                putLE(r.stored, kLvalInline | uint32_t(bytes.size()), 4);
                putLE(r.stored, 0, 8);
                r.stored.insert(r.stored.end(), bytes.begin(), bytes.end());
            }
            r.ok = true;
            return r;
        }
        default:
            return refuse("type does not convert");  // binary, OLE, GUID and kinds the engine does not know
    }
}

}  // namespace vantrel::jet
