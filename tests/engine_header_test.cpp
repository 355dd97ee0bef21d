// Page 0: format, page size, code page, password; RC4 and the connect string.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "corpus.h"
#include "dao.h"
#include "header.h"
#include "page_file.h"
#include "rc4.h"

using namespace vantrel;
using namespace vantrel::jet;
using vantrel::test::corpusFile;

TEST(Rc4, MatchesPublishedVectors) {
    // The classic test vectors: key "Key" / "Plaintext", key "Wiki" / "pedia".
    uint8_t text[] = {'P', 'l', 'a', 'i', 'n', 't', 'e', 'x', 't'};
    Rc4 a(reinterpret_cast<const uint8_t*>("Key"), 3);
    a.apply(text, sizeof text);
    const uint8_t want[] = {0xBB, 0xF3, 0x16, 0xE8, 0xD9, 0x40, 0xAF, 0x0A, 0xD3};
    EXPECT_EQ(0, std::memcmp(text, want, sizeof want));

    uint8_t text2[] = {'p', 'e', 'd', 'i', 'a'};
    Rc4 b(reinterpret_cast<const uint8_t*>("Wiki"), 4);
    b.apply(text2, sizeof text2);
    const uint8_t want2[] = {0x10, 0x21, 0xBF, 0x04, 0x20};
    EXPECT_EQ(0, std::memcmp(text2, want2, sizeof want2));
}

TEST(ConnectString, FindsThePasswordKeyInAnyCaseAndPlace) {
    EXPECT_EQ("bluefinchtea", passwordFromConnect(";pwd=bluefinchtea"));
    EXPECT_EQ("Secret", passwordFromConnect("MS Access;PWD=Secret;"));
    EXPECT_EQ("", passwordFromConnect(""));
    EXPECT_EQ("", passwordFromConnect(";pwd="));
    EXPECT_EQ("a=b", passwordFromConnect(";Pwd=a=b"));
}

TEST(Header, ReadsFormatPageSizeAndCodePage) {
    REQUIRE_CORPUS("jk-V1997-testV1997.mdb");
    PageFile jet3(corpusFile("jk-V1997-testV1997.mdb").string(), {});
    EXPECT_EQ(Format::Jet3, jet3.header().format);
    EXPECT_EQ(2048u, jet3.pageSize());
    EXPECT_EQ(1252, jet3.header().codePage);
    EXPECT_EQ(0x409u, jet3.header().sortOrder);
    EXPECT_EQ(118784u / 2048u, jet3.pageCount());

    PageFile jet4(corpusFile("mr-V2000-creation-date.mdb").string(), {});
    EXPECT_EQ(Format::Jet4, jet4.header().format);
    EXPECT_EQ(4096u, jet4.pageSize());
    EXPECT_EQ(0x409u, jet4.header().sortOrder & 0xFFFF);
    EXPECT_GT(jet4.header().creationDate, 36000.0);  // made after the year 1998
    EXPECT_FALSE(jet4.header().hasPassword());
}

struct PasswordCase {
    const char* file;
    const char* password;
    long error;  // 0: opens
};

class Passwords : public ::testing::TestWithParam<PasswordCase> {};

TEST_P(Passwords, OpenOrRefuse) {
    const auto& c = GetParam();
    REQUIRE_CORPUS(c.file);
    const std::string path = corpusFile(c.file).string();
    const std::string connect = std::string(";pwd=") + c.password;
    if (c.error == 0) {
        Database db = DBEngine::Default().OpenDatabase(path, false, true, connect);
        EXPECT_GT(db.TableDefs().Count(), 0);
        db.Close();
    } else {
        try {
            DBEngine::Default().OpenDatabase(path, false, true, connect);
            FAIL() << "opened with the wrong password";
        } catch (const JetError& e) {
            EXPECT_EQ(c.error, e.Number);
            EXPECT_EQ("Not a valid password.", e.Description);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, Passwords,
    ::testing::Values(PasswordCase{"pw-jet3-testV1997.mdb", "bluefinchtea", 0},
                      PasswordCase{"pw-jet3-testV1997.mdb", "BlueFinchTea", 3031},
                      PasswordCase{"pw-jet3-testV1997.mdb", "", 3031},
                      PasswordCase{"pw-jet4-creation-dateV2000.mdb", "bluefinchtea", 0},
                      PasswordCase{"pw-jet4-creation-dateV2000.mdb", "bluefinchte", 3031},
                      PasswordCase{"pw-jet4-test2V2003.mdb", "bluefinchtea", 0},
                      PasswordCase{"wrongpw-mr-V2000.mdb", "bluefinchtea", 3031},
                      PasswordCase{"wrongpw-mr-V2003.mdb", "bluefinchtea", 3031},
                      PasswordCase{"wrongpw-mr-V2003.mdb", "password", 0},
                      // No password stored: anything opens it.
                      PasswordCase{"jk-V1997-testV1997.mdb", "whatever", 0},
                      PasswordCase{"mr-V2003-no-password.mdb", "", 0}));

// A database with Jet's page encoding: every page after the first XORed with
// the RC4 stream of (key ^ page number). Made here from a plain corpus file.
TEST(EncodedPages, ReadTransparently) {
    REQUIRE_CORPUS("jk-V2000-test2V2000.mdb");
    vantrel::test::TempDir dir;
    std::ifstream in(corpusFile("jk-V2000-test2V2000.mdb"), std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), {}};
    const uint32_t key = 0x5A17C0DEu;
    // The key sits at 0x3E under the header's own RC4 mask.
    const uint8_t headerKey[4] = {0xC7, 0xDA, 0x39, 0x6B};
    std::vector<uint8_t> mask(128, 0);
    Rc4(headerKey, 4).apply(mask.data(), mask.size());
    for (int i = 0; i < 4; ++i) bytes[0x3E + size_t(i)] = char(uint8_t(key >> (8 * i)) ^ mask[0x3E - 0x18 + size_t(i)]);
    for (size_t page = 1; page < bytes.size() / 4096; ++page) {
        uint32_t k = key ^ uint32_t(page);
        uint8_t pageKey[4] = {uint8_t(k), uint8_t(k >> 8), uint8_t(k >> 16), uint8_t(k >> 24)};
        Rc4(pageKey, 4).apply(reinterpret_cast<uint8_t*>(bytes.data()) + page * 4096, 4096);
    }
    auto path = dir / "encoded.mdb";
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));

    EXPECT_EQ(key, PageFile(path.string(), {}).header().encodingKey);
    auto dump = [](const std::filesystem::path& p) {
        Database db = DBEngine::Default().OpenDatabase(p.string(), false, true);
        std::string out;
        Recordset rs = db.OpenRecordset("MSP_PROJECTS");
        for (const Field& fld : rs.Fields()) out += fld.Name() + "=" + (fld.Value().isNull() ? "-" : fld.Value().str()) + ";";
        return out;
    };
    EXPECT_EQ(dump(corpusFile("jk-V2000-test2V2000.mdb")), dump(path));

    // Changes are encoded on the way out.
    {
        Database db = DBEngine::Default().OpenDatabase(path.string(), false, false);
        db.Execute("update MSP_PROJECTS set  PROJ_PROP_KEYWORDS='' where isnull(PROJ_PROP_KEYWORDS)");
        EXPECT_EQ(1, db.RecordsAffected());
    }
    Database db = DBEngine::Default().OpenDatabase(path.string(), false, true);
    Recordset rs = db.OpenRecordset("MSP_PROJECTS");
    EXPECT_EQ("", rs.Fields().Item("PROJ_PROP_KEYWORDS").Value().str());
    EXPECT_FALSE(rs.Fields().Item("PROJ_PROP_KEYWORDS").Value().isNull());
    EXPECT_EQ("Project1", rs.Fields().Item("PROJ_PROP_TITLE").Value().str());
}
