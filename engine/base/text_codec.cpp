#include "text_codec.h"

#include <bit>
#include <cstring>
#include <vector>

#include "code_page.h"
#include "utf16.h"

namespace vantrel::jet {

namespace {
// 0x80..0x9F of code page 1252; the five bytes it leaves undefined map to the
// C1 control of the same value, as Windows does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Writes one code point as UTF-8 at o; returns the new end.
inline char* putUtf8(char* o, char32_t cp) {
    if (cp < 0x80) {
        *o++ = char(cp);
    } else if (cp < 0x800) {
        *o++ = char(0xC0 | (cp >> 6));
        *o++ = char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *o++ = char(0xE0 | (cp >> 12));
        *o++ = char(0x80 | ((cp >> 6) & 0x3F));
        *o++ = char(0x80 | (cp & 0x3F));
    } else {
        *o++ = char(0xF0 | (cp >> 18));
        *o++ = char(0x80 | ((cp >> 12) & 0x3F));
        *o++ = char(0x80 | ((cp >> 6) & 0x3F));
        *o++ = char(0x80 | (cp & 0x3F));
    }
    return o;
}

// Eight bytes as a little-endian word, whatever the machine.
inline uint64_t load64(const uint8_t* p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    if constexpr (std::endian::native == std::endian::big) {
        uint64_t r = 0;
        for (int k = 0; k < 8; ++k) r |= ((w >> (8 * k)) & 0xFF) << (56 - 8 * k);
        w = r;
    }
    return w;
}

// Bytes below 0x80 come out as they are; these copy runs of them eight at a time.
inline bool allAscii8(const uint8_t* p) { return (load64(p) & 0x8080808080808080ull) == 0; }
// The same, none of the eight being zero (the mode switch of compressed text).
inline bool allAsciiNonZero8(const uint8_t* p) {
    const uint64_t w = load64(p);
    return ((w | ((w - 0x0101010101010101ull) & ~w)) & 0x8080808080808080ull) == 0;
}

// Code page 1252 bytes as UTF-8 at o (at most three bytes each); returns the new end.
char* put1252(char* o, const uint8_t* p, size_t n) {
    size_t i = 0;
    while (i < n) {
        if (i + 8 <= n && allAscii8(p + i)) {
            std::memcpy(o, p + i, 8);
            o += 8;
            i += 8;
            continue;
        }
        const uint8_t b = p[i++];
        if (b < 0x80) *o++ = char(b);
        else o = putUtf8(o, b < 0xA0 ? kCp1252High[b - 0x80] : char16_t(b));
    }
    return o;
}

// Four UTF-16LE units below 0x80, read as one word, as four bytes.
inline void packAscii4(char* o, uint64_t w) {
    w = (w | (w >> 8)) & 0x0000FFFF0000FFFFull;
    const uint32_t v = uint32_t(w | (w >> 16));
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(o, &v, 4);
    } else {
        o[0] = char(v);
        o[1] = char(v >> 8);
        o[2] = char(v >> 16);
        o[3] = char(v >> 24);
    }
}

// One unit (a pair when a high surrogate is followed by a low one) at p[i];
// returns the new end. Writes three bytes at o whatever the unit's length (the
// caller leaves room for three per unit), so that text mixing scripts costs
// no mispredicted branch per character.
inline char* putUnit(char* o, const uint8_t* p, size_t& i, size_t n) {
    char32_t u = char32_t(p[i] | (p[i + 1] << 8));
    i += 2;
    if (u - 0xD800 < 0x800) [[unlikely]] {
        if (u < 0xDC00 && i + 1 < n) {
            char32_t lo = char32_t(p[i] | (p[i + 1] << 8));
            if (lo >= 0xDC00 && lo < 0xE000) {
                i += 2;
                return putUtf8(o, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
            }
        }
        return putUtf8(o, 0xFFFD);
    }
    const bool two = u >= 0x80, three = u >= 0x800;
    const char32_t lead = three ? 0xE0 | (u >> 12) : two ? 0xC0 | (u >> 6) : u;
    const char32_t mid = three ? 0x80 | ((u >> 6) & 0x3F) : 0x80 | (u & 0x3F);
    o[0] = char(lead);
    o[1] = char(mid);
    o[2] = char(0x80 | (u & 0x3F));
    return o + 1 + two + three;
}

// UTF-16LE as UTF-8 at o (at most three bytes per unit); returns the new end.
// An odd trailing byte is dropped; a surrogate without its other half is U+FFFD.
// Runs of ASCII go four or eight units at a time, runs of other characters
// one by one; text that mixes them (Latin words among Chinese ones) switches
// at each run's end.
char* putUtf16(char* o, const uint8_t* p, size_t n) {
    constexpr uint64_t kNotAscii = 0xFF80FF80FF80FF80ull;
    size_t i = 0;
    while (i + 16 <= n) {
        uint64_t a = load64(p + i);
        const uint64_t b = load64(p + i + 8);
        if (((a | b) & kNotAscii) == 0) {
            packAscii4(o, a);
            packAscii4(o + 4, b);
            o += 8;
            i += 16;
            continue;
        }
        if ((a & kNotAscii) == 0) {
            packAscii4(o, a);
            o += 4;
            i += 8;
            a = b;
        }
        // The ASCII units before the first other one (writing four bytes is
        // within the room: at least eight units lie ahead).
        const size_t ascii = size_t(std::countr_zero(a & kNotAscii)) / 16;
        packAscii4(o, a);
        o += ascii;
        i += 2 * ascii;
        // The run of other characters.
        do o = putUnit(o, p, i, n);
        while (i + 1 < n && ((p[i] & 0x80) | p[i + 1]));
    }
    while (i + 1 < n) o = putUnit(o, p, i, n);
    return o;
}

// Runs `put` on room for `most` more bytes at the end of `out`, then trims to what it wrote.
template <class Put>
void appendAtMost(std::string& out, size_t most, Put&& put) {
    const size_t old = out.size();
    out.resize(old + most);
    char* end = put(out.data() + old);
    out.resize(size_t(end - out.data()));
}

}  // namespace

void appendUtf8(std::string& out, char32_t cp) { platform::AppendUtf8(out, cp); }

void appendCodePage(std::string& out, const uint8_t* p, size_t n, uint16_t codePage) {
    if (codePage != 1252 && codePage != 0) {
        std::string other;
        if (platform::DecodeCodePage(p, n, codePage, other)) {
            out += other;
            return;
        }
    }
    appendAtMost(out, 3 * n, [&](char* o) { return put1252(o, p, n); });
}

std::string decodeCodePage(const uint8_t* p, size_t n, uint16_t codePage) {
    std::string out;
    appendCodePage(out, p, n, codePage);
    return out;
}

void appendUtf16(std::string& out, const uint8_t* p, size_t n) {
    // Each two-byte unit gives at most three UTF-8 bytes (a pair, four for two units).
    appendAtMost(out, n / 2 * 3, [&](char* o) { return putUtf16(o, p, n); });
}

std::string decodeUtf16(const uint8_t* p, size_t n) {
    std::string out;
    appendUtf16(out, p, n);
    return out;
}

void appendJet4Text(std::string& out, const uint8_t* p, size_t n) {
    if (n < 2 || p[0] != 0xFF || p[1] != 0xFE) return appendUtf16(out, p, n);
    // Compressed form: starts in one-byte mode; a zero byte switches between
    // one-byte characters (at most two UTF-8 bytes each) and runs of two-byte
    // UTF-16LE units (at most three per unit).
    appendAtMost(out, 2 * n, [&](char* o) {
        size_t i = 2;
        while (i < n) {
            size_t j = i;
            while (j < n && p[j] != 0) {
                if (j + 8 <= n && allAsciiNonZero8(p + j)) {
                    std::memcpy(o, p + j, 8);
                    o += 8;
                    j += 8;
                    continue;
                }
                o = putUtf8(o, p[j]);
                ++j;
            }
            if (j >= n) break;
            // Two-byte mode until the next zero byte at a unit boundary.
            size_t k = j + 1;
            while (k + 1 < n && p[k] != 0) k += 2;
            o = putUtf16(o, p + j + 1, k - (j + 1));
            if (k + 1 >= n) break;
            i = k + 1;
        }
        return o;
    });
}

std::string decodeJet4Text(const uint8_t* p, size_t n) {
    std::string out;
    appendJet4Text(out, p, n);
    return out;
}

std::u16string utf8ToUtf16(const std::string& s) {
    std::u16string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = s[i];
        char32_t cp;
        size_t len;
        if (c < 0x80) { cp = c; len = 1; }
        else if ((c >> 5) == 6) { cp = c & 0x1F; len = 2; }
        else if ((c >> 4) == 14) { cp = c & 0x0F; len = 3; }
        else if ((c >> 3) == 30) { cp = c & 0x07; len = 4; }
        else { out.push_back(0xFFFD); ++i; continue; }
        if (i + len > s.size()) { out.push_back(0xFFFD); break; }
        bool ok = true;
        for (size_t k = 1; k < len; ++k) {
            unsigned char cc = s[i + k];
            if ((cc >> 6) != 2) { ok = false; break; }
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (!ok) { out.push_back(0xFFFD); ++i; continue; }
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(char16_t(0xD800 + (cp >> 10)));
            out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(char16_t(cp));
        }
    }
    return out;
}

}  // namespace vantrel::jet
