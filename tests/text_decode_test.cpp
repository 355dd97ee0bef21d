// The text decoders take runs of ASCII in bulk; what they give must not
// change: random texts of ASCII, Latin, CJK, surrogate pairs, lone
// surrogates, zero bytes and odd lengths, against a unit-by-unit decoder.
#include <gtest/gtest.h>

#include <random>

#include "text_codec.h"

using namespace vantrel::jet;

namespace {

std::string unitByUnit(const uint8_t* p, size_t n) {
    std::string out;
    for (size_t i = 0; i + 1 < n; i += 2) {
        char32_t u = char32_t(p[i] | (p[i + 1] << 8));
        if (u >= 0xD800 && u < 0xDC00 && i + 3 < n) {
            const char32_t lo = char32_t(p[i + 2] | (p[i + 3] << 8));
            if (lo >= 0xDC00 && lo < 0xE000) {
                appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                i += 2;
                continue;
            }
        }
        if (u >= 0xD800 && u < 0xE000) u = 0xFFFD;
        appendUtf8(out, u);
    }
    return out;
}

std::string compressedByteByByte(const uint8_t* p, size_t n) {
    std::string out;
    size_t i = 2;
    while (i < n) {
        size_t j = i;
        while (j < n && p[j] != 0) ++j;
        for (size_t k = i; k < j; ++k) appendUtf8(out, p[k]);
        if (j >= n) break;
        size_t k = j + 1;
        while (k + 1 < n && p[k] != 0) k += 2;
        out += unitByUnit(p + j + 1, k - (j + 1));
        if (k + 1 >= n) break;
        i = k + 1;
    }
    return out;
}

std::vector<uint8_t> randomUnits(std::mt19937& random, size_t units) {
    const char16_t kinds[] = {u'a', u'Z', u'0', u' ', 0x7F, 0x80, 0xE9, 0x4E2D, 0xD83D, 0xDE00, 0xDC00, 0x0000, 0xFFFF, 0x0100};
    std::vector<uint8_t> out;
    for (size_t i = 0; i < units; ++i) {
        // Mostly ASCII, as real text is, with the rest scattered in.
        char16_t u = random() % 4 ? char16_t(0x20 + random() % 0x5F) : kinds[random() % std::size(kinds)];
        out.push_back(uint8_t(u & 0xFF));
        out.push_back(uint8_t(u >> 8));
    }
    if (random() % 3 == 0) out.push_back(uint8_t(random()));  // an odd length
    return out;
}

}  // namespace

TEST(TextDecoding, Utf16InBulkEqualsUnitByUnit) {
    std::mt19937 random(42);
    for (int round = 0; round < 20000; ++round) {
        const auto bytes = randomUnits(random, random() % 40);
        ASSERT_EQ(unitByUnit(bytes.data(), bytes.size()), decodeUtf16(bytes.data(), bytes.size())) << round;
    }
}

TEST(TextDecoding, CompressedTextInBulkEqualsByteByByte) {
    std::mt19937 random(43);
    for (int round = 0; round < 20000; ++round) {
        std::vector<uint8_t> bytes = {0xFF, 0xFE};
        const int runs = int(random() % 5);
        for (int r = 0; r < runs; ++r) {
            for (unsigned k = random() % 20; k > 0; --k) {
                const uint8_t b = random() % 5 ? uint8_t(0x20 + random() % 0x5F) : uint8_t(0x80 + random() % 0x80);
                bytes.push_back(b);
            }
            bytes.push_back(0);
            const auto units = randomUnits(random, random() % 10);
            for (uint8_t b : units) bytes.push_back(b ? b : 1);
            if (random() % 2) bytes.push_back(0);
        }
        ASSERT_EQ(compressedByteByByte(bytes.data(), bytes.size()), decodeJet4Text(bytes.data(), bytes.size())) << round;
    }
}
