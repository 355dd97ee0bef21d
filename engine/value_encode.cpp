#include "value_encode.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

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
    for (size_t i = 0; i < n; ++i) out.push_back(uint8_t(v >> (8 * i)));
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
            double scaled = std::nearbyint(d * 10000.0);
            if (!(std::fabs(scaled) < 9.2233720368547e18)) return refuse("value out of range");
            int64_t units = v.type() == VarType::Currency ? v.asInt() : int64_t(scaled);
            r.ok = true;
            r.value = Variant::currency(units);
            putLE(r.stored, uint64_t(units), 8);
            return r;
        }
        case kFloat: case kDouble: {
            if (!numeric) return refuse("type does not convert");
            r.ok = true;
            if (c.type == kFloat) {
                if (std::isfinite(d) && std::fabs(d) > 3.402823466e38) return refuse("value out of range");
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
            double scaled = d * std::pow(10.0, c.scale);
            if (scaled != std::nearbyint(scaled) || std::fabs(scaled) >= 9.007199254740992e15) return refuse("value out of range");
            const bool neg = scaled < 0;
            uint64_t mag = uint64_t(std::fabs(scaled));
            r.ok = true;
            r.value = Variant::decimal(mag, neg, c.scale);
            r.stored.push_back(neg ? 0x80 : 0x00);
            // Four 32-bit words, most significant first, each little-endian.
            for (int w = 3; w >= 0; --w) putLE(r.stored, w < 2 ? uint32_t(mag >> (32 * w)) : 0, 4);
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
                for (char16_t u : utf8ToUtf16(text)) {
                    bytes.push_back(uint8_t(u));
                    bytes.push_back(uint8_t(u >> 8));
                }
            }
            r.value = Variant::text(text);
            if (c.type == kText) {
                if (bytes.size() > c.length) return refuse("value too long");
                r.stored = std::move(bytes);
            } else {
                // A memo value kept in the row itself.
                if (bytes.size() > 1024) return refuse("value too long");
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
