#include "text_key_2010.h"

#include <type_traits>

namespace vantrel::jet {

namespace {

enum Kind : uint8_t {
    Sort,     // first-pass codes (two bytes; four for a letter that sorts as two)
    Accent,   // the base letter's codes in the first pass, an accent code (not placed here)
    Hidden,   // no code in the first pass; its place and code come last
    Ignored,  // leaves no trace
};

struct CharCode {
    Kind kind;
    const char* codes;
    const char* accent;
};

// U+0000..U+00FF. Upper and lower case share their codes.
constexpr CharCode kCodes[256] = {
    {Ignored, "", ""}, {Hidden, "\x03", ""}, {Hidden, "\x04", ""}, {Hidden, "\x05", ""},  // 00
    {Hidden, "\x06", ""}, {Hidden, "\x07", ""}, {Hidden, "\x08", ""}, {Hidden, "\x09", ""},  // 04
    {Hidden, "\x0A", ""}, {Sort, "\x07\x05", ""}, {Sort, "\x07\x06", ""}, {Sort, "\x07\x07", ""},  // 08
    {Sort, "\x07\x08", ""}, {Sort, "\x07\x09", ""}, {Hidden, "\x0B", ""}, {Hidden, "\x0C", ""},  // 0C
    {Hidden, "\x0D", ""}, {Hidden, "\x0E", ""}, {Hidden, "\x0F", ""}, {Hidden, "\x10", ""},  // 10
    {Hidden, "\x11", ""}, {Hidden, "\x12", ""}, {Hidden, "\x13", ""}, {Hidden, "\x14", ""},  // 14
    {Hidden, "\x15", ""}, {Hidden, "\x16", ""}, {Hidden, "\x17", ""}, {Hidden, "\x18", ""},  // 18
    {Hidden, "\x19", ""}, {Hidden, "\x1A", ""}, {Hidden, "\x1B", ""}, {Hidden, "\x1C", ""},  // 1C
    {Sort, "\x07\x02", ""}, {Sort, "\x07\x1C", ""}, {Sort, "\x07\x1D", ""}, {Sort, "\x07\x1F", ""},  // 20
    {Sort, "\x07\x21", ""}, {Sort, "\x07\x23", ""}, {Sort, "\x07\x25", ""}, {Hidden, "\x80", ""},  // 24
    {Sort, "\x07\x27", ""}, {Sort, "\x07\x2A", ""}, {Sort, "\x07\x2D", ""}, {Sort, "\x08\x03", ""},  // 28
    {Sort, "\x07\x2F", ""}, {Hidden, "\x82", ""}, {Sort, "\x07\x33", ""}, {Sort, "\x07\x35", ""},  // 2C
    {Sort, "\x0D\x17", ""}, {Sort, "\x0D\x19", ""}, {Sort, "\x0D\x1A", ""}, {Sort, "\x0D\x1B", ""},  // 30
    {Sort, "\x0D\x1C", ""}, {Sort, "\x0D\x1D", ""}, {Sort, "\x0D\x1E", ""}, {Sort, "\x0D\x1F", ""},  // 34
    {Sort, "\x0D\x20", ""}, {Sort, "\x0D\x21", ""}, {Sort, "\x07\x37", ""}, {Sort, "\x07\x3A", ""},  // 38
    {Sort, "\x08\x0E", ""}, {Sort, "\x08\x12", ""}, {Sort, "\x08\x14", ""}, {Sort, "\x07\x3C", ""},  // 3C
    {Sort, "\x07\x3E", ""}, {Sort, "\x0E\x02", ""}, {Sort, "\x0E\x09", ""}, {Sort, "\x0E\x0A", ""},  // 40
    {Sort, "\x0E\x1A", ""}, {Sort, "\x0E\x21", ""}, {Sort, "\x0E\x23", ""}, {Sort, "\x0E\x25", ""},  // 44
    {Sort, "\x0E\x2C", ""}, {Sort, "\x0E\x32", ""}, {Sort, "\x0E\x35", ""}, {Sort, "\x0E\x36", ""},  // 48
    {Sort, "\x0E\x48", ""}, {Sort, "\x0E\x51", ""}, {Sort, "\x0E\x70", ""}, {Sort, "\x0E\x7C", ""},  // 4C
    {Sort, "\x0E\x7E", ""}, {Sort, "\x0E\x89", ""}, {Sort, "\x0E\x8A", ""}, {Sort, "\x0E\x91", ""},  // 50
    {Sort, "\x0E\x99", ""}, {Sort, "\x0E\x9F", ""}, {Sort, "\x0E\xA2", ""}, {Sort, "\x0E\xA4", ""},  // 54
    {Sort, "\x0E\xA6", ""}, {Sort, "\x0E\xA7", ""}, {Sort, "\x0E\xA9", ""}, {Sort, "\x07\x3F", ""},  // 58
    {Sort, "\x07\x41", ""}, {Sort, "\x07\x42", ""}, {Sort, "\x07\x43", ""}, {Sort, "\x07\x44", ""},  // 5C
    {Sort, "\x07\x48", ""}, {Sort, "\x0E\x02", ""}, {Sort, "\x0E\x09", ""}, {Sort, "\x0E\x0A", ""},  // 60
    {Sort, "\x0E\x1A", ""}, {Sort, "\x0E\x21", ""}, {Sort, "\x0E\x23", ""}, {Sort, "\x0E\x25", ""},  // 64
    {Sort, "\x0E\x2C", ""}, {Sort, "\x0E\x32", ""}, {Sort, "\x0E\x35", ""}, {Sort, "\x0E\x36", ""},  // 68
    {Sort, "\x0E\x48", ""}, {Sort, "\x0E\x51", ""}, {Sort, "\x0E\x70", ""}, {Sort, "\x0E\x7C", ""},  // 6C
    {Sort, "\x0E\x7E", ""}, {Sort, "\x0E\x89", ""}, {Sort, "\x0E\x8A", ""}, {Sort, "\x0E\x91", ""},  // 70
    {Sort, "\x0E\x99", ""}, {Sort, "\x0E\x9F", ""}, {Sort, "\x0E\xA2", ""}, {Sort, "\x0E\xA4", ""},  // 74
    {Sort, "\x0E\xA6", ""}, {Sort, "\x0E\xA7", ""}, {Sort, "\x0E\xA9", ""}, {Sort, "\x07\x4A", ""},  // 78
    {Sort, "\x07\x4C", ""}, {Sort, "\x07\x4E", ""}, {Sort, "\x07\x50", ""}, {Hidden, "\x1D", ""},  // 7C
    {Accent, "\x0C\xFA", "\x1D"}, {Accent, "\x0C\xFA", "\x1E"}, {Accent, "\x0C\xFA", "\x1F"}, {Accent, "\x0C\xFA", "\x20"},  // 80
    {Accent, "\x0C\xFA", "\x21"}, {Accent, "\x0C\xFA", "\x22"}, {Accent, "\x0C\xFA", "\x23"}, {Accent, "\x0C\xFA", "\x24"},  // 84
    {Accent, "\x0C\xFA", "\x25"}, {Accent, "\x0C\xFA", "\x26"}, {Accent, "\x0C\xFA", "\x27"}, {Accent, "\x0C\xFA", "\x28"},  // 88
    {Accent, "\x0C\xFA", "\x29"}, {Accent, "\x0C\xFA", "\x2A"}, {Accent, "\x0C\xFA", "\x2B"}, {Accent, "\x0C\xFA", "\x2C"},  // 8C
    {Accent, "\x0C\xFA", "\x2D"}, {Accent, "\x0C\xFA", "\x2E"}, {Accent, "\x0C\xFA", "\x2F"}, {Accent, "\x0C\xFA", "\x30"},  // 90
    {Accent, "\x0C\xFA", "\x31"}, {Accent, "\x0C\xFA", "\x32"}, {Accent, "\x0C\xFA", "\x33"}, {Accent, "\x0C\xFA", "\x34"},  // 94
    {Accent, "\x0C\xFA", "\x35"}, {Accent, "\x0C\xFA", "\x36"}, {Accent, "\x0C\xFA", "\x37"}, {Accent, "\x0C\xFA", "\x38"},  // 98
    {Accent, "\x0C\xFA", "\x39"}, {Accent, "\x0C\xFA", "\x3A"}, {Accent, "\x0C\xFA", "\x3B"}, {Accent, "\x0C\xFA", "\x3C"},  // 9C
    {Sort, "\x07\x04", ""}, {Sort, "\x07\x51", ""}, {Sort, "\x07\x97", ""}, {Sort, "\x07\x98", ""},  // A0
    {Sort, "\x07\x99", ""}, {Sort, "\x07\x9A", ""}, {Sort, "\x07\x52", ""}, {Sort, "\x0A\x06", ""},  // A4
    {Sort, "\x07\x53", ""}, {Sort, "\x0A\x07", ""}, {Accent, "\x0E\x02", "\x03"}, {Sort, "\x08\x18", ""},  // A8
    {Sort, "\x0A\x08", ""}, {Ignored, "", ""}, {Sort, "\x0A\x09", ""}, {Sort, "\x07\x54", ""},  // AC
    {Sort, "\x0A\x0A", ""}, {Sort, "\x08\x17", ""}, {Sort, "\x0D\x1A", ""}, {Sort, "\x0D\x1B", ""},  // B0
    {Sort, "\x07\x55", ""}, {Sort, "\x0A\x0B", ""}, {Sort, "\x0A\x0C", ""}, {Sort, "\x0A\x0D", ""},  // B4
    {Sort, "\x07\x56", ""}, {Sort, "\x0D\x19", ""}, {Accent, "\x0E\x7C", "\x03"}, {Sort, "\x08\x1A", ""},  // B8
    {Accent, "\x0D\x18", "\xCE"}, {Accent, "\x0D\x18", "\xD6"}, {Accent, "\x0D\x1B", "\xDE"}, {Sort, "\x07\x57", ""},  // BC
    {Accent, "\x0E\x02", "\x0F"}, {Accent, "\x0E\x02", "\x0E"}, {Accent, "\x0E\x02", "\x12"}, {Accent, "\x0E\x02", "\x19"},  // C0
    {Accent, "\x0E\x02", "\x13"}, {Accent, "\x0E\x02", "\x1A"}, {Sort, "\x0E\x02\x0E\x21", ""}, {Accent, "\x0E\x0A", "\x1C"},  // C4
    {Accent, "\x0E\x21", "\x0F"}, {Accent, "\x0E\x21", "\x0E"}, {Accent, "\x0E\x21", "\x12"}, {Accent, "\x0E\x21", "\x13"},  // C8
    {Accent, "\x0E\x32", "\x0F"}, {Accent, "\x0E\x32", "\x0E"}, {Accent, "\x0E\x32", "\x12"}, {Accent, "\x0E\x32", "\x13"},  // CC
    {Accent, "\x0E\x1A", "\x68"}, {Accent, "\x0E\x70", "\x19"}, {Accent, "\x0E\x7C", "\x0F"}, {Accent, "\x0E\x7C", "\x0E"},  // D0
    {Accent, "\x0E\x7C", "\x12"}, {Accent, "\x0E\x7C", "\x19"}, {Accent, "\x0E\x7C", "\x13"}, {Sort, "\x08\x1C", ""},  // D4
    {Accent, "\x0E\x7C", "\x21"}, {Accent, "\x0E\x9F", "\x0F"}, {Accent, "\x0E\x9F", "\x0E"}, {Accent, "\x0E\x9F", "\x12"},  // D8
    {Sort, "\x0E\x9F\x0E\x21", ""}, {Accent, "\x0E\xA7", "\x0E"}, {Sort, "\x0E\x99\x0E\x2C", ""}, {Sort, "\x0E\x91\x0E\x91", ""},  // DC
    {Accent, "\x0E\x02", "\x0F"}, {Accent, "\x0E\x02", "\x0E"}, {Accent, "\x0E\x02", "\x12"}, {Accent, "\x0E\x02", "\x19"},  // E0
    {Accent, "\x0E\x02", "\x13"}, {Accent, "\x0E\x02", "\x1A"}, {Sort, "\x0E\x02\x0E\x21", ""}, {Accent, "\x0E\x0A", "\x1C"},  // E4
    {Accent, "\x0E\x21", "\x0F"}, {Accent, "\x0E\x21", "\x0E"}, {Accent, "\x0E\x21", "\x12"}, {Accent, "\x0E\x21", "\x13"},  // E8
    {Accent, "\x0E\x32", "\x0F"}, {Accent, "\x0E\x32", "\x0E"}, {Accent, "\x0E\x32", "\x12"}, {Accent, "\x0E\x32", "\x13"},  // EC
    {Accent, "\x0E\x1A", "\x68"}, {Accent, "\x0E\x70", "\x19"}, {Accent, "\x0E\x7C", "\x0F"}, {Accent, "\x0E\x7C", "\x0E"},  // F0
    {Accent, "\x0E\x7C", "\x12"}, {Accent, "\x0E\x7C", "\x19"}, {Accent, "\x0E\x7C", "\x13"}, {Sort, "\x08\x1D", ""},  // F4
    {Accent, "\x0E\x7C", "\x21"}, {Accent, "\x0E\x9F", "\x0F"}, {Accent, "\x0E\x9F", "\x0E"}, {Accent, "\x0E\x9F", "\x12"},  // F8
    {Sort, "\x0E\x9F\x0E\x21", ""}, {Accent, "\x0E\xA7", "\x0E"}, {Sort, "\x0E\x99\x0E\x2C", ""}, {Accent, "\x0E\xA7", "\x13"},  // FC
};

constexpr uint8_t kEndText = 0x01;
constexpr size_t kMaxChars = 255;  // longer text is indexed by its first 255 characters

void appendCodes(std::vector<uint8_t>& out, const char* s) {
    for (; *s; ++s) out.push_back(uint8_t(*s));
}

}  // namespace

namespace {

template <class Text>
bool encodeText(Text text, bool ascending, std::vector<uint8_t>& out) {
    // Descending keys of this sort order have not been seen in files Access wrote.
    if (!ascending) return false;
    if (text.size() > kMaxChars) text = text.substr(0, kMaxChars);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);  // trailing blanks do not count
    bool twoLetters = false, hidden = false;
    for (const auto unit : text) {
        const char16_t c = char16_t(std::make_unsigned_t<decltype(unit)>(unit));
        // Accented letters: where their accent codes go has not been seen in
        // keys Access wrote with this sort order, so such text is not placed.
        if (c > 0xFF || kCodes[c].kind == Accent) return false;
        twoLetters |= kCodes[c].kind == Sort && kCodes[c].codes[2] != 0;
        hidden |= kCodes[c].kind == Hidden;
    }
    // Nor is the place of a skipped mark after a letter that sorts as two.
    if (twoLetters && hidden) return false;

    std::vector<uint8_t> hiddenBytes;
    size_t position = 0;  // characters with first-pass codes so far
    for (const auto unit : text) {
        const char16_t c = char16_t(std::make_unsigned_t<decltype(unit)>(unit));
        const CharCode& cc = kCodes[c];
        if (cc.kind == Sort) {
            appendCodes(out, cc.codes);
            ++position;
        } else if (cc.kind == Hidden) {
            const unsigned mark = unsigned(7 + 4 * position) | 0x8000u;
            hiddenBytes.push_back(uint8_t(mark >> 8));
            hiddenBytes.push_back(uint8_t(mark));
            hiddenBytes.push_back(0x06);
            appendCodes(hiddenBytes, cc.codes);
        }
    }
    out.push_back(kEndText);
    if (!hiddenBytes.empty()) {
        out.insert(out.end(), {kEndText, kEndText, kEndText});
        out.insert(out.end(), hiddenBytes.begin(), hiddenBytes.end());
    }
    out.push_back(0x00);
    return true;
}

}  // namespace

bool encodeGeneral2010Text(std::u16string_view text, bool ascending, std::vector<uint8_t>& out) {
    return encodeText(text, ascending, out);
}

bool encodeGeneral2010Text(std::string_view ascii, bool ascending, std::vector<uint8_t>& out) {
    return encodeText(ascii, ascending, out);
}

}  // namespace vantrel::jet
