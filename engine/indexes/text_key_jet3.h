// The sort form of text in Jet3 indexes (Access 97, "General" sort order,
// code page 1252): one or two case-blind codes a character, then a zero
// byte. Accented letters add a second part whose form is not known here,
// so text holding one is refused, as is any character whose code Access has
// not been seen to write.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace vantrel::jet {

// Appends the sort bytes of `text` (UTF-16) after the segment's start flag,
// up to and including the terminator (descending: every byte turned). False,
// with `out` unchanged, for text whose key is not known: an accented letter,
// a character without a known code, a tab or no-break space left at the end
// once trailing blanks are dropped, more than 255 characters.
bool encodeGeneral97Text(std::u16string_view text, bool ascending, std::vector<uint8_t>& out);

}  // namespace vantrel::jet
