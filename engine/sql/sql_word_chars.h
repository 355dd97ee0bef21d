// Which characters a plain (unbracketed) name of Jet SQL may hold: letters of
// any script, digits after the first character, and '_'. Symbols, punctuation,
// superscripts and fractions are no name characters: a name holding them must
// be written in brackets, and a statement that uses it bare fails.
#pragma once

#include <cstddef>
#include <string_view>

namespace vantrel::jet {

// The length in bytes of the name character that starts at s[i] (UTF-8), or 0
// when the character there cannot stand in a plain name (or at its start, when
// `first`).
size_t nameCharLength(std::string_view s, size_t i, bool first);

}  // namespace vantrel::jet
