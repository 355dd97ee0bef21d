// Values: text decoding, dates, currency, decimals, GUIDs, the comparison with a Boolean.
#include <gtest/gtest.h>

#include "error.h"
#include "text_codec.h"
#include "variant.h"

using namespace vantrel;
using namespace vantrel::jet;

namespace {
std::string bytes(std::initializer_list<int> b) {
    std::string s;
    for (int x : b) s.push_back(char(x));
    return s;
}
const uint8_t* u8(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

std::string dateText(double ole) {
    DateParts p = oleDateParts(ole);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute, p.second);
    return buf;
}
}  // namespace

TEST(TextCodec, Jet4CompressedTextSwitchesModesOnZeroBytes) {
    // FF FE marker, "Ab", switch, U+4E2D as two bytes, switch back, "c".
    std::string raw = bytes({0xFF, 0xFE, 'A', 'b', 0x00, 0x2D, 0x4E, 0x00, 'c'});
    EXPECT_EQ("Ab\xE4\xB8\xAD" "c", decodeJet4Text(u8(raw), raw.size()));
    // Without the marker the bytes are plain UTF-16LE.
    std::string plain = bytes({'H', 0, 'i', 0});
    EXPECT_EQ("Hi", decodeJet4Text(u8(plain), plain.size()));
    // A cut two-byte unit at the end is dropped, not read past.
    std::string cut = bytes({0xFF, 0xFE, 'x', 0x00, 0x41});
    EXPECT_EQ("x", decodeJet4Text(u8(cut), cut.size()));
}

TEST(TextCodec, Cp1252MapsItsUndefinedBytesToC1Controls) {
    std::string raw = bytes({0x80, 0x81, 0x8D, 0x9F, 0xE9});
    EXPECT_EQ("\xE2\x82\xAC\xC2\x81\xC2\x8D\xC5\xB8\xC3\xA9", decodeCodePage(u8(raw), raw.size(), 1252));
}

TEST(TextCodec, Utf16SurrogatePairsAndLoneHalves) {
    std::string pair = bytes({0x3D, 0xD8, 0x00, 0xDE});  // U+1F600
    EXPECT_EQ("\xF0\x9F\x98\x80", decodeUtf16(u8(pair), pair.size()));
    std::string lone = bytes({0x3D, 0xD8});
    EXPECT_EQ("\xEF\xBF\xBD", decodeUtf16(u8(lone), lone.size()));
    EXPECT_EQ(u"a\U0001F600", utf8ToUtf16("a\xF0\x9F\x98\x80"));
}

TEST(OleDate, CalendarPartsAndNegativeValues) {
    EXPECT_EQ("1899-12-30 00:00:00", dateText(0));
    EXPECT_EQ("1900-01-01 00:00:00", dateText(2));
    EXPECT_EQ("2000-02-29 12:00:00", dateText(36585.5));
    // Negative values count whole days back; the fraction stays the time of day.
    EXPECT_EQ("1899-12-29 06:00:00", dateText(-1.25));
    EXPECT_EQ("1899-12-29 02:24:00", dateText(-1.1));
    // Rounded to the nearest second, carrying into the next day.
    EXPECT_EQ("2000-01-02 00:00:00", dateText(36526.9999999));
    EXPECT_EQ("1668-07-20 00:00:00", dateText(-84533));
    EXPECT_THROW(oleDateParts(1e300), JetError);  // Overflow (6)
    EXPECT_EQ("9999-12-31 00:00:00", dateText(2958465));
    EXPECT_EQ("0100-01-01 00:00:00", dateText(-657434));
}

TEST(Variant, CurrencyDecimalAndGuidTexts) {
    EXPECT_EQ("-12.3400", Variant::currency(-123400).currencyText(4));
    EXPECT_EQ("0.0001", Variant::currency(1).currencyText(4));
    EXPECT_EQ("3.5", Variant::currency(35000).currencyText(0));
    EXPECT_EQ("-922337203685477.5808", Variant::currency(INT64_MIN).currencyText(4));
    EXPECT_EQ("0.50", Variant::decimal(50, false, 2).decimalText());
    EXPECT_EQ("-1", Variant::decimal(1, true, 0).decimalText());
    EXPECT_EQ("0", Variant::decimal(0, true, 0).decimalText());  // no negative zero
    const uint8_t raw[16] = {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    EXPECT_EQ("{00112233-4455-6677-8899-AABBCCDDEEFF}", Variant::guid(raw).guidText());
}

TEST(Variant, NullIsNotEmptyText) {
    EXPECT_TRUE(Variant().isNull());
    EXPECT_FALSE(Variant::text("").isNull());
    EXPECT_EQ(-1, Variant::boolean(true).asInt());
}

TEST(Variant, ComparisonWithBooleanFollowsVb) {
    EXPECT_TRUE(equalsBoolean(Variant::boolean(true), true));
    EXPECT_TRUE(equalsBoolean(Variant::boolean(false), false));
    EXPECT_TRUE(equalsBoolean(Variant::integer(-1), true));
    EXPECT_FALSE(equalsBoolean(Variant::integer(1), true));
    EXPECT_TRUE(equalsBoolean(Variant::text("-1"), true));
    EXPECT_TRUE(equalsBoolean(Variant::text("True"), true));
    EXPECT_FALSE(equalsBoolean(Variant(), true));
    try {
        equalsBoolean(Variant::text("UN-SUPPORTED-TYPE - 20"), true);
        FAIL() << "text that is no number compared with a Boolean";
    } catch (const JetError& e) {
        EXPECT_EQ(13, e.Number);
        EXPECT_EQ("Type mismatch", e.Description);
    }
}
