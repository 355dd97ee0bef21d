// The default text form of a value, written wherever a value becomes text in
// the script file. Decided once, here, and independent of the locale:
//   Boolean     "True" / "False"
//   Byte, Integer, Long   plain integers
//   Single      up to 7 significant digits, Double up to 15, as the script writes them
//               (exponent only for very large or small magnitudes: 1E+15, 1E-05)
//   Currency    no trailing zeros: 3.5, 12, -0.0001
//   Decimal     its exact digits
//   Date/Time   "YYYY-MM-DD HH:MM:SS"; "YYYY-MM-DD" when the time is midnight;
//               "HH:MM:SS" when the date part is zero (30 December 1899)
//   Text        itself; GUID as {XXXXXXXX-...}; Null as ""
// The decimal separator is always ".": with a decimal comma a value list
// "1,5, 2" would be ambiguous.
#pragma once

#include <string>

#include "variant.h"

namespace vantrel {

std::string DefaultText(const Variant& v);
// The same text appended to `out` (the statement writers build whole lines).
void AppendDefaultText(const Variant& v, std::string& out);

}  // namespace vantrel
