// The device conversion's rules on names and values, and the scratch files
// the null-fill preview runs on: what is written there is read back there
// and never reaches the disk.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "dao.h"
#include "device_rules.h"
#include "scratch_env.h"

using namespace vantrel;

TEST(DeviceRules, CurrencyThroughADouble) {
    struct Case {
        int64_t scaled;
        bool survives;
    };
    for (const Case& c : {Case{0, true}, Case{123400, true}, Case{-1, true}, Case{9007199254740992, true}, Case{9007199254740993, false},
                          Case{INT64_MAX, false}, Case{INT64_MIN, true}})
        EXPECT_EQ(currencySurvivesDouble(c.scaled), c.survives) << c.scaled;
}

TEST(DeviceRules, NamesCountCharactersNotBytes) {
    const std::string name = "\xC3\xA9t\xC3\xA9\xF0\x9F\x98\x80";  // "été" and one character beyond the BMP
    EXPECT_EQ(charCount(name), 4u);
    EXPECT_EQ(utf16Units(name), 5u);
    EXPECT_EQ(firstChars(name, 2), "\xC3\xA9t");
    EXPECT_TRUE(sameDeviceName("Orders", "oRDERS"));
    EXPECT_FALSE(sameDeviceName("Orders", "Order"));
}

TEST(DeviceRules, TypesWithoutARowAreNotSent) {
    EXPECT_EQ(deviceTypeOf(dbCurrency).name, "double");
    EXPECT_EQ(deviceTypeOf(dbLongBinary).sending, Sending::ifSelected);
    for (int16_t type : {dbBinary, dbDecimal, dbBigInt, dbAttachment}) EXPECT_EQ(deviceTypeOf(type).sending, Sending::no) << type;
}

TEST(DeviceRules, ACutNameMetAgainTakesADigitFromTheStem) {
    const std::vector<TableNaming> n = nameTables({"A234567890123456789012345678901", "a2345678901234567890123456789012", "Short"});
    EXPECT_EQ(n[0].outcome, TableNaming::Outcome::same);
    EXPECT_EQ(n[1].outcome, TableNaming::Outcome::renamed);
    EXPECT_EQ(n[1].deviceName, "a234567890123456789012345678900");
    EXPECT_EQ(n[2].deviceName, "Short");
}

TEST(ScratchEnv, WritesStayInMemory) {
    const std::string path = testing::TempDir() + "scratch_env_test.bin";
    std::ofstream(path, std::ios::binary) << std::string(5000, 'd');
    {
        ScratchEnv env;
        auto f = env.open(path, platform::Open::readWrite);
        f->writeAt(4094, reinterpret_cast<const uint8_t*>("WXYZ"), 4);  // across two blocks
        uint8_t back[6] = {};
        ASSERT_EQ(f->readAt(4093, back, 6), 6u);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(back), 6), "dWXYZd");
        f->truncate(4095);
        f->writeAt(4999, back, 1);  // grown again: the cut bytes read as zeros
        ASSERT_EQ(f->readAt(4095, back, 2), 2u);
        EXPECT_EQ(back[0], 0);
        EXPECT_EQ(back[1], 0);
        env.open(path + ".journal", platform::Open::createNew)->append(back, 2);
        EXPECT_EQ(env.info(path + ".journal").kind, platform::Kind::regular);
        env.remove(path);
        EXPECT_EQ(env.info(path).kind, platform::Kind::missing);
    }
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), std::string(5000, 'd'));
    EXPECT_EQ(platform::Env::system().info(path + ".journal").kind, platform::Kind::missing);
    std::remove(path.c_str());
}
