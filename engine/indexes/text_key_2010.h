// The sort form of text in indexes of columns with the "General" sort order
// of Access 2010 and later (sort order 1033, version 1; the older one is
// "General - Legacy"). The entry has the layout of the legacy form — case-blind
// first-pass codes, an end mark, the accents, then the marks the first pass
// passes over — but every first-pass code is two bytes (a script byte and a
// weight).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace vantrel::jet {

constexpr uint8_t kGeneral2010SortVersion = 1;

// Appends the sort bytes of `text` (UTF-16) after the segment's start flag,
// up to and including the terminator. False, with `out` unchanged, for a
// descending key and for text whose placement this engine does not know: a character outside
// U+0000..U+00FF, an accented letter, or a mark the first pass skips in text
// with a letter that sorts as two (ae, ss, th).
bool encodeGeneral2010Text(std::u16string_view text, bool ascending, std::vector<uint8_t>& out);
// The same for text of ASCII characters only, as its UTF-8 bytes.
bool encodeGeneral2010Text(std::string_view ascii, bool ascending, std::vector<uint8_t>& out);

}  // namespace vantrel::jet
