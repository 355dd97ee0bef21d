// The 128-bit magnitudes of decimal values: the same results with and without
// a compiler's own 128-bit type (32-bit targets have none), the values worked
// out independently (Python's integers).
#include <gtest/gtest.h>

#include "variant.h"

using vantrel::uint128;

namespace {
constexpr uint128 kX = (uint128(12345) << 70) + 987654321;  // 14574403557756443528423601

std::string text(uint128 m) { return vantrel::Variant::decimal(m, false, 0).decimalText(); }
}  // namespace

TEST(UInt128, ArithmeticCarriesAcrossTheHalves) {
    const uint128 all = ~uint128(0);
    struct Case {
        uint128 got;
        const char* want;
    } cases[] = {
        {kX, "14574403557756443528423601"},
        {uint128(UINT64_MAX) * UINT64_MAX, "340282366920938463426481119284349108225"},
        {uint128(UINT64_MAX) + 1, "18446744073709551616"},
        {(uint128(1) << 64) - 1, "18446744073709551615"},
        {all + 1, "0"},  // wraps as unsigned integers do
        {uint128(0) - 1, "340282366920938463463374607431768211455"},
        {kX / 10, "1457440355775644352842360"},
        {kX % 10, "1"},
        {kX / 4294967295u, "3393367762013760"},  // the widest divisor of the fast way
        {kX % 4294967295u, "988444401"},
        {kX / ((uint128(1) << 100) + 7), "0"},  // a wide divisor
        {kX % ((uint128(1) << 100) + 7), "14574403557756443528423601"},
        {(uint128(1) << 127) / ((uint128(1) << 64) + 1), "9223372036854775807"},
        {kX >> 70, "12345"},
        {kX >> 64, "790080"},
        {uint128(1) << 127, "170141183460469231731687303715884105728"},
        {uint128(int64_t(-1)), "340282366920938463463374607431768211455"},  // sign-extended
    };
    for (const Case& c : cases) EXPECT_EQ(c.want, text(c.got));
}

TEST(UInt128, ComparesAndConvertsAsIntegersDo) {
    EXPECT_LT(uint128(UINT64_MAX), uint128(1) << 64);
    EXPECT_GT(uint128(1) << 64, uint128(UINT64_MAX));
    EXPECT_EQ(uint128(5), uint128(10) / 2);
    EXPECT_EQ(987654321u, uint64_t(kX));  // the low 64 bits
    EXPECT_FALSE(bool(uint128(0)));
    EXPECT_TRUE(bool(uint128(1) << 100));
    EXPECT_EQ(9223372036854775808ull, vantrel::magnitudeOf(INT64_MIN));
}

TEST(UInt128, ConvertsToTheNearestDouble) {
    const uint128 p65 = uint128(1) << 65;  // doubles there are 2^13 apart
    struct Case {
        uint128 m;
        double want;
    } cases[] = {
        {UINT64_MAX, 18446744073709551616.0},
        {p65 + (uint128(1) << 12), 36893488147419103232.0},      // a tie: to the even neighbour
        {p65 + (uint128(1) << 12) + 1, 36893488147419111424.0},  // past the tie by the lowest bit
        {p65 + (uint128(3) << 12), 36893488147419119616.0},      // a tie: up to the even one
        {~uint128(0), 340282366920938463463374607431768211456.0},
    };
    for (const Case& c : cases) EXPECT_EQ(c.want, double(c.m)) << text(c.m);
}
