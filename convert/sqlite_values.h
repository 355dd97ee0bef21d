// How a value of an Access column is stored in SQLite (the rule README.md
// states): Yes/No as INTEGER 0 or 1; Byte, Integer, Long, AutoNumber and
// BigInt as INTEGER; Single and Double as REAL (a Single widened exactly; a
// NaN, which SQLite would store as Null, as the TEXT 'NaN'); Currency as
// TEXT with four decimals ("-12.3400"); Decimal as TEXT with the column's
// scale ("0.50"); Date/Time as TEXT "YYYY-MM-DD HH:MM:SS", rounded to the
// second as Access shows it (a stored number outside the years 100-9999 as
// the TEXT of that number); Text and Memo as TEXT; GUID as TEXT upper case
// in braces; Binary and OLE Object as BLOB. Null is NULL, "" is ''.
// Attachment and other complex columns are not carried.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "dao.h"

namespace vantrel {

struct SqlValue {
    enum Kind : uint8_t { Null, Integer, Real, Text, Blob };
    Kind kind = Null;
    int64_t i = 0;
    double d = 0;
    std::string_view bytes;  // Text or Blob: into the Variant read, or into `own`
    std::string own;         // text made from the value (currency, decimal, date, GUID)
};

// Whether a column of this DAO type is carried (complex columns are not).
bool carriedType(int16_t daoType);

// The column's declared type in SQLite: INTEGER, REAL, TEXT or BLOB.
const char* sqliteColumnType(int16_t daoType);

// `v`, read from a column of `daoType`, as stored in SQLite; out.bytes may
// point into v, which must outlive it.
void toSqlValue(int16_t daoType, const Variant& v, SqlValue& out);

}  // namespace vantrel
