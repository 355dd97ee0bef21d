#include "json_out.h"

#include <bit>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Of sixteen bytes, how many come before the first one JSON escapes (16: none).
inline unsigned plainPrefix16(const unsigned char* p) {
#if defined(__SSE2__)
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i control = _mm_cmpeq_epi8(_mm_max_epu8(x, _mm_set1_epi8(0x1F)), _mm_set1_epi8(0x1F));
    const __m128i special = _mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8('"')), _mm_cmpeq_epi8(x, _mm_set1_epi8('\\')));
    const unsigned mask = unsigned(_mm_movemask_epi8(_mm_or_si128(control, special)));
    return mask ? unsigned(std::countr_zero(mask)) : 16;
#else
    if (!needsEscape8(p)) return needsEscape8(p + 8) ? 8 : 16;
    return 0;
#endif
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
        if (i + 16 <= n) {
            // Sixteen bytes go out whole (room for them is there: at least
            // sixteen bytes of input are left); the plain ones are kept.
            const unsigned plain = plainPrefix16(p + i);
            std::memcpy(o, p + i, 16);
            o += plain;
            i += plain;
            if (plain == 16) continue;
        } else if (i + 8 <= n) {
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
