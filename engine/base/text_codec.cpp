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

std::string decode1252(const uint8_t* p, size_t n) {
    std::string out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        uint8_t b = p[i];
        if (b < 0x80) out.push_back(char(b));
        else appendUtf8(out, b < 0xA0 ? kCp1252High[b - 0x80] : char16_t(b));
    }
    return out;
}

}  // namespace

void appendUtf8(std::string& out, char32_t cp) { platform::AppendUtf8(out, cp); }

std::string decodeCodePage(const uint8_t* p, size_t n, uint16_t codePage) {
    if (codePage == 1252 || codePage == 0) return decode1252(p, n);
    std::string out;
    if (platform::DecodeCodePage(p, n, codePage, out)) return out;
    return decode1252(p, n);
}

namespace {
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
}  // namespace

std::string decodeUtf16(const uint8_t* p, size_t n) {
    // Each two-byte unit gives at most three UTF-8 bytes (a pair, four for two units).
    std::string out(n / 2 * 3, '\0');
    char* o = out.data();
    for (size_t i = 0; i + 1 < n; i += 2) {
        // Four ASCII units at once: every high byte zero, every low byte under 0x80.
        while (std::endian::native == std::endian::little && i + 8 <= n) {
            uint64_t units;
            std::memcpy(&units, p + i, 8);
            if ((units & 0xFF80FF80FF80FF80ull) != 0) break;
            o[0] = char(p[i]);
            o[1] = char(p[i + 2]);
            o[2] = char(p[i + 4]);
            o[3] = char(p[i + 6]);
            o += 4;
            i += 8;
        }
        if (i + 1 >= n) break;
        char32_t u = char32_t(p[i] | (p[i + 1] << 8));
        if (u < 0x80) {
            *o++ = char(u);
            continue;
        }
        if (u >= 0xD800 && u < 0xDC00 && i + 3 < n) {
            char32_t lo = char32_t(p[i + 2] | (p[i + 3] << 8));
            if (lo >= 0xDC00 && lo < 0xE000) {
                o = putUtf8(o, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                i += 2;
                continue;
            }
        }
        if (u >= 0xD800 && u < 0xE000) u = 0xFFFD;
        o = putUtf8(o, u);
    }
    out.resize(size_t(o - out.data()));
    return out;
}

std::string decodeJet4Text(const uint8_t* p, size_t n) {
    if (n < 2 || p[0] != 0xFF || p[1] != 0xFE) return decodeUtf16(p, n);
    // Compressed form: starts in one-byte mode; a zero byte switches between
    // one-byte characters and runs of two-byte UTF-16LE units.
    std::string out;
    out.reserve(n);
    size_t i = 2;
    while (i < n) {
        size_t j = i;
        while (j < n && p[j] != 0) ++j;
        for (size_t k = i; k < j;) {
            if (p[k] >= 0x80) {
                appendUtf8(out, p[k++]);
                continue;
            }
            size_t ascii = k;
            while (ascii < j && p[ascii] < 0x80) ++ascii;
            out.append(reinterpret_cast<const char*>(p + k), ascii - k);
            k = ascii;
        }
        if (j >= n) break;
        // Two-byte mode until the next zero byte at a unit boundary.
        size_t k = j + 1;
        while (k + 1 < n && p[k] != 0) k += 2;
        out += decodeUtf16(p + j + 1, k - (j + 1));
        if (k + 1 >= n) break;
        i = k + 1;
    }
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
