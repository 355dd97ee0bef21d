// How the command line writes one column value: in the JSON dump, in JSON
// Lines and in CSV. The forms are the dump's (../shared/corpus/README.md):
// dates "YYYY-MM-DD HH:MM:SS" from the stored OLE date with no time-zone
// shift, currency with four decimals, singles with 9 significant digits,
// doubles in their shortest exact form, GUIDs upper case in braces.
#pragma once

#include <string>
#include <string_view>

#include "dao.h"
#include "json_out.h"

namespace vantrel {

// How binary values are written: the dump's {"len", "sha256"} object, or
// their bytes as upper-case hex digits.
enum class BinaryForm { Digest, Hex };

// A number as the dump writes it (finite values only).
std::string numberText(double d, bool single);
// The same in buf (at least 64 bytes), without allocating.
std::string_view numberText(double d, bool single, char* buf);

// "YYYY-MM-DD HH:MM:SS" into buf (at least 32 bytes).
std::string_view dateTimeText(const DateParts& p, char* buf);

// A date through a strftime format ("%Y-%m-%d %H:%M:%S" gives dateTimeText).
std::string dateText(double oleDate, const std::string& format);

// Bytes as upper-case hex digits, two per byte.
std::string hexText(std::string_view bytes);

// One value as a JSON value; `type` is the column's DAO type code.
void writeJsonValue(JsonOut& out, int16_t type, const Variant& v, BinaryForm binary);

// A DAO type code's name as Access shows it: 20 is "Decimal".
std::string typeName(int16_t type);

}  // namespace vantrel
