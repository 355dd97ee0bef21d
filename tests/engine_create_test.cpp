// Making databases: CreateDatabase, CREATE TABLE / INDEX, INSERT, DELETE,
// transactions, and the write path's safety on new files.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <set>

#include "built_db.h"
#include "fault_env.h"
#include "index_key.h"
#include "journal.h"
#include "property_blob.h"
#include "row_layout.h"
#include "table_scan.h"
#include "value_decode.h"
#include "sql_parser.h"
#include "sql_split.h"
#include "text_codec.h"
#include "text_key.h"
#include "text_key_2010.h"
#include "write_helpers.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

std::vector<uint8_t> textKey(const std::string& utf8, bool ascending = true) {
    std::vector<uint8_t> out;
    if (!jet::encodeGeneralText(jet::utf8ToUtf16(utf8), ascending, out)) return {};
    return out;
}

std::string texts(const std::vector<Variant>& values) {
    std::string out;
    for (const auto& v : values) out += (v.isNull() ? std::string("<null>") : v.type() == VarType::Text ? v.str() : std::to_string(v.asDouble())) + "|";
    return out;
}

}  // namespace

TEST(TextKeys, GeneralSortOrderOfLatinText) {
    // Case-blind letters, then the accents by position (ß counts as two letters),
    // apostrophes and hyphens last with their places; trailing blanks ignored.
    EXPECT_EQ(textKey("abc"), textKey("ABC  "));
    EXPECT_EQ((std::vector<uint8_t>{0x4A, 0x4C, 0x4D, 0x01, 0x00}), textKey("abc"));
    EXPECT_EQ((std::vector<uint8_t>{0x51, 0x01, 0x0E, 0x00}), textKey("é"));
    EXPECT_EQ((std::vector<uint8_t>{0x4A, 0x51, 0x01, 0x02, 0x0E, 0x00}), textKey("aé"));
    EXPECT_EQ((std::vector<uint8_t>{0x4A, 0x4C, 0x01, 0x01, 0x01, 0x01, 0x80, 0x0B, 0x06, 0x80, 0x00}), textKey("a'b"));
    // Descending: every byte turned, the terminator too, then a plain one.
    std::vector<uint8_t> desc = textKey("abc", false);
    ASSERT_EQ(6u, desc.size());
    EXPECT_EQ((std::vector<uint8_t>{0xB5, 0xB3, 0xB2, 0xFE, 0xFF, 0x00}), desc);
    // Keys sort as the text does in Access.
    EXPECT_LT(textKey("apple"), textKey("Banana"));
    EXPECT_LT(textKey("Muller"), textKey("Müller"));
    EXPECT_LT(textKey("Müller"), textKey("Mullers"));
    // No codes past U+00FF.
    EXPECT_TRUE(textKey("東京").empty());
    EXPECT_FALSE(textKey("a^é").empty());
}

TEST(TextKeys, ATwoCodeSymbolTakesOnePlaceBeforeAccentsAndMarks) {
    // The key Access wrote for this text in a real file (Jackcess's index
    // code test database, Table1): the no-break space sorts as 08 02 and
    // still counts one place in the accent list and before the hyphens.
    EXPECT_EQ((std::vector<uint8_t>{0x08, 0x02, 0x4A, 0x4A, 0x08, 0x02, 0x01, 0x02, 0x0E, 0x0E, 0x01, 0x01, 0x01,
                                    0x80, 0x07, 0x06, 0x82, 0x80, 0x0F, 0x06, 0x82, 0x80, 0x0F, 0x06, 0x82,
                                    0x80, 0x17, 0x06, 0x82, 0x00}),
              textKey("-\u00A0\u00C1--\u00C1\u00A0-"));
    EXPECT_EQ((std::vector<uint8_t>{0x4A, 0x2B, 0x02, 0x51, 0x01, 0x02, 0x02, 0x0E, 0x00}), textKey("a^\u00E9"));
}

TEST(TextKeys, MatchTheKeysAccessWroteInNorthwind) {
    REQUIRE_CORPUS("nw-lordkarnak.mdb");
    // Every text key of the real files is checked by the index walk; this one
    // has an accent after a ß.
    // The accent of the ä sits after 26 placeholders: ß counts as two letters.
    const std::vector<uint8_t> key = textKey("Plutzer Lebensmittelgroßmärkte AG");
    const auto end = std::find(key.begin(), key.end(), 0x01);
    ASSERT_NE(key.end(), end);
    EXPECT_EQ(34, std::distance(key.begin(), end));  // 33 letters, and ß gives two codes
    EXPECT_EQ(26, std::count(end + 1, key.end(), 0x02));
    EXPECT_EQ(0x13, key[key.size() - 2]);
    EXPECT_TRUE(indexProblems(corpusFile("nw-lordkarnak.mdb")).empty());
}

namespace {

// The index entry Access wrote for one text column (Jet4, General sort,
// ascending) holding U+0001, U+0002, ... U+00FF in order: the segment's flag
// byte and then the key. Kept in ../shared/facts too.
const char* const kEveryLatin1KeyHex =
    "7f0803080408050806080707090a0c0e10121416182c1a1c1e36383a3c3e404244464820222e303224264a4c4d4f51535557595b5c5e6062"
    "646668696b6d6f717375767827292a2b022b032b074a4c4d4f51535557595b5c5e6062646668696b6d6f71737576782b092b0b2b0d2b0f08"
    "022b1034a634a734a834a92b1134aa2b1234ab4a330534ac34ad2b1334ae33043a3c2b1434af34b034b12b153864330737123716371a2b16"
    "4a4a4a4a4a4a4a514d51515151595959594f6264646464643309646f6f6f6f766d576b6b4a4a4a4a4a4a4a514d51515151595959594f6264"
    "64646464330a646f6f6f6f766d57760102020202020202020202020202020202020202020202020202020202020202020202020202020202"
    "0202020202020202020202020202020202020202020202020202020202020202020202020202020202020202020202020202020202020202"
    "0202020202020202020202020302020202020202020202020202020302020202020f0e1219131a021c0f0e12130f0e121368190f0e121913"
    "02210f0e12130e02020f0e1219131a021c0f0e12130f0e121368190f0e12191302210f0e12130e0213010101800706038007060480070605"
    "800706068007060780070608800706098007060a801b060b801b060c801b060d801b060e801b060f801b0610801b0611801b0612801b0613"
    "801b0614801b0615801b0616801b0617801b0618801b0619801b061a801b061b801b061c80370680804b0682818f061d818f061e818f061f"
    "818f0620818f0621818f0622818f0623818f0624818f0625818f0626818f0627818f0628818f0629818f062a818f062b818f062c818f062d"
    "818f062e818f062f818f0630818f0631818f0632818f0633818f0634818f0635818f0636818f0637818f0638818f0639818f063a818f063b"
    "818f063c818f063d81c3068300";

std::vector<uint8_t> fromHex(const std::string& hex) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::vector<uint8_t> everyLatin1Key() {
    std::u16string text;
    for (char16_t c = 1; c <= 0xFF; ++c) text += c;
    std::vector<uint8_t> entry{0x7F};
    EXPECT_TRUE(jet::encodeGeneralText(text, true, entry));
    return entry;
}

}  // namespace

TEST(TextKeys, EveryCharacterUpToU00FFAsAccessWroteIt) {
    // Æ, æ, Þ and þ sort as two letters but take one place in the accent
    // list; ß before an accented letter leaves that letter its second place.
    const std::vector<uint8_t> access = fromHex(kEveryLatin1KeyHex);
    ASSERT_EQ(685u, access.size());
    EXPECT_EQ(access, everyLatin1Key());
}

TEST(TextKeys, TheSharedFactOfEveryCharacterUpToU00FF) {
    const auto facts = sharedDir() / "facts" / "jet4-general-key-u0001-u00ff.txt";
    if (!std::filesystem::exists(facts)) GTEST_SKIP() << "skipped: " << facts << " is absent (the shared folder is not beside the project)";
    std::ifstream in(facts);
    std::string hex;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#') hex += line;
    EXPECT_EQ(kEveryLatin1KeyHex, hex);
    EXPECT_EQ(fromHex(hex), everyLatin1Key());
}

TEST(TextKeys, AsciiBytesGiveTheKeysTheirUtf16Gives) {
    // Every ASCII character, control characters and marks included, at every
    // place, both sort versions and directions: the byte path must agree.
    std::mt19937 rng(7);
    for (int i = 0; i < 3000; ++i) {
        std::string text(rng() % 12, ' ');
        for (char& c : text) c = char(rng() % 0x80);
        if (i % 5 == 0) text += "  ";  // trailing blanks
        const std::u16string wide = jet::utf8ToUtf16(text);
        for (const bool ascending : {true, false}) {
            std::vector<uint8_t> a, b;
            EXPECT_EQ(jet::encodeGeneralText(std::string_view(text), ascending, a), jet::encodeGeneralText(wide, ascending, b));
            EXPECT_EQ(a, b) << text;
            a.clear();
            b.clear();
            EXPECT_EQ(jet::encodeGeneral2010Text(std::string_view(text), ascending, a), jet::encodeGeneral2010Text(wide, ascending, b));
            EXPECT_EQ(a, b) << text;
        }
    }
}

TEST(CreateDatabase, NewFileHasTheSystemTablesAndOpensAgain) {
    TempDir dir;
    auto path = dir / "new.mdb";
    Database db = DBEngine::Default().CreateDatabase(path.string());
    EXPECT_EQ("4.0", db.Version());
    std::set<std::string> names;
    for (const auto& t : db.TableDefs()) names.insert(t.Name());
    EXPECT_EQ((std::set<std::string>{"MSysACEs", "MSysObjects", "MSysQueries", "MSysRelationships"}), names);
    db.Close();
    EXPECT_INDEXES_CONSISTENT(path);
    EXPECT_EQ(3204, jetErrorOf([&] { DBEngine::Default().CreateDatabase(path.string()); }));
    EXPECT_EQ(3251, jetErrorOf([&] { DBEngine::Default().CreateDatabase((dir / "old.mdb").string(), dbLangGeneral, dbVersion30); }));
    EXPECT_FALSE(std::filesystem::exists(dir / "old.mdb"));
}

TEST(CreateDatabase, PasswordIsNeededToOpen) {
    TempDir dir;
    auto path = buildDb(dir / "pw.mdb", {"CREATE TABLE T (A LONG)"}, "s3cret");
    EXPECT_EQ(3031, jetErrorOf([&] { DBEngine::Default().OpenDatabase(path.string(), false, true, ";pwd=wrong"); }));
    EXPECT_NO_THROW(DBEngine::Default().OpenDatabase(path.string(), false, true, ";pwd=s3cret").Close());
    EXPECT_EQ(3031, jetErrorOf([&] { DBEngine::Default().CreateDatabase((dir / "long.mdb").string(), ";pwd=" + std::string(21, 'x')); }));
}

TEST(CreateTable, EveryTypeNameAndLiteralFormRoundTrips) {
    TempDir dir;
    auto path = buildDb(dir / "types.mdb",
                        {"CREATE TABLE [All Types] (b BIT, y BYTE, s SHORT, l LONG, c COUNTER, f SINGLE, d DOUBLE, m CURRENCY, "
                         "t DATETIME, x TEXT(10), [memo] MEMO, ole LONGBINARY, bin BINARY(4), g GUID, [dec] DECIMAL(10,3))",
                         "INSERT INTO [All Types] (b, y, s, l, f, d, m, t, x, [memo], ole, bin, g, [dec]) VALUES (True, 255, -32768, "
                         "2147483647, 1.5, -2.25e-300, 922337203685477.5807, #2001-02-03 04:05:06#, 'it''s', 'memo', 0x00FF10, 0xCAFE, "
                         "'{6B29FC40-CA47-1067-B31D-00DD010662DA}', 1234567.891)",
                         "INSERT INTO [All Types] (x) VALUES (Null)"});
    Database db = openWritable(path);
    Recordset rs = db.OpenRecordset("All Types");
    auto f = rs.Fields();
    EXPECT_TRUE(f.Item("b").Value().boolValue());
    EXPECT_EQ(255, f.Item("y").Value().asInt());
    EXPECT_EQ(-32768, f.Item("s").Value().asInt());
    EXPECT_EQ(2147483647, f.Item("l").Value().asInt());
    EXPECT_EQ(1, f.Item("c").Value().asInt());
    EXPECT_EQ(1.5, f.Item("f").Value().asDouble());
    EXPECT_EQ(-2.25e-300, f.Item("d").Value().asDouble());
    EXPECT_EQ("922337203685477.5807", f.Item("m").Value().currencyText(4));
    EXPECT_EQ("it's", f.Item("x").Value().str());
    EXPECT_EQ(std::string("\x00\xFF\x10", 3), f.Item("ole").Value().str());
    EXPECT_EQ("\xCA\xFE", f.Item("bin").Value().str());
    EXPECT_EQ("{6B29FC40-CA47-1067-B31D-00DD010662DA}", f.Item("g").Value().guidText());
    EXPECT_EQ("1234567.891", f.Item("dec").Value().decimalText());
    DateParts p = oleDateParts(f.Item("t").Value().asDouble());
    EXPECT_EQ((std::vector<int>{2001, 2, 3, 4, 5, 6}), (std::vector<int>{p.year, p.month, p.day, p.hour, p.minute, p.second}));
    rs.MoveNext();
    EXPECT_EQ(2, f.Item("c").Value().asInt());  // the counter counts on
    EXPECT_FALSE(f.Item("b").Value().boolValue());  // Yes/No not given is No
    EXPECT_TRUE(f.Item("x").Value().isNull());
    db.Close();
    EXPECT_INDEXES_CONSISTENT(path);
}

TEST(CreateTable, WrongDefinitionsAreRefusedWithJetsNumbers) {
    TempDir dir;
    auto path = buildDb(dir / "t.mdb", {"CREATE TABLE T (A LONG PRIMARY KEY, B TEXT(10))"});
    Database db = openWritable(path);
    EXPECT_EQ(3010, jetErrorOf([&] { db.Execute("CREATE TABLE t (X LONG)"); }));
    EXPECT_EQ(3191, jetErrorOf([&] { db.Execute("CREATE TABLE U (X LONG, x TEXT)"); }));
    EXPECT_EQ(3259, jetErrorOf([&] { db.Execute("CREATE TABLE U (X WIDGET)"); }));
    EXPECT_EQ(3292, jetErrorOf([&] { db.Execute("CREATE TABLE U (X TEXT(256))"); }));
    EXPECT_EQ(3290, jetErrorOf([&] { db.Execute("CREATE TABLE U (X LONG"); }));
    EXPECT_EQ(3125, jetErrorOf([&] { db.Execute("CREATE TABLE [a.b] (X LONG)"); }));
    EXPECT_EQ(3125, jetErrorOf([&] { db.Execute("CREATE TABLE U ([ lead] LONG)"); }));
    EXPECT_EQ(3125, jetErrorOf([&] { db.Execute("CREATE INDEX [" + std::string(65, 'i') + "] ON T (B)"); }));
    EXPECT_EQ(3283, jetErrorOf([&] { db.Execute("CREATE INDEX P2 ON T (B) WITH PRIMARY"); }));
    EXPECT_EQ(3375, jetErrorOf([&] { db.Execute("CREATE INDEX PrimaryKey ON T (B)"); }));
    EXPECT_EQ(3078, jetErrorOf([&] { db.Execute("CREATE INDEX I ON Nowhere (B)"); }));
    EXPECT_EQ(3264, jetErrorOf([&] { db.Execute("CREATE INDEX I ON T (Nothing)"); }));
    std::set<std::string> names;
    for (const auto& t : db.TableDefs()) names.insert(t.Name());
    EXPECT_EQ(0u, names.count("U"));  // a failed statement leaves no table behind
    db.Close();
    EXPECT_INDEXES_CONSISTENT(path);
}

TEST(Insert, RowsJetRefusesAreCountedNotWritten) {
    TempDir dir;
    auto path = buildDb(dir / "shop.mdb", shopStatements());
    Database db = openWritable(path);
    db.Execute("INSERT INTO Customers (ID, [Name], Phone) VALUES ('ALFKI', 'Again', '1')");
    EXPECT_EQ(0, db.RecordsAffected());
    EXPECT_EQ(1, db.LastUpdate().refused.at("unique index"));
    db.Execute("INSERT INTO Customers (ID, [Name], Phone) VALUES ('NEW1', 'Copy', '030-0074321')");
    EXPECT_EQ(1, db.LastUpdate().refused.at("unique index"));  // Phone is unique too
    db.Execute("INSERT INTO Customers (ID) VALUES ('NONAM')");
    EXPECT_EQ(1, db.LastUpdate().refused.at("required"));
    db.Execute("INSERT INTO Customers (ID, [Name]) VALUES ('TOOLONG', 'x')");
    EXPECT_EQ(1, db.LastUpdate().refused.at("value too long"));
    db.Execute("INSERT INTO Orders (Quantity) VALUES (40000)");
    EXPECT_EQ(1, db.LastUpdate().refused.at("value out of range"));
    db.Execute("INSERT INTO Orders (Quantity) VALUES ('many')");
    EXPECT_EQ(1, db.LastUpdate().refused.at("type does not convert"));
    // Several Nulls in a unique index are fine.
    db.Execute("INSERT INTO Customers (ID, [Name]) VALUES ('NULL2', 'Second without phone')");
    EXPECT_EQ(1, db.RecordsAffected());
    EXPECT_EQ(3127, jetErrorOf([&] { db.Execute("INSERT INTO Orders (Nope) VALUES (1)"); }));
    EXPECT_EQ(3346, jetErrorOf([&] { db.Execute("INSERT INTO Orders (Amount) VALUES (1, 2)"); }));
    EXPECT_EQ(3134, jetErrorOf([&] { db.Execute("INSERT INTO Orders VALUES"); }));
    EXPECT_EQ(3251, jetErrorOf([&] { db.Execute("INSERT INTO Customers (ID, [Name], City) VALUES ('TOKYO', 'x', '東京')"); }));
    EXPECT_EQ(3027, jetErrorOf([&] { db.Execute("INSERT INTO MSysObjects (Id) VALUES (1)"); }));
    EXPECT_EQ(5u, columnValues(db, "Customers", "ID").size());
    db.Close();
    EXPECT_INDEXES_CONSISTENT(path);
}

TEST(Insert, CounterCountsOnFromTheHighestValueGiven) {
    TempDir dir;
    auto path = buildDb(dir / "c.mdb", {"CREATE TABLE T (ID COUNTER PRIMARY KEY, V TEXT(5))", "INSERT INTO T (V) VALUES ('a')",
                                        "INSERT INTO T (ID, V) VALUES (10, 'b')", "INSERT INTO T (V) VALUES ('c')"});
    Database db = openWritable(path);
    EXPECT_EQ("1.000000|10.000000|11.000000|", texts(columnValues(db, "T", "ID")));
    db.Execute("INSERT INTO T (ID, V) VALUES (10, 'dup')");
    EXPECT_EQ(1, db.LastUpdate().refused.at("unique index"));
    db.Close();
    // The next number survives closing the file.
    Database again = openWritable(path);
    again.Execute("INSERT INTO T (V) VALUES ('d')");
    EXPECT_EQ("1.000000|10.000000|11.000000|12.000000|", texts(columnValues(again, "T", "ID")));
}

TEST(Insert, LongValuesOfEverySizeReadBack) {
    TempDir dir;
    auto path = buildDb(dir / "lv.mdb", {"CREATE TABLE T (ID LONG, M MEMO, O LONGBINARY)"});
    Database db = openWritable(path);
    std::vector<size_t> sizes = {0, 1, 600, 2000, 4000, 9000, 70000};
    std::string hex;
    for (size_t i = 0; i < sizes.size(); ++i) {
        std::string text(sizes[i], 'a' + char(i));
        std::string bytes;
        for (size_t k = 0; k < sizes[i]; ++k) bytes += "0123456789ABCDEF"[(k * 7 + i) % 16];
        if (bytes.size() % 2) bytes += '0';
        db.Execute("INSERT INTO T VALUES (" + std::to_string(i) + ", '" + text + "', " + (bytes.empty() ? "Null" : "0x" + bytes) + ")");
        ASSERT_EQ(1, db.RecordsAffected()) << sizes[i];
    }
    auto memos = columnValues(db, "T", "M");
    auto oles = columnValues(db, "T", "O");
    for (size_t i = 0; i < sizes.size(); ++i) {
        EXPECT_EQ(std::string(sizes[i], 'a' + char(i)), memos[i].str()) << sizes[i];
        EXPECT_EQ((sizes[i] + 1) / 2, oles[i].isNull() ? 0 : oles[i].str().size()) << sizes[i];
    }
    db.Close();
}

TEST(Delete, RowsGoFromTheTableAndEveryIndex) {
    TempDir dir;
    auto path = buildDb(dir / "shop.mdb", shopStatements());
    Database db = openWritable(path);
    db.Execute("DELETE FROM Orders WHERE CustomerID = 'ALFKI'");
    EXPECT_EQ(2, db.RecordsAffected());
    EXPECT_EQ("QUICK|<null>|", texts(columnValues(db, "Orders", "CustomerID")));
    db.Execute("DELETE FROM Customers WHERE City IS NULL OR Phone IS NOT NULL");
    EXPECT_EQ(3, db.RecordsAffected());
    EXPECT_EQ("DRACD|", texts(columnValues(db, "Customers", "ID")));
    // A key that was deleted may come back.
    db.Execute("INSERT INTO Customers (ID, [Name], Phone) VALUES ('ALFKI', 'Back', '030-0074321')");
    EXPECT_EQ(1, db.RecordsAffected());
    EXPECT_EQ(3061, jetErrorOf([&] { db.Execute("DELETE FROM Orders WHERE Nope = 1"); }));
    db.Execute("DELETE * FROM Orders");
    EXPECT_EQ(2, db.RecordsAffected());
    EXPECT_EQ(0, db.TableDefs().Item("Orders").RecordCount());
    db.Close();
    EXPECT_INDEXES_CONSISTENT(path);
}

TEST(CreateIndex, BuiltFromTheRowsOrRefused) {
    TempDir dir;
    auto path = buildDb(dir / "shop.mdb", shopStatements());
    Database db = openWritable(path);
    db.Execute("CREATE INDEX NameCity ON Customers ([Name], City DESC)");
    db.Execute("CREATE UNIQUE INDEX Amount ON Orders (Amount) WITH IGNORE NULL");
    EXPECT_EQ(3022, jetErrorOf([&] { db.Execute("CREATE UNIQUE INDEX Cust ON Orders (CustomerID)"); }));
    db.Execute("CREATE TABLE NoKey (A LONG)");
    db.Execute("INSERT INTO NoKey VALUES (Null)");
    EXPECT_EQ(3058, jetErrorOf([&] { db.Execute("CREATE INDEX P ON NoKey (A) WITH PRIMARY"); }));
    EXPECT_EQ(3283, jetErrorOf([&] { db.Execute("CREATE INDEX Q ON Orders (Quantity) WITH PRIMARY"); }));
    auto idx = db.TableDefs().Item("Customers").Indexes();
    EXPECT_EQ(4, idx.Count());
    EXPECT_EQ(dbDescending, idx.Item("NameCity").Fields()[1].Attributes());
    db.Execute("INSERT INTO Orders (Amount) VALUES (99.5)");
    EXPECT_EQ(1, db.LastUpdate().refused.at("unique index"));
    db.Close();
    EXPECT_INDEXES_CONSISTENT(path);
}

TEST(Transactions, RollbackLeavesTheFileAsItWas) {
    TempDir dir;
    auto path = buildDb(dir / "shop.mdb", shopStatements());
    const std::string before = fileBytes(path);
    Database db = openWritable(path);
    db.BeginTrans();
    db.Execute("INSERT INTO Orders (Amount) VALUES (5)");
    db.Execute("CREATE TABLE Extra (A LONG)");
    db.Execute("DELETE FROM Customers WHERE ID = 'QUICK'");
    db.Execute("UPDATE Orders SET Quantity = 0 WHERE Quantity IS NULL");
    EXPECT_EQ(5u, columnValues(db, "Orders", "Amount").size());
    db.Rollback();
    EXPECT_EQ(4u, columnValues(db, "Orders", "Amount").size());
    EXPECT_EQ(3078, jetErrorOf([&] { db.Execute("INSERT INTO Extra VALUES (1)"); }));
    EXPECT_EQ(3034, jetErrorOf([&] { db.CommitTrans(); }));
    db.Close();
    EXPECT_EQ(before, fileBytes(path));
    // Committed, everything lands at once.
    Database db2 = openWritable(path);
    db2.BeginTrans();
    for (int i = 0; i < 500; ++i) db2.Execute("INSERT INTO Orders (CustomerID, Amount) VALUES ('BULK', " + std::to_string(i) + ")");
    db2.Execute("CREATE INDEX Amount ON Orders (Amount)");
    db2.CommitTrans();
    db2.Close();
    EXPECT_INDEXES_CONSISTENT(path);
    Database db3 = openWritable(path);
    EXPECT_EQ(504, db3.TableDefs().Item("Orders").RecordCount());
}

TEST(Transactions, CrashAtEveryWriteOfACommitLeavesBeforeOrAfter) {
    TempDir dir;
    auto base = buildDb(dir / "base.mdb", shopStatements());
    const std::string before = fileBytes(base);
    auto work = [](const std::filesystem::path& p, const DBEngine& engine) {
        Database db = openWritable(p, engine);
        db.BeginTrans();
        for (int i = 0; i < 300; ++i)
            db.Execute("INSERT INTO Customers (ID, [Name], City, Notes) VALUES ('C" + std::to_string(i) + "', 'Name " + std::to_string(i) +
                       "', 'City', '" + std::string(size_t(i) * 7, 'n') + "')");
        db.Execute("DELETE FROM Orders WHERE Amount > 50");
        db.CommitTrans();
        db.Close();
    };
    auto ref = dir / "ref.mdb";
    std::filesystem::copy_file(base, ref);
    auto counting = std::make_shared<FaultEnv>();
    DBEngine engine;
    engine.SetEnv(counting);
    work(ref, engine);
    const std::string after = fileBytes(ref);
    const int calls = counting->writesAndSyncs();
    ASSERT_GT(calls, 3);
    int recovered = 0;
    // The power goes at each write and sync of the commit; what the disk kept
    // (unsynced writes dropped, or torn sector by sector) is the state before
    // or after the transaction.
    for (int k = 1; k <= calls; ++k) {
        for (bool torn : {false, true}) {
            auto path = dir / "crash.mdb";
            std::filesystem::remove(path);
            std::filesystem::remove(jet::Journal::pathFor(platform::Env::system().resolve(path.string())));
            std::filesystem::copy_file(base, path);
            auto env = std::make_shared<FaultEnv>();
            env->crashAt = k;
            DBEngine dying;
            dying.SetEnv(env);
            EXPECT_NE(0, jetErrorOf([&] { work(path, dying); })) << "k=" << k;
            env->powerLoss(torn, uint32_t(k));
            DBEngine::Default().OpenDatabase(path.string(), false, false, ";pwd=bluefinchtea").Close();
            const std::string now = fileBytes(path);
            EXPECT_TRUE(now == before || now == after) << "power lost at call " << k << (torn ? " (torn)" : "") << " left a mix";
            EXPECT_INDEXES_CONSISTENT(path);
            ++recovered;
        }
    }
    std::printf("%d power losses at %d calls, all recovered\n", recovered, calls);
}

TEST(Transactions, AnIoErrorAtAnyWriteUndoesTheCommit) {
    TempDir dir;
    auto base = buildDb(dir / "base.mdb", shopStatements());
    const std::string before = fileBytes(base);
    int writes = 0;
    {
        auto p = dir / "count.mdb";
        std::filesystem::copy_file(base, p);
        DBEngine counting;
        counting.SetWriteHook([&](uint32_t) { ++writes; });
        Database db = openWritable(p, counting);
        db.Execute("INSERT INTO Customers (ID, [Name]) VALUES ('ZZZZZ', 'Last')");
        db.Close();
    }
    ASSERT_GT(writes, 1);
    for (int k = 1; k <= writes; ++k) {
        auto p = dir / "io.mdb";
        std::filesystem::remove(p);
        std::filesystem::copy_file(base, p);
        DBEngine failing;
        int n = 0;
        failing.SetWriteHook([&](uint32_t) {
            if (++n == k) throw JetError(3043, "Disk or network error. (injected)");
        });
        Database db = openWritable(p, failing);
        EXPECT_EQ(3043, jetErrorOf([&] { db.Execute("INSERT INTO Customers (ID, [Name]) VALUES ('ZZZZZ', 'Last')"); })) << "k=" << k;
        // A failed write leaves the file refusing everything until it is closed.
        EXPECT_EQ(3043, jetErrorOf([&] { columnValues(db, "Customers", "ID"); })) << "k=" << k;
        db.Close();
        EXPECT_TRUE(before == fileBytes(p)) << "k=" << k;
        Database again = openWritable(p);
        EXPECT_EQ(4u, columnValues(again, "Customers", "ID").size());
        again.Close();
    }
}

TEST(CreateDatabase, AFailureWhileMakingTheFileLeavesNothing) {
    TempDir dir;
    int writes = 0;
    DBEngine counting;
    counting.SetWriteHook([&](uint32_t) { ++writes; });
    counting.CreateDatabase((dir / "count.mdb").string()).Close();
    ASSERT_GT(writes, 5);
    for (int k = 1; k <= writes; ++k) {
        DBEngine failing;
        int n = 0;
        failing.SetWriteHook([&](uint32_t) {
            if (++n == k) throw JetError(3043, "Disk or network error. (injected)");
        });
        auto p = dir / ("f" + std::to_string(k) + ".mdb");
        EXPECT_EQ(3043, jetErrorOf([&] { failing.CreateDatabase(p.string()); }));
        EXPECT_FALSE(std::filesystem::exists(p)) << "k=" << k;
        EXPECT_FALSE(std::filesystem::exists(jet::Journal::pathFor(p.string()))) << "k=" << k;
    }
    // Nothing else either: the file was being made under another name.
    EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(dir.path()), {}));
}

TEST(Sql, StatementKindsAndTheirSyntaxErrors) {
    using jet::parseStatement;
    EXPECT_TRUE(std::holds_alternative<jet::CreateIndexStatement>(parseStatement("create unique index i on t (a desc, b) with ignore null")));
    auto ct = std::get<jet::CreateTableStatement>(parseStatement(
        "CREATE TABLE [Order Details] (a LONG NOT NULL, b TEXT(20) CONSTRAINT u UNIQUE, CONSTRAINT pk PRIMARY KEY (a, b DESC))"));
    ASSERT_EQ(2u, ct.keys.size());
    EXPECT_TRUE(ct.keys[1].primary);
    EXPECT_FALSE(ct.keys[1].columns[1].second);
    auto ins = std::get<jet::InsertStatement>(parseStatement("insert into t (a, b) values (-1, 0xABCD);"));
    EXPECT_EQ(2u, ins.values.size());
    EXPECT_EQ(VarType::Binary, ins.values[1].type());
    // More digits than a Double keeps stay exact.
    auto big = std::get<jet::InsertStatement>(parseStatement("insert into t values (12345678901234567.25)"));
    EXPECT_EQ("12345678901234567.25", big.values[0].decimalText());
    EXPECT_EQ(3134, jetErrorOf([] { parseStatement("insert into t values (1"); }));
    EXPECT_EQ(3131, jetErrorOf([] { parseStatement("delete from"); }));
    EXPECT_EQ(3290, jetErrorOf([] { parseStatement("create table t a long"); }));
    EXPECT_EQ(3251, jetErrorOf([] { parseStatement("drop table t"); }));
}

TEST(Properties, EveryPropertyBlockOfTheRealFilesWritesBackByteForByte) {
    REQUIRE_CORPUS("nw-lordkarnak.mdb");
    int blocks = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpusFile("nw-lordkarnak.mdb").parent_path())) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".mdb" || name.rfind("wrongpw-", 0) == 0) continue;
        jet::PageFile file(entry.path().string(), {});
        if (file.jet3()) continue;
        const jet::Layout l = jet::Layout::forFormat(false);
        const jet::TableDefData cat = jet::readTableDef(file, jet::kCatalogPage);
        size_t prop = 0;
        while (prop < cat.columns.size() && cat.columns[prop].name != "LvProp") ++prop;
        ASSERT_LT(prop, cat.columns.size());
        jet::TableScan scan(file, cat);
        jet::CrackedRow cr;
        while (scan.next()) {
            jet::crackRow(l, cat, scan.row().bytes, cr);
            const Variant v = jet::decodeValue(file, l, cat.columns[prop], cr.columns[prop]);
            if (v.isNull() || v.str().empty()) continue;
            const std::vector<uint8_t> bytes(v.str().begin(), v.str().end());
            EXPECT_EQ(bytes, jet::PropertyBlob::parse(bytes).serialize()) << name;
            ++blocks;
        }
    }
    EXPECT_GT(blocks, 50);
}

TEST(Properties, SetThroughAlterTableAndHonoured) {
    TempDir dir;
    auto path = buildDb(dir / "shop.mdb", shopStatements());
    Database db = openWritable(path);
    db.Execute("ALTER TABLE Customers ALTER COLUMN City SET AllowZeroLength = False");
    db.Execute("ALTER TABLE Customers ALTER COLUMN Notes SET ValidationText = 'Say something.'");
    db.Execute("ALTER TABLE Customers SET ValidationRule = '[Credit] >= 0'");
    EXPECT_EQ(3270, jetErrorOf([&] { db.Execute("ALTER TABLE Customers ALTER COLUMN City SET Colour = 'red'"); }));
    EXPECT_EQ(3270, jetErrorOf([&] { db.Execute("ALTER TABLE Customers SET AllowZeroLength = False"); }));
    EXPECT_EQ(13, jetErrorOf([&] { db.Execute("ALTER TABLE Customers ALTER COLUMN City SET ValidationRule = 5"); }));
    EXPECT_EQ(3265, jetErrorOf([&] { db.Execute("ALTER TABLE Customers ALTER COLUMN Nope SET Required = True"); }));
    EXPECT_EQ(3251, jetErrorOf([&] { db.Execute("ALTER TABLE Customers ADD COLUMN X LONG"); }));
    TableDef t = db.TableDefs().Item("Customers");
    EXPECT_FALSE(t.Fields().Item("City").AllowZeroLength());
    EXPECT_TRUE(t.Fields().Item("Phone").AllowZeroLength());
    EXPECT_EQ("Say something.", t.Fields().Item("Notes").ValidationText());
    EXPECT_EQ("[Credit] >= 0", t.ValidationRule());
    // The null-fill's UPDATE honours them.
    db.Execute("UPDATE Customers SET City = '' WHERE City IS NULL");
    EXPECT_EQ(0, db.RecordsAffected());
    EXPECT_EQ(1, db.LastUpdate().refused.at("AllowZeroLength"));
    db.Execute("UPDATE Customers SET Credit = -1 WHERE ID = 'ALFKI'");
    EXPECT_EQ(1, db.LastUpdate().refused.at("validation rule"));
    db.Close();
    EXPECT_INDEXES_CONSISTENT(path);
}

TEST(Properties, ChangingOneKeepsTheOthersOfAnAccessFile) {
    REQUIRE_CORPUS("nw-lordkarnak.mdb");
    TempDir dir;
    auto path = copyCorpus("nw-lordkarnak.mdb", dir);
    Database db = openWritable(path);
    EXPECT_FALSE(db.TableDefs().Item("Customers").Fields().Item("Region").AllowZeroLength());
    db.Execute("ALTER TABLE Customers ALTER COLUMN Region SET AllowZeroLength = True");
    TableDef t = db.TableDefs().Item("Customers");
    EXPECT_TRUE(t.Fields().Item("Region").AllowZeroLength());
    EXPECT_FALSE(t.Fields().Item("City").AllowZeroLength());
    EXPECT_EQ("<Date()", db.TableDefs().Item("Employees").Fields().Item("BirthDate").ValidationRule());
    db.Execute("UPDATE Customers SET Region = '' WHERE Region IS NULL");
    EXPECT_EQ(60, db.RecordsAffected());
    db.Close();
    EXPECT_INDEXES_CONSISTENT(path);
}

TEST(SqlScript, StatementsEndAtSemicolonsOrLineEndsOutsideParenthesesAndQuotes) {
    auto parts = splitSql("-- a comment\nCREATE TABLE T (\n  A LONG,\n  B TEXT(5))\nINSERT INTO T VALUES (1, 'x;\ny'); INSERT INTO T VALUES (2, [a;b])\n\n;;\n"
                          "INSERT INTO T VALUES (3, #2024-01-01#)");
    ASSERT_EQ(4u, parts.size());
    EXPECT_EQ("CREATE TABLE T (\n  A LONG,\n  B TEXT(5))", parts[0].text);
    EXPECT_EQ(2, parts[0].line);
    EXPECT_EQ("INSERT INTO T VALUES (1, 'x;\ny')", parts[1].text);
    EXPECT_EQ(5, parts[1].line);
    EXPECT_EQ("INSERT INTO T VALUES (2, [a;b])", parts[2].text);
    EXPECT_EQ(9, parts[3].line);
}
