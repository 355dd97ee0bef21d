// The two classifiers over field type codes: whether values are written
// quoted, and the SQL column type name of a code.
#pragma once

#include <cstdint>

#include "variant.h"

namespace vantrel {

// False (bare values), True (quoted: date/time, text, memo) or the text
// "UN-SUPPORTED-TYPE - <code>". Comparing that text with True is error 13.
Variant QuoteStr(const Variant& fldType);

// "BIT", "SMALLINT", "INT", "FLOAT", "DATETIME", "VARBINARY", "TEXT" or the
// unsupported text.
Variant GetType(int16_t fldType);

}  // namespace vantrel
