// The sort form of text in Jet4 indexes ("General" sort order of Access
// 2000-2003): case-blind letter codes, then the accents, then the marks
// (apostrophe, hyphen, control characters) the first pass passes over.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace vantrel::jet {

// Jet4 keeps the sort order in the column definition; only this one is known here.
constexpr uint16_t kGeneralSortOrder = 1033;

// Appends the sort bytes of `text` (UTF-16) after the segment's start flag,
// up to and including the terminator. False, with `out` unchanged, when the
// text holds a character outside U+0000..U+00FF, whose codes this engine
// does not have.
bool encodeGeneralText(std::u16string_view text, bool ascending, std::vector<uint8_t>& out);
// The same for text of ASCII characters only, as its UTF-8 bytes.
bool encodeGeneralText(std::string_view ascii, bool ascending, std::vector<uint8_t>& out);

}  // namespace vantrel::jet
