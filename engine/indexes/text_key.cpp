#include "text_key.h"

#include <type_traits>

namespace vantrel::jet {

namespace {

enum Kind : uint8_t {
    Sort,     // one or two codes in the first pass
    Accent,   // the base letter's code in the first pass, an accent code after
    Hidden,   // no code in the first pass; its place and code come last
    Ignored,  // leaves no trace
};

struct CharCode {
    Kind kind;
    const char* codes;   // first-pass codes (Hidden: its own code)
    const char* accent;  // Accent: the accent code
};

// U+0000..U+00FF. Upper and lower case share their codes.
constexpr CharCode kCodes[256] = {
    {Ignored, "", ""}, {Hidden, "\x03", ""}, {Hidden, "\x04", ""}, {Hidden, "\x05", ""},  // 00
    {Hidden, "\x06", ""}, {Hidden, "\x07", ""}, {Hidden, "\x08", ""}, {Hidden, "\x09", ""},  // 04
    {Hidden, "\x0A", ""}, {Sort, "\x08\x03", ""}, {Sort, "\x08\x04", ""}, {Sort, "\x08\x05", ""},  // 08
    {Sort, "\x08\x06", ""}, {Sort, "\x08\x07", ""}, {Hidden, "\x0B", ""}, {Hidden, "\x0C", ""},  // 0C
    {Hidden, "\x0D", ""}, {Hidden, "\x0E", ""}, {Hidden, "\x0F", ""}, {Hidden, "\x10", ""},  // 10
    {Hidden, "\x11", ""}, {Hidden, "\x12", ""}, {Hidden, "\x13", ""}, {Hidden, "\x14", ""},  // 14
    {Hidden, "\x15", ""}, {Hidden, "\x16", ""}, {Hidden, "\x17", ""}, {Hidden, "\x18", ""},  // 18
    {Hidden, "\x19", ""}, {Hidden, "\x1A", ""}, {Hidden, "\x1B", ""}, {Hidden, "\x1C", ""},  // 1C
    {Sort, "\x07", ""}, {Sort, "\x09", ""}, {Sort, "\x0A", ""}, {Sort, "\x0C", ""},  // 20
    {Sort, "\x0E", ""}, {Sort, "\x10", ""}, {Sort, "\x12", ""}, {Hidden, "\x80", ""},  // 24
    {Sort, "\x14", ""}, {Sort, "\x16", ""}, {Sort, "\x18", ""}, {Sort, "\x2C", ""},  // 28
    {Sort, "\x1A", ""}, {Hidden, "\x82", ""}, {Sort, "\x1C", ""}, {Sort, "\x1E", ""},  // 2C
    {Sort, "\x36", ""}, {Sort, "\x38", ""}, {Sort, "\x3A", ""}, {Sort, "\x3C", ""},  // 30
    {Sort, "\x3E", ""}, {Sort, "\x40", ""}, {Sort, "\x42", ""}, {Sort, "\x44", ""},  // 34
    {Sort, "\x46", ""}, {Sort, "\x48", ""}, {Sort, "\x20", ""}, {Sort, "\x22", ""},  // 38
    {Sort, "\x2E", ""}, {Sort, "\x30", ""}, {Sort, "\x32", ""}, {Sort, "\x24", ""},  // 3C
    {Sort, "\x26", ""}, {Sort, "\x4A", ""}, {Sort, "\x4C", ""}, {Sort, "\x4D", ""},  // 40
    {Sort, "\x4F", ""}, {Sort, "\x51", ""}, {Sort, "\x53", ""}, {Sort, "\x55", ""},  // 44
    {Sort, "\x57", ""}, {Sort, "\x59", ""}, {Sort, "\x5B", ""}, {Sort, "\x5C", ""},  // 48
    {Sort, "\x5E", ""}, {Sort, "\x60", ""}, {Sort, "\x62", ""}, {Sort, "\x64", ""},  // 4C
    {Sort, "\x66", ""}, {Sort, "\x68", ""}, {Sort, "\x69", ""}, {Sort, "\x6B", ""},  // 50
    {Sort, "\x6D", ""}, {Sort, "\x6F", ""}, {Sort, "\x71", ""}, {Sort, "\x73", ""},  // 54
    {Sort, "\x75", ""}, {Sort, "\x76", ""}, {Sort, "\x78", ""}, {Sort, "\x27", ""},  // 58
    {Sort, "\x29", ""}, {Sort, "\x2A", ""}, {Sort, "\x2B\x02", ""}, {Sort, "\x2B\x03", ""},  // 5C
    {Sort, "\x2B\x07", ""}, {Sort, "\x4A", ""}, {Sort, "\x4C", ""}, {Sort, "\x4D", ""},  // 60
    {Sort, "\x4F", ""}, {Sort, "\x51", ""}, {Sort, "\x53", ""}, {Sort, "\x55", ""},  // 64
    {Sort, "\x57", ""}, {Sort, "\x59", ""}, {Sort, "\x5B", ""}, {Sort, "\x5C", ""},  // 68
    {Sort, "\x5E", ""}, {Sort, "\x60", ""}, {Sort, "\x62", ""}, {Sort, "\x64", ""},  // 6C
    {Sort, "\x66", ""}, {Sort, "\x68", ""}, {Sort, "\x69", ""}, {Sort, "\x6B", ""},  // 70
    {Sort, "\x6D", ""}, {Sort, "\x6F", ""}, {Sort, "\x71", ""}, {Sort, "\x73", ""},  // 74
    {Sort, "\x75", ""}, {Sort, "\x76", ""}, {Sort, "\x78", ""}, {Sort, "\x2B\x09", ""},  // 78
    {Sort, "\x2B\x0B", ""}, {Sort, "\x2B\x0D", ""}, {Sort, "\x2B\x0F", ""}, {Hidden, "\x1D", ""},  // 7C
    {Hidden, "\x1E", ""}, {Hidden, "\x1F", ""}, {Hidden, "\x20", ""}, {Hidden, "\x21", ""},  // 80
    {Hidden, "\x22", ""}, {Hidden, "\x23", ""}, {Hidden, "\x24", ""}, {Hidden, "\x25", ""},  // 84
    {Hidden, "\x26", ""}, {Hidden, "\x27", ""}, {Hidden, "\x28", ""}, {Hidden, "\x29", ""},  // 88
    {Hidden, "\x2A", ""}, {Hidden, "\x2B", ""}, {Hidden, "\x2C", ""}, {Hidden, "\x2D", ""},  // 8C
    {Hidden, "\x2E", ""}, {Hidden, "\x2F", ""}, {Hidden, "\x30", ""}, {Hidden, "\x31", ""},  // 90
    {Hidden, "\x32", ""}, {Hidden, "\x33", ""}, {Hidden, "\x34", ""}, {Hidden, "\x35", ""},  // 94
    {Hidden, "\x36", ""}, {Hidden, "\x37", ""}, {Hidden, "\x38", ""}, {Hidden, "\x39", ""},  // 98
    {Hidden, "\x3A", ""}, {Hidden, "\x3B", ""}, {Hidden, "\x3C", ""}, {Hidden, "\x3D", ""},  // 9C
    {Sort, "\x08\x02", ""}, {Sort, "\x2B\x10", ""}, {Sort, "\x34\xA6", ""}, {Sort, "\x34\xA7", ""},  // A0
    {Sort, "\x34\xA8", ""}, {Sort, "\x34\xA9", ""}, {Sort, "\x2B\x11", ""}, {Sort, "\x34\xAA", ""},  // A4
    {Sort, "\x2B\x12", ""}, {Sort, "\x34\xAB", ""}, {Accent, "\x4A", "\x03"}, {Sort, "\x33\x05", ""},  // A8
    {Sort, "\x34\xAC", ""}, {Hidden, "\x83", ""}, {Sort, "\x34\xAD", ""}, {Sort, "\x2B\x13", ""},  // AC
    {Sort, "\x34\xAE", ""}, {Sort, "\x33\x04", ""}, {Sort, "\x3A", ""}, {Sort, "\x3C", ""},  // B0
    {Sort, "\x2B\x14", ""}, {Sort, "\x34\xAF", ""}, {Sort, "\x34\xB0", ""}, {Sort, "\x34\xB1", ""},  // B4
    {Sort, "\x2B\x15", ""}, {Sort, "\x38", ""}, {Accent, "\x64", "\x03"}, {Sort, "\x33\x07", ""},  // B8
    {Sort, "\x37\x12", ""}, {Sort, "\x37\x16", ""}, {Sort, "\x37\x1A", ""}, {Sort, "\x2B\x16", ""},  // BC
    {Accent, "\x4A", "\x0F"}, {Accent, "\x4A", "\x0E"}, {Accent, "\x4A", "\x12"}, {Accent, "\x4A", "\x19"},  // C0
    {Accent, "\x4A", "\x13"}, {Accent, "\x4A", "\x1A"}, {Sort, "\x4A\x51", ""}, {Accent, "\x4D", "\x1C"},  // C4
    {Accent, "\x51", "\x0F"}, {Accent, "\x51", "\x0E"}, {Accent, "\x51", "\x12"}, {Accent, "\x51", "\x13"},  // C8
    {Accent, "\x59", "\x0F"}, {Accent, "\x59", "\x0E"}, {Accent, "\x59", "\x12"}, {Accent, "\x59", "\x13"},  // CC
    {Accent, "\x4F", "\x68"}, {Accent, "\x62", "\x19"}, {Accent, "\x64", "\x0F"}, {Accent, "\x64", "\x0E"},  // D0
    {Accent, "\x64", "\x12"}, {Accent, "\x64", "\x19"}, {Accent, "\x64", "\x13"}, {Sort, "\x33\x09", ""},  // D4
    {Accent, "\x64", "\x21"}, {Accent, "\x6F", "\x0F"}, {Accent, "\x6F", "\x0E"}, {Accent, "\x6F", "\x12"},  // D8
    {Accent, "\x6F", "\x13"}, {Accent, "\x76", "\x0E"}, {Sort, "\x6D\x57", ""}, {Sort, "\x6B\x6B", ""},  // DC
    {Accent, "\x4A", "\x0F"}, {Accent, "\x4A", "\x0E"}, {Accent, "\x4A", "\x12"}, {Accent, "\x4A", "\x19"},  // E0
    {Accent, "\x4A", "\x13"}, {Accent, "\x4A", "\x1A"}, {Sort, "\x4A\x51", ""}, {Accent, "\x4D", "\x1C"},  // E4
    {Accent, "\x51", "\x0F"}, {Accent, "\x51", "\x0E"}, {Accent, "\x51", "\x12"}, {Accent, "\x51", "\x13"},  // E8
    {Accent, "\x59", "\x0F"}, {Accent, "\x59", "\x0E"}, {Accent, "\x59", "\x12"}, {Accent, "\x59", "\x13"},  // EC
    {Accent, "\x4F", "\x68"}, {Accent, "\x62", "\x19"}, {Accent, "\x64", "\x0F"}, {Accent, "\x64", "\x0E"},  // F0
    {Accent, "\x64", "\x12"}, {Accent, "\x64", "\x19"}, {Accent, "\x64", "\x13"}, {Sort, "\x33\x0A", ""},  // F4
    {Accent, "\x64", "\x21"}, {Accent, "\x6F", "\x0F"}, {Accent, "\x6F", "\x0E"}, {Accent, "\x6F", "\x12"},  // F8
    {Accent, "\x6F", "\x13"}, {Accent, "\x76", "\x0E"}, {Sort, "\x6D\x57", ""}, {Accent, "\x76", "\x13"},  // FC
};

constexpr uint8_t kEndText = 0x01;
constexpr uint8_t kNoAccent = 0x02;
constexpr size_t kMaxChars = 255;  // longer text is indexed by its first 255 characters

// The places a character with first-pass codes takes in the accent list.
// One each, two-code symbols (~, _, ^, the no-break space) and the letters
// that sort as two (Æ, æ, Þ, þ) included. The one exception is ß, the letter
// the sort expands into two letters: its second "s" takes a place of its
// own, unless the next character carries an accent, whose code then takes
// that place (Access's keys: "großmärkte" has 26 places before the ä, the
// run "ÝÞßà" two between the Ý and the à).
size_t placesOf(char16_t c, char16_t next) { return c == 0xDF && kCodes[next].kind != Accent ? 2 : 1; }

void appendCodes(std::vector<uint8_t>& out, const char* s) {
    for (; *s; ++s) out.push_back(uint8_t(*s));
}

}  // namespace

namespace {

template <class Text>
bool encodeText(Text text, bool ascending, std::vector<uint8_t>& out) {
    if (text.size() > kMaxChars) text = text.substr(0, kMaxChars);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);  // trailing blanks do not count
    for (const auto unit : text)
        if (char16_t(std::make_unsigned_t<decltype(unit)>(unit)) > 0xFF) return false;

    const size_t begin = out.size();
    std::vector<uint8_t> accents, hidden;
    size_t accentChars = 0;  // characters the accent list speaks for
    size_t position = 0;     // places taken by characters with first-pass codes so far
    using Unit = std::make_unsigned_t<typename Text::value_type>;
    const auto charAt = [&](size_t i) { return i < text.size() ? char16_t(Unit(text[i])) : u'\0'; };
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = charAt(i);
        const CharCode& cc = kCodes[c];
        const size_t here = position;
        switch (cc.kind) {
            case Sort:
                appendCodes(out, cc.codes);
                position += placesOf(c, charAt(i + 1));
                break;
            case Accent:
                appendCodes(out, cc.codes);
                ++position;
                accents.insert(accents.end(), here - accentChars, kNoAccent);
                accentChars = here;
                appendCodes(accents, cc.accent);
                ++accentChars;
                break;
            case Hidden: {
                // Its place counts the accent bytes already due before it.
                const size_t place = accents.empty() && accentChars == 0 ? here : accents.size() + (here - accentChars);
                const unsigned mark = unsigned(7 + 4 * place) | 0x8000u;
                hidden.push_back(uint8_t(mark >> 8));
                hidden.push_back(uint8_t(mark));
                hidden.push_back(0x06);
                appendCodes(hidden, cc.codes);
                break;
            }
            case Ignored: break;
        }
    }
    out.push_back(kEndText);
    while (!accents.empty() && accents.back() <= kNoAccent) accents.pop_back();
    out.insert(out.end(), accents.begin(), accents.end());
    if (!hidden.empty()) {
        out.insert(out.end(), {kEndText, kEndText, kEndText});
        out.insert(out.end(), hidden.begin(), hidden.end());
    }
    if (!ascending) {
        out.push_back(0x00);
        for (size_t i = begin; i < out.size(); ++i) out[i] = uint8_t(~out[i]);
    }
    out.push_back(0x00);
    return true;
}

}  // namespace

bool encodeGeneralText(std::u16string_view text, bool ascending, std::vector<uint8_t>& out) {
    return encodeText(text, ascending, out);
}

bool encodeGeneralText(std::string_view ascii, bool ascending, std::vector<uint8_t>& out) {
    return encodeText(ascii, ascending, out);
}

}  // namespace vantrel::jet
