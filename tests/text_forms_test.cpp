// The text forms of numbers and dates are built without printf; they must
// give printf's text to the byte, for every value a file can hold. The
// references below are the forms as printf makes them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "error.h"
#include "text_forms.h"

using namespace vantrel;

namespace {

std::string printfFloating(double d, int digits) {
    if (std::isnan(d)) return "NaN";
    if (std::isinf(d)) return d > 0 ? "Infinity" : "-Infinity";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*G", digits, d);
    std::string s = buf;
    return s == "-0" ? "0" : s;
}

std::string printfDate(double ole) {
    DateParts p;
    try {
        p = oleDateParts(ole);
    } catch (const JetError& e) {
        return "error " + std::to_string(e.Number);
    }
    char date[32], time[64];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", p.year, p.month, p.day);
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", p.hour, p.minute, p.second);
    if (p.year == 1899 && p.month == 12 && p.day == 30) return time;
    if (p.hour == 0 && p.minute == 0 && p.second == 0) return date;
    return std::string(date) + " " + time;
}

double fromBits(uint64_t bits) {
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

}  // namespace

TEST(TextFormsAgreeWithPrintf, DoublesAndSinglesOfEveryMagnitude) {
    std::mt19937_64 random(20261208);
    std::vector<double> values = {0.0, -0.0, 1.0, -1.0, 0.1, 1e15, 1e-5, 123456789012345678.0, 9.999999999999999e14,
                                  0.5, 2.5, 1e300, 5e-324, -5e-324, std::nan(""), INFINITY, -INFINITY, 1234567.5,
                                  0.000123456789, 99999995.0, 1e16, 1e-4};
    for (int i = 0; i < 200000; ++i) values.push_back(fromBits(random()));
    std::uniform_real_distribution<double> everyday(-1e7, 1e7);
    for (int i = 0; i < 200000; ++i) values.push_back(std::round(everyday(random) * 100) / 100);
    for (double d : values) {
        ASSERT_EQ(printfFloating(d, 15), DefaultText(Variant::dbl(d))) << d;
        const float f = float(d);
        ASSERT_EQ(printfFloating(double(f), 7), DefaultText(Variant::single(f))) << f;
    }
}

TEST(TextFormsAgreeWithPrintf, CurrencyAsTheVariantWritesIt) {
    std::mt19937_64 random(11);
    std::vector<int64_t> values = {0, 1, -1, 10000, -10000, 35000, 120000, 10, 100, 1000, 10001, 99990,
                                   INT64_MAX, INT64_MIN, INT64_MIN + 1};
    for (int i = 0; i < 100000; ++i) values.push_back(int64_t(random()));
    for (int i = 0; i < 100000; ++i) values.push_back(int64_t(random() % 20000001) - 10000000);
    for (int64_t scaled : values) {
        const Variant v = Variant::currency(scaled);
        ASSERT_EQ(v.currencyText(0), DefaultText(v)) << scaled;
    }
}

TEST(TextFormsAgreeWithPrintf, DatesOverTheWholeRangeAndBeyond) {
    std::mt19937_64 random(7);
    std::vector<double> values = {0.0, 0.5, -0.5, 1.0, -1.0, 2.0 / 3, 36526.0, 36526.999999, -657434.0, 2958465.99999,
                                  -700000.0, 3000000.0, 1e9, -1e9};
    std::uniform_real_distribution<double> range(-700000.0, 3100000.0);
    for (int i = 0; i < 200000; ++i) values.push_back(range(random));
    for (int i = 0; i < 1000; ++i) values.push_back(std::floor(range(random)));
    for (double d : values) {
        std::string ours;
        try {
            ours = DefaultText(Variant::date(d));
        } catch (const JetError& e) {
            ours = "error " + std::to_string(e.Number);
        }
        ASSERT_EQ(printfDate(d), ours) << d;
    }
}
