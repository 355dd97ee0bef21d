#include "sql_word_chars.h"

#include <cstdint>

namespace vantrel::jet {

namespace {

// Decodes one UTF-8 sequence; 0 bytes when it is malformed.
size_t decode(std::string_view s, size_t i, char32_t& cp) {
    auto b = [&](size_t k) { return static_cast<unsigned char>(s[i + k]); };
    unsigned char c = b(0);
    size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return 0;
    cp = n == 1 ? c : n == 2 ? (c & 0x1F) : n == 3 ? (c & 0x0F) : (c & 0x07);
    for (size_t k = 1; k < n; ++k) {
        if ((b(k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b(k) & 0x3F);
    }
    return n;
}

// Letters beyond ASCII. Latin-1 is decided character by character; above it
// the blocks of punctuation, symbols and number forms are refused and
// everything else (the letters and ideographs of every script) is taken.
bool isLetterBeyondAscii(char32_t cp) {
    if (cp < 0x100) return cp == 0xAA || cp == 0xB5 || cp == 0xBA || (cp >= 0xC0 && cp != 0xD7 && cp != 0xF7);
    if (cp >= 0x2000 && cp <= 0x2BFF) return false;   // punctuation, super/subscripts, currency, arrows, maths
    if (cp >= 0x3000 && cp <= 0x303F) return false;   // CJK symbols and punctuation
    if (cp >= 0xFE30 && cp <= 0xFE6F) return false;   // CJK compatibility forms, small forms
    if (cp >= 0xFF00 && cp <= 0xFF0F) return false;   // fullwidth punctuation
    if (cp >= 0xFF1A && cp <= 0xFF20) return false;
    if (cp >= 0xFF3B && cp <= 0xFF40) return false;
    if (cp >= 0xFF5B && cp <= 0xFF65) return false;
    if (cp >= 0xD800 && cp <= 0xDFFF) return false;
    if (cp >= 0xE000 && cp <= 0xF8FF) return false;   // private use
    return true;
}

}  // namespace

size_t nameCharLength(std::string_view s, size_t i, bool first) {
    if (i >= s.size()) return 0;
    char32_t cp = 0;
    size_t n = decode(s, i, cp);
    if (n == 0) return 0;
    if (cp < 0x80) {
        bool letter = (cp >= 'A' && cp <= 'Z') || (cp >= 'a' && cp <= 'z') || cp == '_';
        bool digit = cp >= '0' && cp <= '9';
        return letter || (digit && !first) ? 1 : 0;
    }
    return isLetterBeyondAscii(cp) ? n : 0;
}

}  // namespace vantrel::jet
