#include "json_out.h"

#include <cstdint>

namespace vantrel {

namespace {
constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHighs = 0x8080808080808080ull;

// Whether any of eight bytes is below 0x20, a quote or a backslash: the only
// bytes a JSON string must escape. (x - 0x01..) & ~x & 0x80.. is non-zero
// exactly when some byte of x is zero; with 0x20.. in place of 0x01.. when
// some byte is below 0x20.
inline bool needsEscape8(const unsigned char* p) {
    uint64_t w;  // the test looks at every byte alike: byte order does not matter
    std::memcpy(&w, p, 8);
    const uint64_t quote = w ^ (kOnes * '"'), backslash = w ^ (kOnes * '\\');
    return (((w - kOnes * 0x20) & ~w) | ((quote - kOnes) & ~quote) | ((backslash - kOnes) & ~backslash)) & kHighs;
}
}  // namespace

void JsonOut::makeRoom(size_t n) {
    flush();
    if (n > cap_) {
        buf_.reset(new char[n]);
        cap_ = n;
    }
}

void JsonOut::string(std::string_view s) {
    static const char hex[] = "0123456789abcdef";
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const size_t n = s.size();
    // At most six bytes per byte (\u00XX) and the two quotes.
    char* const start = room(6 * n + 2);
    char* o = start;
    *o++ = '"';
    size_t i = 0;
    while (i < n) {
        if (i + 16 <= n && !needsEscape8(p + i) && !needsEscape8(p + i + 8)) {
            std::memcpy(o, p + i, 16);
            o += 16;
            i += 16;
            continue;
        }
        if (i + 8 <= n) {
            if (!needsEscape8(p + i)) {
                std::memcpy(o, p + i, 8);
                o += 8;
                i += 8;
                continue;
            }
        } else if (n >= 8 && !needsEscape8(p + n - 8)) {
            // The last few bytes, checked as the last eight (the ones before them passed already).
            std::memcpy(o, p + i, n - i);
            o += n - i;
            break;
        }
        const unsigned char c = p[i++];
        if (c >= 0x20 && c != '"' && c != '\\') {
            *o++ = char(c);
            continue;
        }
        *o++ = '\\';
        switch (c) {
            case '"': *o++ = '"'; break;
            case '\\': *o++ = '\\'; break;
            case '\n': *o++ = 'n'; break;
            case '\r': *o++ = 'r'; break;
            case '\t': *o++ = 't'; break;
            default:
                *o++ = 'u';
                *o++ = '0';
                *o++ = '0';
                *o++ = hex[c >> 4];
                *o++ = hex[c & 15];
        }
    }
    *o++ = '"';
    len_ += size_t(o - start);
}

}  // namespace vantrel
