// The reading paths a dump runs for every value: text decoding (word at a
// time over ASCII runs), the JSON string writer, the number texts and values
// read into reused Variants. Each is checked against a plain one-at-a-time
// version of itself over many generated inputs, and on the real files.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>

#include "corpus.h"
#include "dao.h"
#include "json_out.h"
#include "text_codec.h"
#include "user_tables.h"
#include "variant.h"

using namespace vantrel;
using namespace vantrel::jet;

namespace {

// ---- Plain versions, one unit at a time.

void refPut(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

std::string refUtf16(const uint8_t* p, size_t n) {
    std::string out;
    for (size_t i = 0; i + 1 < n; i += 2) {
        char32_t u = char32_t(p[i] | (p[i + 1] << 8));
        if (u >= 0xD800 && u < 0xDC00 && i + 3 < n) {
            char32_t lo = char32_t(p[i + 2] | (p[i + 3] << 8));
            if (lo >= 0xDC00 && lo < 0xE000) {
                refPut(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                i += 2;
                continue;
            }
        }
        refPut(out, u >= 0xD800 && u < 0xE000 ? 0xFFFD : u);
    }
    return out;
}

std::string refJet4(const uint8_t* p, size_t n) {
    if (n < 2 || p[0] != 0xFF || p[1] != 0xFE) return refUtf16(p, n);
    std::string out;
    size_t i = 2;
    bool wide = false;
    while (i < n) {
        if (!wide) {
            if (p[i] == 0) wide = true;
            else refPut(out, p[i]);
            ++i;
            continue;
        }
        size_t k = i;
        while (k + 1 < n && p[k] != 0) k += 2;
        out += refUtf16(p + i, k - i);
        wide = false;
        i = k + 1;
    }
    return out;
}

std::string refJson(std::string_view s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"') out += "\\\"";
        else if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else out += char(c);
    }
    return out + "\"";
}

// ---- Generated inputs: runs of ASCII and of other characters, as real text has.

std::vector<uint8_t> randomUtf16(std::mt19937& rng) {
    static const char16_t kinds[] = {'a', ' ', '"', 0, 0x1F, 0x7F, 0x80, 0xE9, 0x7FF, 0x800, 0x4E2D, 0xFFFF, 0xD83D, 0xDE00, 0xDBFF, 0xDC00};
    std::vector<uint8_t> out;
    const size_t units = rng() % 48;
    while (out.size() / 2 < units) {
        const size_t run = 1 + rng() % 12;
        const bool ascii = rng() % 2;
        for (size_t k = 0; k < run; ++k) {
            char16_t u = ascii ? char16_t(0x20 + rng() % 0x5F) : kinds[rng() % std::size(kinds)];
            if (!ascii && rng() % 4 == 0) u = char16_t(0x100 + rng() % 0xFF00);
            out.push_back(uint8_t(u));
            out.push_back(uint8_t(u >> 8));
        }
    }
    if (rng() % 5 == 0) out.push_back(uint8_t(rng()));  // an odd trailing byte
    return out;
}

std::vector<uint8_t> randomCompressed(std::mt19937& rng) {
    std::vector<uint8_t> out = {0xFF, 0xFE};
    const size_t n = rng() % 64;
    for (size_t k = 0; k < n; ++k) {
        const unsigned r = rng() % 16;
        out.push_back(r == 0 ? 0 : r < 3 ? uint8_t(0x80 + rng() % 0x80) : uint8_t(0x20 + rng() % 0x5F));
    }
    return out;
}

}  // namespace

TEST(TextCodecRead, Utf16MatchesTheUnitAtATimeDecoding) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 20000; ++round) {
        const std::vector<uint8_t> in = randomUtf16(rng);
        const std::string want = refUtf16(in.data(), in.size());
        ASSERT_EQ(want, decodeUtf16(in.data(), in.size())) << "input " << ::testing::PrintToString(in);
        std::string appended = "prefix";
        appendUtf16(appended, in.data(), in.size());
        ASSERT_EQ("prefix" + want, appended);
    }
}

TEST(TextCodecRead, Jet4TextMatchesTheByteAtATimeDecoding) {
    std::mt19937 rng(99);
    for (int round = 0; round < 20000; ++round) {
        std::vector<uint8_t> in = randomCompressed(rng);
        // Two-byte runs inside: a zero byte then units until a zero unit.
        if (round % 2) {
            std::vector<uint8_t> wide = randomUtf16(rng);
            in.push_back(0);
            in.insert(in.end(), wide.begin(), wide.end());
            if (rng() % 2) in.insert(in.end(), {0, 'x', 'y'});
        }
        ASSERT_EQ(refJet4(in.data(), in.size()), decodeJet4Text(in.data(), in.size())) << ::testing::PrintToString(in);
    }
    // Without the marker: UTF-16LE.
    std::vector<uint8_t> plain = {'H', 0, 'i', 0, 0x2D, 0x4E};
    EXPECT_EQ("Hi\xE4\xB8\xAD", decodeJet4Text(plain.data(), plain.size()));
}

TEST(TextCodecRead, Cp1252MatchesTheByteAtATimeDecoding) {
    static const char16_t high[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                                      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                                      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::mt19937 rng(7);
    for (int round = 0; round < 5000; ++round) {
        std::vector<uint8_t> in(rng() % 40);
        for (auto& b : in) b = uint8_t(rng() % 3 ? 0x20 + rng() % 0x5F : rng());
        std::string want;
        for (uint8_t b : in) refPut(want, b >= 0x80 && b < 0xA0 ? high[b - 0x80] : char16_t(b));
        ASSERT_EQ(want, decodeCodePage(in.data(), in.size(), 1252));
        std::string appended = "x";
        appendCodePage(appended, in.data(), in.size(), 0);
        ASSERT_EQ("x" + want, appended);
    }
}

TEST(JsonOutRead, StringsAreEscapedAsTheByteAtATimeWriterDoes) {
    std::mt19937 rng(5);
    std::vector<std::string> values;
    for (int round = 0; round < 20000; ++round) {
        std::string s(rng() % 40, ' ');
        for (auto& c : s) c = char(rng() % 4 ? 0x20 + rng() % 0x5F : rng() % 256);
        values.push_back(std::move(s));
    }
    // Every byte value at every place of a sixteen-byte stretch.
    for (int b = 0; b < 256; ++b)
        for (size_t at = 0; at < 24; ++at) {
            std::string s(24, 'a');
            s[at] = char(b);
            values.push_back(s.substr(0, 1 + (at + size_t(b)) % 24));
        }
    values.push_back(std::string(200000, 'q') + "\"\n");  // larger than the buffer

    std::FILE* f = std::tmpfile();
    ASSERT_NE(nullptr, f);
    std::string want;
    {
        JsonOut out(f);
        for (const std::string& s : values) {
            out.string(s);
            out.raw(",");
            want += refJson(s) + ",";
        }
    }
    std::fflush(f);
    std::rewind(f);
    std::string got(want.size() + 1, '\0');
    got.resize(std::fread(got.data(), 1, got.size(), f));
    std::fclose(f);
    ASSERT_EQ(want.size(), got.size());
    EXPECT_TRUE(want == got);
}

TEST(ValuesRead, CurrencyAndDecimalTextsAtTheEdges) {
    EXPECT_EQ("922337203685477.5807", Variant::currency(INT64_MAX).currencyText(4));
    EXPECT_EQ("-0.0001", Variant::currency(-1).currencyText(4));
    EXPECT_EQ("0.0000", Variant::currency(0).currencyText(4));
    EXPECT_EQ("0", Variant::currency(0).currencyText(0));
    EXPECT_EQ("-12.34", Variant::currency(-123400).currencyText(2));
    const uint128 max = ~uint128(0);
    EXPECT_EQ("340282366920938463463374607431768211455", Variant::decimal(max, false, 0).decimalText());
    EXPECT_EQ("-3402823669209384634633746074317682114.55", Variant::decimal(max, true, 2).decimalText());
    EXPECT_EQ("0.0000000000000000000000000000000000000001", Variant::decimal(1, false, 40).decimalText());
    EXPECT_EQ("0.00", Variant::decimal(0, true, 2).decimalText());  // no negative zero
    EXPECT_EQ("18446744073709551616", Variant::decimal(uint128(1) << 64, false, 0).decimalText());
}

namespace {
void expectSame(const Variant& want, const Variant& got) {
    EXPECT_EQ(want.type(), got.type());
    EXPECT_EQ(want.str(), got.str());
    EXPECT_EQ(want.asInt(), got.asInt());
    const double a = want.asDouble(), b = got.asDouble();
    EXPECT_EQ(0, std::memcmp(&a, &b, sizeof a));
    EXPECT_TRUE(want.decimalMagnitude() == got.decimalMagnitude());
    EXPECT_EQ(want.decimalNegative(), got.decimalNegative());
    EXPECT_EQ(want.decimalScale(), got.decimalScale());
}
}  // namespace

TEST(ValuesRead, InPlaceSettersMakeWhatTheFactoriesMake) {
    // Each setter on a Variant that held a long text (and keeps its storage).
    auto reused = [] { return Variant::text(std::string(100, 'x')); };
    Variant v = reused();
    v.setNull();
    expectSame(Variant::null(), v);
    v = reused();
    v.setInteger(VarType::Boolean, -1);
    expectSame(Variant::boolean(true), v);
    v = reused();
    v.setInteger(VarType::Byte, 200);
    expectSame(Variant::byte(200), v);
    v = reused();
    v.setInteger(VarType::Integer, -32768);
    expectSame(Variant::integer(-32768), v);
    v = reused();
    v.setInteger(VarType::Long, INT32_MIN);
    expectSame(Variant::longInt(INT32_MIN), v);
    v = reused();
    v.setInteger(VarType::Currency, INT64_MIN);
    expectSame(Variant::currency(INT64_MIN), v);
    v = reused();
    v.setReal(VarType::Single, 0.1f);
    expectSame(Variant::single(0.1f), v);
    v = reused();
    v.setReal(VarType::Double, -2.5e300);
    expectSame(Variant::dbl(-2.5e300), v);
    v = reused();
    v.setReal(VarType::Date, 36526.5);
    expectSame(Variant::date(36526.5), v);
    v = reused();
    v.setDecimal(uint128(12345) << 70, true, 7);
    expectSame(Variant::decimal(uint128(12345) << 70, true, 7), v);
    v = reused();
    v.bytesFor(VarType::Text) = "abc";
    expectSame(Variant::text("abc"), v);
    const uint8_t raw[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    v = reused();
    v.bytesFor(VarType::Guid).assign(reinterpret_cast<const char*>(raw), 16);
    expectSame(Variant::guid(raw), v);
    char buf[40];
    EXPECT_EQ(Variant::guid(raw).guidText(), v.guidText(buf));
}

TEST(ValuesRead, OneReusedVariantReadsWhatValueReturns) {
    // Every value of every user table of every readable corpus file, read
    // into one Variant that goes from type to type, against Field::Value.
    const auto dir = vantrel::test::sharedDir() / "corpus";
    if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no corpus at " << dir;
    size_t files = 0, values = 0;
    Variant reused = Variant::text(std::string(5000, 'x'));
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const auto ext = entry.path().extension();
        if (ext != ".mdb" && ext != ".accdb") continue;
        Database db;
        try {
            db = DBEngine::Default().OpenDatabase(entry.path().string(), false, true, ";pwd=bluefinchtea");
        } catch (const JetError&) {
            continue;  // a wrong password or a damaged file: others test those
        }
        ++files;
        for (const TableDef& t : db.TableDefs()) {
            if (!IsUserTable(t)) continue;
            try {
                Recordset rs = t.OpenRecordset();
                auto fields = rs.Fields();
                for (; !rs.EOF_(); rs.MoveNext())
                    for (const Field& f : fields) {
                        const Variant want = f.Value();
                        f.ReadValue(reused);
                        ++values;
                        ASSERT_EQ(want.type(), reused.type()) << entry.path() << " " << t.Name() << "." << f.Name();
                        ASSERT_EQ(want.str(), reused.str()) << entry.path() << " " << t.Name() << "." << f.Name();
                        ASSERT_EQ(want.asInt(), reused.asInt());
                        if (want.isNumeric()) {
                            const double a = want.asDouble(), b = reused.asDouble();
                            ASSERT_EQ(0, std::memcmp(&a, &b, sizeof a));
                        }
                        ASSERT_TRUE(want.decimalMagnitude() == reused.decimalMagnitude());
                        ASSERT_EQ(want.decimalScale(), reused.decimalScale());
                    }
            } catch (const JetError&) {
                // Damaged tables fail the same way for both; the corpus check covers them.
            }
        }
    }
    EXPECT_GT(files, 50u);
    EXPECT_GT(values, 10000u);
}
