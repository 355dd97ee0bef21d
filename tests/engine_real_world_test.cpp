// Lessons from databases nobody here made: the engine's own reserved words,
// fixed-length text, and a page cache that must never hand out old bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>

#include "built_db.h"
#include "commands.h"
#include "converter.h"
#include "index_key.h"
#include "sql_parser.h"
#include "sql_reserved.h"
#include "write_helpers.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

class Quiet : public MessageSink {
public:
    void Show(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

std::vector<std::string> textColumn(const std::filesystem::path& db, const std::string& table, const std::string& column) {
    std::vector<std::string> out;
    for (const Variant& v : columnValues(openWritable(db), table, column)) out.push_back(v.isNull() ? "<null>" : v.str());
    return out;
}

}  // namespace

namespace {

// The spellings of `word` a script may use: all lower case, capitalised, and
// the two alternating cases (every letter a-z is met in both cases).
std::vector<std::string> otherCases(std::string_view word) {
    std::string lower, capital, odd, even;
    for (size_t i = 0; i < word.size(); ++i) {
        const char up = word[i], low = char(std::tolower(static_cast<unsigned char>(up)));
        lower += low;
        capital += i == 0 ? up : low;
        odd += i % 2 ? up : low;
        even += i % 2 ? low : up;
    }
    return {lower, capital, odd, even};
}

}  // namespace

TEST(ReservedWords, AnyLetterCaseOfTheEnginesList) {
    for (const std::string_view w : jet::reservedWords()) {
        ASSERT_TRUE(std::all_of(w.begin(), w.end(), [](char c) { return !std::islower(static_cast<unsigned char>(c)); })) << w;
        for (const std::string& spelled : otherCases(w)) EXPECT_TRUE(jet::isReservedWord(spelled)) << spelled;
    }
    // A reserved word as a bare table name is a syntax error in any case.
    for (const char* name : {"zone", "Zone", "zONE", "size", "timeZone_hour", "year", "yesno"})
        EXPECT_EQ(3144, jetErrorOf([&] { jet::parseUpdate(std::string("update ") + name + " set a=''"); })) << name;
}

TEST(ReservedWords, TheSharedListInAnyLetterCaseAndNoOther) {
    const auto list = sharedDir() / "jet-sql-reserved-words.txt";
    if (!std::filesystem::exists(list)) GTEST_SKIP() << "skipped: " << list << " is absent (the shared folder is not beside the project)";
    std::ifstream in(list);
    size_t words = 0;
    for (std::string w; std::getline(in, w);) {
        if (w.empty()) continue;
        ++words;
        EXPECT_TRUE(jet::isReservedWord(w)) << w;
        for (const std::string& spelled : otherCases(w)) EXPECT_TRUE(jet::isReservedWord(spelled)) << spelled;
    }
    EXPECT_EQ(words, jet::reservedWordCount());
}

TEST(ReservedWords, WhatTheNullFillNamesBare) {
    for (const char* w : {"date", "Value", "NUMBER", "year", "Month", "user", "Order", "Table", "text"})
        EXPECT_TRUE(jet::isReservedWord(w)) << w;
    // The Access application's words are free in the engine's SQL.
    for (const char* w : {"Description", "Name", "Field", "Type", "End", "Leave", "Note", "Yes", "Form"})
        EXPECT_FALSE(jet::isReservedWord(w)) << w;
}

TEST(PageCache, ReadAheadNeverKeepsTheOldBytesOfAChangedPage) {
    TempDir dir;
    const auto db = buildDb(dir / "c.mdb", projectStatements());
    jet::PageFile::Options writable;
    writable.writable = true;
    jet::PageFile file(db.string(), writable);
    ASSERT_GT(file.pageCount(), 6u);
    const uint8_t before = (*file.page(5))[200];
    file.modify(5)[200] = uint8_t(before ^ 0xFF);
    // Two misses in a row make a scan: the second reads pages ahead, over the
    // changed one.
    file.page(3);
    file.page(4);
    EXPECT_EQ(uint8_t(before ^ 0xFF), (*file.page(5))[200]);
    file.commit();
    EXPECT_EQ(uint8_t(before ^ 0xFF), (*file.page(5))[200]) << "the cache kept the bytes read before the write";
    file.modify(5)[200] = before;  // leave the file as it was
    file.commit();
}

TEST(FixedLengthText, PaddedWithBlanksAsAccessKeepsIt) {
    TempDir dir;
    const auto db = buildDb(dir / "f.mdb", {
        "CREATE TABLE Parts (ID LONG, Code CHAR(5), Name TEXT(5))",
        "INSERT INTO Parts VALUES (1, 'ab', 'ab')",
        "INSERT INTO Parts (ID) VALUES (2)",
    });
    Database d = openWritable(db);
    Field code = d.TableDefs().Item("Parts").Fields().Item("Code");
    EXPECT_TRUE(code.Attributes() & dbFixedField);
    EXPECT_EQ(5, code.Size());
    EXPECT_FALSE(d.TableDefs().Item("Parts").Fields().Item("Name").Attributes() & dbFixedField);
    d.Execute("INSERT INTO Parts (ID, Code) VALUES (3, 'abcdef')");  // longer than the column: refused
    EXPECT_EQ(0, d.LastUpdate().affected);
    d.Execute("update Parts set  Code='' where isnull(Code)");
    d.Execute("update Parts set  Name='' where isnull(Name)");
    d.Close();
    EXPECT_EQ((std::vector<std::string>{"ab   ", "     "}), textColumn(db, "Parts", "Code"));
    EXPECT_EQ((std::vector<std::string>{"ab", ""}), textColumn(db, "Parts", "Name"));
    EXPECT_INDEXES_CONSISTENT(db);
}

TEST(FixedLengthText, AnIndexedFixedColumnKeepsItsIndexInStep) {
    TempDir dir;
    const auto db = buildDb(dir / "i.mdb", {
        "CREATE TABLE T (ID COUNTER PRIMARY KEY, Code CHAR(4))",
        "CREATE INDEX Code ON T (Code)",
        "INSERT INTO T (Code) VALUES ('b')",
        "INSERT INTO T (Code) VALUES (Null)",
        "INSERT INTO T (Code) VALUES ('a')",
    });
    Database d = openWritable(db);
    d.Execute("update T set  Code='' where isnull(Code)");
    d.Close();
    EXPECT_EQ((std::vector<std::string>{"b   ", "    ", "a   "}), textColumn(db, "T", "Code"));
    EXPECT_INDEXES_CONSISTENT(db);
}

// A real database with a fixed-length Text(20) column that holds only Nulls.
TEST(FixedLengthText, TheNullFillOfARealFileWritesBlanksAndTheScriptNoNul) {
    REQUIRE_CORPUS("pw-ex-kbfakt5.mdb");
    TempDir dir;
    const auto db = copyCorpus("pw-ex-kbfakt5.mdb", dir);
    Quiet sink;
    Converter c(sink);
    c.dbSrc = openWritable(db);
    c.MainSub(c.dbSrc);
    c.dbSrc.Close();
    // TEXT is a reserved word: the one column Jet skips too.
    EXPECT_EQ(std::vector<std::string>{"RECH2\u8868\u55AE\u7684 TEXT\u6B04\u4F4D  \u932F\u8AA4\u7565\u904E"}, sink.shown);
    const auto values = textColumn(db, "ARTSTAMM", "FzgTyp");
    ASSERT_EQ(1931u, values.size());
    for (const auto& v : values) ASSERT_EQ(std::string(20, ' '), v);
    EXPECT_INDEXES_CONSISTENT(db);

    c.ScriptPath = (dir / "s.tdb").string();
    Database r = DBEngine::Default().OpenDatabase(db.string(), false, true, ";pwd=bluefinchtea");
    TableDef t = r.TableDefs().Item("ARTSTAMM");
    c.WriteRecords(r, t);
    const std::string script = fileBytes(c.ScriptPath);
    EXPECT_EQ(std::string::npos, script.find('\0'));
    EXPECT_NE(std::string::npos, script.find("\"" + std::string(20, ' ') + "\""));
}

// Each statement of the null-fill sees what the ones before it wrote: rows
// that live behind forwarding pointers once came back unfilled.
TEST(NullFill, EveryStatementSeesTheRowsTheOneBeforeWrote) {
    REQUIRE_CORPUS("pw-ex-kbfakt5.mdb");
    TempDir dir;
    const auto db = copyCorpus("pw-ex-kbfakt5.mdb", dir);
    Database d = openWritable(db);
    d.Execute("update ARTSTAMM set  BESTAND=0 where isnull(BESTAND)");
    EXPECT_EQ(1745, d.RecordsAffected());
    d.Execute("update ARTSTAMM set  BESTAND=0 where isnull(BESTAND)");
    EXPECT_EQ(0, d.RecordsAffected());
    d.Close();
}

TEST(Handles, ANeverSetDatabaseIs3420NotACrash) {
    Database none;
    EXPECT_EQ(3420, jetErrorOf([&] { none.Execute("update T set  a=0 where isnull(a)"); }));
    EXPECT_EQ(3420, jetErrorOf([&] { none.TableDefs(); }));
    EXPECT_EQ(3420, jetErrorOf([&] { none.Name(); }));
    EXPECT_FALSE(none.IsOpen());
}

TEST(InsertValues, ControlCharactersJoinedWithChr) {
    auto st = jet::parseStatement("INSERT INTO T (a, b) VALUES ('AA' & Chr(0) & 'A''A', Chr(9) & ChrW(8364))");
    auto& ins = std::get<jet::InsertStatement>(st);
    ASSERT_EQ(2u, ins.values.size());
    EXPECT_EQ(std::string("AA\0A'A", 6), ins.values[0].str());
    EXPECT_EQ("\t\u20AC", ins.values[1].str());
    EXPECT_NE(0, jetErrorOf([] { jet::parseStatement("INSERT INTO T VALUES (Chr(256))"); }));
    EXPECT_NE(0, jetErrorOf([] { jet::parseStatement("INSERT INTO T VALUES ('a' &)"); }));
    EXPECT_NE(0, jetErrorOf([] { jet::parseStatement("INSERT INTO T VALUES (1 & 'a')"); }));
}

TEST(InsertValues, TextWithEveryControlCharacterRoundTripsThroughSql) {
    TempDir dir;
    std::string all;
    for (int c = 0; c < 0x20; ++c) all += char(c);
    all += "x\x7F'y";
    std::string literal;
    for (char c : all) literal += (literal.empty() ? "" : " & ") + std::string("Chr(") + std::to_string(int(static_cast<unsigned char>(c))) + ")";
    const auto orig = buildDb(dir / "o.mdb", {"CREATE TABLE T (ID LONG, Note MEMO, Code TEXT(50))",
                                              "INSERT INTO T VALUES (1, " + literal + ", 'a' & Chr(13) & Chr(10) & 'b')"});
    ASSERT_EQ(std::vector<std::string>{all}, textColumn(orig, "T", "Note"));

    const auto sqlPath = dir / "o.sql";
    std::FILE* out = std::fopen(sqlPath.string().c_str(), "wb");
    ASSERT_EQ(0, runSql(orig.string(), kFixedPassword, out));
    std::fclose(out);
    EXPECT_EQ(std::string::npos, fileBytes(sqlPath).find('\0'));
    ASSERT_EQ(0, runCreate((dir / "c.mdb").string(), kFixedPassword, sqlPath.string()));
    EXPECT_EQ(std::vector<std::string>{all}, textColumn(dir / "c.mdb", "T", "Note"));
    EXPECT_EQ(std::vector<std::string>{"a\r\nb"}, textColumn(dir / "c.mdb", "T", "Code"));
}

// Every path that lists tables applies the same user-table rule.
TEST(UserTables, NamesLikeSystemTablesThroughEveryPath) {
    TempDir dir;
    const auto db = buildDb(dir / "u.mdb", systemLookingStatements());
    const std::vector<std::string> users = kUserTablesOfSystemLooking;

    testing::internal::CaptureStdout();
    ASSERT_EQ(0, runTables(db.string(), kFixedPassword));
    EXPECT_EQ("MSY\nMy_SYS\nOrders\n", testing::internal::GetCapturedStdout());

    const auto dumpPath = dir / "u.json";
    std::FILE* out = std::fopen(dumpPath.string().c_str(), "wb");
    ASSERT_EQ(0, runDump(db.string(), kFixedPassword, out));
    std::fclose(out);
    const std::string dump = fileBytes(dumpPath);
    for (const char* t : {"MSysLocal", "msysNotes", "Msys"}) EXPECT_EQ(std::string::npos, dump.find(std::string("\"") + t + "\"")) << t;
    for (const auto& t : users) EXPECT_NE(std::string::npos, dump.find("\"" + t + "\"")) << t;

    ASSERT_EQ(0, runScript(db.string(), kFixedPassword, (dir / "u.tdb").string(), {}));
    EXPECT_EQ("INSERT INTO [MSY] ([ID]) values (1)\r\nINSERT INTO [My_SYS] ([ID]) values (1)\r\n"
              "INSERT INTO [Orders] ([ID]) values (1)\r\nEnd Of File\r\n",
              fileBytes(dir / "u.tdb"));

    Quiet sink;
    Converter c(sink);
    c.dbSrc = openWritable(db);
    c.MainSub(c.dbSrc);
    c.dbSrc.Close();
    for (const char* t : {"MSysLocal", "msysNotes", "Msys"}) EXPECT_EQ(std::vector<std::string>{"<null>"}, textColumn(db, t, "Note")) << t;
    for (const auto& t : users) EXPECT_EQ(std::vector<std::string>{""}, textColumn(db, t, "Note")) << t;
}

TEST(IndexKeys, AGuidKeyIsItsTextOrderInTwoRuns) {
    // Keys Access wrote for one row of a real file (Jackcess's index code
    // test database, Table13 and Table13_desc).
    const uint8_t stored[16] = {0x8F, 0xA2, 0x5F, 0x07, 0xA5, 0x71, 0x32, 0x40, 0xB2, 0x73, 0x54, 0x19, 0xF4, 0xB0, 0x7E, 0x59};
    jet::ColumnDef col;
    col.type = jet::kGuid;
    std::vector<uint8_t> asc, desc;
    ASSERT_TRUE(jet::encodeSegment({&col, true}, false, Variant::guid(stored), asc));
    ASSERT_TRUE(jet::encodeSegment({&col, false}, false, Variant::guid(stored), desc));
    EXPECT_EQ((std::vector<uint8_t>{0x7F, 0x07, 0x5F, 0xA2, 0x8F, 0x71, 0xA5, 0x40, 0x32, 0x09,
                                    0xB2, 0x73, 0x54, 0x19, 0xF4, 0xB0, 0x7E, 0x59, 0x08}), asc);
    const uint8_t stored2[16] = {0x92, 0x10, 0x30, 0xF6, 0x8D, 0x83, 0x60, 0x4F, 0xBF, 0x80, 0xD4, 0x82, 0x11, 0x03, 0x01, 0xAD};
    desc.clear();
    ASSERT_TRUE(jet::encodeSegment({&col, false}, false, Variant::guid(stored2), desc));
    EXPECT_EQ((std::vector<uint8_t>{0x80, 0x09, 0xCF, 0xEF, 0x6D, 0x7C, 0x72, 0xB0, 0x9F, 0x09,
                                    0x40, 0x7F, 0x2B, 0x7D, 0xEE, 0xFC, 0xFE, 0x52, 0xF7}), desc);
    EXPECT_EQ(asc.size(), jet::segmentLength({&col, true}, false, jet::Bytes(asc.data(), asc.size()), 0));
    EXPECT_EQ(desc.size(), jet::segmentLength({&col, false}, false, jet::Bytes(desc.data(), desc.size()), 0));
}

TEST(IndexKeys, ADecimalKeyIsItsSignThenItsMagnitude) {
    // Keys Access wrote for Decimal(28,10) values of a real file (Jackcess's
    // index code test database, Table7 and Table7_desc).
    jet::ColumnDef col;
    col.type = jet::kNumeric;
    col.precision = 28;
    col.scale = 10;
    auto key = [&](uint64_t magnitude, bool negative, bool ascending) {
        std::vector<uint8_t> out;
        EXPECT_TRUE(jet::encodeSegment({&col, ascending}, false, Variant::decimal(magnitude, negative, 10), out));
        return out;
    };
    auto bytes = [](uint8_t flag, uint8_t sign, uint8_t fill, std::vector<uint8_t> tail) {
        std::vector<uint8_t> out{flag, sign};
        out.insert(out.end(), 16 - tail.size(), fill);
        out.insert(out.end(), tail.begin(), tail.end());
        return out;
    };
    // 3245.0000000000 and -0.0000354560, up and down.
    EXPECT_EQ(bytes(0x7F, 0xFF, 0x00, {0x1D, 0x83, 0x5A, 0xB9, 0x14, 0x00}), key(32450000000000ull, false, true));
    EXPECT_EQ(bytes(0x7F, 0x00, 0xFF, {0xFA, 0x96, 0xFF}), key(354560, true, true));
    EXPECT_EQ(bytes(0x80, 0x00, 0x00, {0x05, 0x69, 0x00}), key(354560, true, false));
    EXPECT_EQ(bytes(0x80, 0xFF, 0xFF, {0xFA, 0xBA, 0xC7}), key(345400, false, false));
    EXPECT_EQ(bytes(0x7F, 0xFF, 0x00, {}), key(0, true, true));  // no negative zero
    // A value at another scale than the column's has no key here.
    std::vector<uint8_t> out;
    EXPECT_FALSE(jet::encodeSegment({&col, true}, false, Variant::decimal(15, false, 1), out));
}
