// A value as DAO hands it out: Null, text, numbers, currency, Boolean (true
// is -1), date/time, decimal, GUID or bytes. Null is distinct from "".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "uint128.h"

namespace vantrel {

enum class VarType : uint8_t {
    Null, Boolean, Byte, Integer, Long, Currency, Single, Double, Date, Text, Binary, Decimal, Guid,
};

class Variant {
public:
    Variant() = default;  // Null
    static Variant null() { return {}; }
    static Variant boolean(bool b) { Variant v(VarType::Boolean); v.i_ = b ? -1 : 0; return v; }
    static Variant byte(uint8_t x) { Variant v(VarType::Byte); v.i_ = x; return v; }
    static Variant integer(int16_t x) { Variant v(VarType::Integer); v.i_ = x; return v; }
    static Variant longInt(int32_t x) { Variant v(VarType::Long); v.i_ = x; return v; }
    static Variant currency(int64_t scaled) { Variant v(VarType::Currency); v.i_ = scaled; return v; }  // units of 1/10000
    static Variant single(float f) { Variant v(VarType::Single); v.d_ = f; return v; }
    static Variant dbl(double d) { Variant v(VarType::Double); v.d_ = d; return v; }
    static Variant date(double oleDate) { Variant v(VarType::Date); v.d_ = oleDate; return v; }
    static Variant text(std::string utf8) { Variant v(VarType::Text); v.s_ = std::move(utf8); return v; }
    static Variant binary(std::vector<uint8_t> b) { Variant v(VarType::Binary); v.s_.assign(b.begin(), b.end()); return v; }
    static Variant guid(const uint8_t raw[16]) { Variant v(VarType::Guid); v.s_.assign(reinterpret_cast<const char*>(raw), 16); return v; }
    // Decimal: magnitude as a 128-bit integer, a sign and a scale.
    static Variant decimal(uint128 magnitude, bool negative, uint8_t scale);

    // Makes this a Text, Binary or Guid value with no bytes yet and returns
    // the bytes to fill. The string keeps its storage, so one Variant reused
    // for the values of many rows allocates only when a value outgrows it.
    std::string& bytesFor(VarType t) {
        set(t, 0, 0);
        return s_;
    }
    // The kinds without bytes, in place and keeping the string's storage
    // likewise: the same values as null(), boolean(), byte(), integer(),
    // longInt(), currency(), single(), dbl(), date() and decimal() make.
    void setNull() { set(VarType::Null, 0, 0); }
    void setInteger(VarType t, int64_t i) { set(t, i, 0); }  // Boolean (-1 or 0), Byte, Integer, Long, Currency
    void setReal(VarType t, double d) { set(t, 0, d); }      // Single, Double, Date
    void setDecimal(uint128 magnitude, bool negative, uint8_t scale) {
        set(VarType::Decimal, negative ? 1 : 0, 0);
        dec_ = magnitude;
        scale_ = scale;
    }

    VarType type() const { return t_; }
    bool isNull() const { return t_ == VarType::Null; }
    bool isNumeric() const;  // Boolean, integer, floating, currency, decimal or date

    int64_t asInt() const { return i_; }         // Boolean, Byte, Integer, Long, Currency (scaled)
    double asDouble() const;                      // any numeric kind
    const std::string& str() const { return s_; }  // Text (UTF-8), Binary and Guid bytes
    bool boolValue() const { return i_ != 0; }
    uint128 decimalMagnitude() const { return dec_; }
    bool decimalNegative() const { return i_ != 0; }
    uint8_t decimalScale() const { return scale_; }

    // Fixed, locale-free text forms.
    std::string currencyText(int decimals) const;  // "-12.3400" with decimals = 4
    std::string decimalText() const;               // "-1.50" with the value's scale
    std::string guidText() const;                  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
    std::string_view guidText(char* buf) const;    // the same in buf (38 bytes), without allocating

private:
    explicit Variant(VarType t) : t_(t) {}
    void set(VarType t, int64_t i, double d) {
        t_ = t;
        scale_ = 0;
        i_ = i;
        d_ = d;
        dec_ = 0;
        s_.clear();
    }
    VarType t_ = VarType::Null;
    uint8_t scale_ = 0;
    int64_t i_ = 0;
    double d_ = 0;
    uint128 dec_ = 0;
    std::string s_;
};

// The script writer's "=" between a value and a Boolean: numbers compare as numbers (True is
// -1); text must read as a number or as True/False, else error 13.
bool equalsBoolean(const Variant& v, bool b);

// Splits an OLE date (days since 1899-12-30; for negative values the fraction
// is still the time of day) into calendar parts, rounded to the second.
struct DateParts {
    int year, month, day, hour, minute, second;
};
DateParts oleDateParts(double ole);

// Whether an OLE date falls in the years 100-9999, the only dates there are:
// one outside (or not a number) has no calendar parts.
bool oleDateInRange(double ole);

// The reverse for a day: days since 1899-12-30 of a civil date.
double oleDay(int year, int month, int day);

}  // namespace vantrel
