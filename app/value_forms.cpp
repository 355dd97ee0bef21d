#include "value_forms.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "sha256.h"

namespace vantrel {

std::string_view numberText(double d, bool single, char* buf) {
    // Singles with 9 significant digits (enough to read back the same float),
    // doubles in their shortest exact form.
    auto r = single ? std::to_chars(buf, buf + 64, d, std::chars_format::general, 9) : std::to_chars(buf, buf + 64, d);
    return {buf, size_t(r.ptr - buf)};
}

std::string numberText(double d, bool single) {
    char buf[64];
    return std::string(numberText(d, single, buf));
}

std::string_view dateTimeText(const DateParts& p, char* buf) {
    if (p.year < 0 || p.year > 9999) {
        int n = std::snprintf(buf, 32, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute, p.second);
        return {buf, size_t(n)};
    }
    auto two = [](char* o, int v) {
        o[0] = char('0' + v / 10);
        o[1] = char('0' + v % 10);
    };
    two(buf, p.year / 100);
    two(buf + 2, p.year % 100);
    buf[4] = '-';
    two(buf + 5, p.month);
    buf[7] = '-';
    two(buf + 8, p.day);
    buf[10] = ' ';
    two(buf + 11, p.hour);
    buf[13] = ':';
    two(buf + 14, p.minute);
    buf[16] = ':';
    two(buf + 17, p.second);
    return {buf, 19};
}

std::string dateText(double oleDate, const std::string& format) {
    const DateParts p = oleDateParts(oleDate);
    char buf[256];
    if (format.empty()) return std::string(dateTimeText(p, buf));
    std::tm tm{};
    tm.tm_year = p.year - 1900;
    tm.tm_mon = p.month - 1;
    tm.tm_mday = p.day;
    tm.tm_hour = p.hour;
    tm.tm_min = p.minute;
    tm.tm_sec = p.second;
    tm.tm_isdst = -1;
    // Weekday and day of the year, for %a, %A, %j and the like.
    const double day = std::floor(oleDate);
    tm.tm_wday = int(std::fmod(std::fmod(day + 6, 7) + 7, 7));  // 1899-12-30 was a Saturday
    tm.tm_yday = int(day - oleDay(p.year, 1, 1));
    // strftime gives 0 both for text that does not fit and for empty text: a
    // mark after the format tells them apart, and the buffer grows until the
    // whole text fits (each conversion writes a bounded amount).
    const std::string marked = format + "|";
    std::string out(std::max<size_t>(256, marked.size() * 4), '\0');
    for (;;) {
        const size_t n = std::strftime(out.data(), out.size(), marked.c_str(), &tm);
        if (n > 0) {
            out.resize(n - 1);
            return out;
        }
        // No conversion writes more than a few dozen bytes: a format whose
        // text still does not fit is one this strftime cannot write.
        if (out.size() > marked.size() * 256) throw err::invalidCall("date format '" + format + "'");
        out.resize(out.size() * 2);
    }
}

std::string hexText(std::string_view bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out(bytes.size() * 2, '0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out[2 * i] = digits[b >> 4];
        out[2 * i + 1] = digits[b & 15];
    }
    return out;
}

namespace {
void writeNumber(JsonOut& out, double d, bool single) {
    if (!std::isfinite(d)) {
        out.string(std::isnan(d) ? "NaN" : d > 0 ? "Infinity" : "-Infinity");
        return;
    }
    char buf[64];
    out.raw(numberText(d, single, buf));
}
}  // namespace

void writeJsonValue(JsonOut& out, int16_t type, const Variant& v, BinaryForm binary) {
    if (v.isNull() || type == dbAttachment) {
        out.raw("null");
        return;
    }
    char buf[64];
    switch (v.type()) {
        case VarType::Boolean: out.raw(v.boolValue() ? "true" : "false"); break;
        case VarType::Byte: case VarType::Integer: case VarType::Long: {
            auto r = std::to_chars(buf, buf + sizeof buf, v.asInt());
            out.raw(std::string_view(buf, size_t(r.ptr - buf)));
            break;
        }
        case VarType::Currency: out.string(v.currencyText(4)); break;
        case VarType::Single: writeNumber(out, v.asDouble(), true); break;
        case VarType::Double: writeNumber(out, v.asDouble(), false); break;
        case VarType::Date: out.string(dateTimeText(oleDateParts(v.asDouble()), buf)); break;
        case VarType::Text: out.string(v.str()); break;
        case VarType::Binary: {
            if (binary == BinaryForm::Hex) {
                out.string(hexText(v.str()));
                break;
            }
            const auto* p = reinterpret_cast<const uint8_t*>(v.str().data());
            auto r = std::to_chars(buf, buf + sizeof buf, v.str().size());
            out.raw("{\"len\": ");
            out.raw(std::string_view(buf, size_t(r.ptr - buf)));
            out.raw(", \"sha256\": \"");
            char digest[64];
            out.raw(sha256Hex(p, v.str().size(), digest));
            out.raw("\"}");
            break;
        }
        case VarType::Guid: out.string(v.guidText(buf)); break;
        case VarType::Decimal: {
            // BigInt columns are integers while they fit a double exactly.
            if (type == dbBigInt && v.decimalMagnitude() <= (uint128)1 << 53) out.raw(v.decimalText());
            else out.string(v.decimalText());
            break;
        }
        default: out.raw("null");
    }
}

std::string typeName(int16_t type) {
    switch (type) {
        case dbBoolean: return "Yes/No";
        case dbByte: return "Byte";
        case dbInteger: return "Integer";
        case dbLong: return "Long";
        case dbCurrency: return "Currency";
        case dbSingle: return "Single";
        case dbDouble: return "Double";
        case dbDate: return "Date/Time";
        case dbBinary: return "Binary";
        case dbText: return "Text";
        case dbLongBinary: return "OLE Object";
        case dbMemo: return "Memo";
        case dbGUID: return "Replication ID";
        case dbBigInt: return "BigInt";
        case dbVarBinary: return "VarBinary";
        case dbNumeric: return "Numeric";
        case dbDecimal: return "Decimal";
        case dbFloat: return "Float";
        case dbAttachment: return "Attachment";
        default: return "unknown type";
    }
}

}  // namespace vantrel
