// The script file and the statement writers: names, encoding, type classes,
// text forms, INSERT and CREATE INDEX lines.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "built_db.h"
#include "converter.h"
#include "corpus.h"
#include "text_forms.h"
#include "type_classes.h"
#include "user_tables.h"
#include "write_helpers.h"

using namespace vantrel;
using vantrel::test::TempDir;
using vantrel::test::corpusFile;

namespace {

std::string readAll(const std::filesystem::path& p) { return vantrel::test::fileBytes(p); }

class Collect : public MessageSink {
public:
    void Show(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

long errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const JetError& e) {
        return e.Number;
    }
    return 0;
}

}  // namespace

TEST(ScriptPath, DropsThreeCharactersAndAddsTdb) {
    EXPECT_EQ("C:\\data\\shop.tdb", MakeScriptPath("C:\\data\\shop.mdb"));
    EXPECT_EQ("D:\\x\\old.tdb", MakeScriptPath("D:\\x\\old.MDB"));
    EXPECT_EQ("D:\\x\\new.actdb", MakeScriptPath("D:\\x\\new.accdb"));
    EXPECT_EQ("/srv/資料.tdb", MakeScriptPath("/srv/資料.mdb"));
    EXPECT_EQ("/srv/資tdb", MakeScriptPath("/srv/資料表格"));  // characters, not bytes
    EXPECT_EQ("tdb", MakeScriptPath("abc"));
    EXPECT_EQ(5, errorOf([] { MakeScriptPath("ab"); }));
}

TEST(WriteString, EachCallAppendsOneCrLfLine) {
    TempDir dir;
    Collect sink;
    Converter c(sink);
    c.ScriptPath = (dir / "s.tdb").string();
    c.WriteString("A");
    c.WriteString("B");
    c.WriteString("");
    EXPECT_EQ("A\r\nB\r\n\r\n", readAll(dir / "s.tdb"));
}

TEST(WriteString, FailuresComeFromThePlatform) {
    TempDir dir;
    Collect sink;
    Converter c(sink);
    c.ScriptPath = (dir / "no" / "such" / "s.tdb").string();
    EXPECT_EQ(76, errorOf([&] { c.WriteString("x"); }));
    c.ScriptPath = "";
    EXPECT_EQ(52, errorOf([&] { c.WriteString("x"); }));
    c.ScriptPath = dir.path().string();  // a folder
    EXPECT_EQ(75, errorOf([&] { c.WriteString("x"); }));
}

TEST(ScriptEncoder, AnsiCodePageWithQuestionMarks) {
    ScriptEncoder cp1252("CP1252");
    EXPECT_EQ("caf\xE9 ? \x80", cp1252.encode("café 中 €"));
    ScriptEncoder big5("CP950");
    EXPECT_EQ("\xB0\xF5\xA6\xE6", big5.encode("執行"));
    EXPECT_EQ("?", big5.encode("é"));
    EXPECT_EQ("UTF-8", ScriptEncoder("ANSI_X3.4-1968").charset());  // plain C locale
    EXPECT_EQ("中", ScriptEncoder("UTF-8").encode("中"));
}

TEST(ScriptEncoder, TheWritersLinesInANonUtf8CodePage) {
    // The INSERT and CREATE INDEX lines as the converter writes them in
    // code pages 1252 and 950: what the code page lacks is one "?" each.
    TempDir dir;
    const auto path = test::buildDb(dir / "shop.mdb", {"CREATE TABLE [Caf\xC3\xA9] (ID LONG PRIMARY KEY, Name TEXT(20))",
                                                       "INSERT INTO [Caf\xC3\xA9] VALUES (1, '\xE5\x9F\xB7\xE8\xA1\x8C')",
                                                       "INSERT INTO [Caf\xC3\xA9] VALUES (2, 'caf\xC3\xA9 \xE2\x82\xAC')"});
    struct Case {
        std::string charset, table, first, second;  // the table's name and the two values, encoded
    };
    for (const Case& k : {Case{"CP1252", "Caf\xE9", "??", "caf\xE9 \x80"}, Case{"CP950", "Caf?", "\xB0\xF5\xA6\xE6", "caf? \xA3\xE1"}}) {
        Collect sink;
        Converter c(sink);
        c.scriptCharset(k.charset);
        c.ScriptPath = (dir / (k.charset + ".tdb")).string();
        Database db = DBEngine::Default().OpenDatabase(path.string(), false, true, ";pwd=bluefinchtea");
        TableDef t = db.TableDefs().Item("Caf\xC3\xA9");
        c.WriteRecords(db, t);
        c.CreateIdxStr(t);
        const std::string insert = "INSERT INTO [" + k.table + "] ([ID], [Name]) values (";
        EXPECT_EQ(insert + "1, \"" + k.first + "\")\r\n" + insert + "2, \"" + k.second + "\")\r\nCREATE INDEX [PrimaryKey] ON [" + k.table +
                      "] ([ID])\r\n",
                  readAll(c.ScriptPath))
            << k.charset;
    }
}

TEST(TypeClasses, QuoteStrAnswersForEveryCode) {
    for (int code = -3; code <= 40; ++code) {
        Variant q = QuoteStr(Variant::integer(int16_t(code)));
        const bool quoted = code == 8 || code == 10 || code == 12;
        const bool bare = code == 1 || code == 2 || code == 3 || code == 4 || code == 5 || code == 6 || code == 7 ||
                          code == 9 || code == 11 || code == 14 || code == 15 || code == 17 || code == 19 || code == 21;
        if (quoted || bare) {
            ASSERT_EQ(VarType::Boolean, q.type()) << code;
            EXPECT_EQ(quoted, equalsBoolean(q, true)) << code;
        } else {
            EXPECT_EQ("UN-SUPPORTED-TYPE - " + std::to_string(code), q.str());
            EXPECT_EQ(13, errorOf([&] { equalsBoolean(q, true); })) << code;
        }
    }
}

TEST(TypeClasses, GetTypeNames) {
    const std::map<int, std::string> names = {{1, "BIT"}, {2, "SMALLINT"}, {3, "INT"}, {4, "INT"}, {5, "FLOAT"},
                                              {6, "FLOAT"}, {7, "FLOAT"}, {8, "DATETIME"}, {9, "VARBINARY"},
                                              {10, "TEXT"}, {11, "VARBINARY"}, {12, "TEXT"}, {14, "INT"},
                                              {15, "VARBINARY"}, {17, "VARBINARY"}};
    for (int code = -2; code <= 25; ++code) {
        auto it = names.find(code);
        std::string want = it != names.end() ? it->second : "UN-SUPPORTED-TYPE - " + std::to_string(code);
        EXPECT_EQ(want, GetType(int16_t(code)).str()) << code;
    }
    EXPECT_EQ("UN-SUPPORTED-TYPE - -32768", GetType(INT16_MIN).str());
}

TEST(TextForms, FixedAndLocaleFree) {
    EXPECT_EQ("True", DefaultText(Variant::boolean(true)));
    EXPECT_EQ("False", DefaultText(Variant::boolean(false)));
    EXPECT_EQ("-32768", DefaultText(Variant::integer(INT16_MIN)));
    EXPECT_EQ("3.5", DefaultText(Variant::currency(35000)));
    EXPECT_EQ("12", DefaultText(Variant::currency(120000)));
    EXPECT_EQ("-0.0001", DefaultText(Variant::currency(-1)));
    EXPECT_EQ("0.1", DefaultText(Variant::single(0.1f)));
    EXPECT_EQ("3.141593", DefaultText(Variant::single(3.14159265f)));
    EXPECT_EQ("0.1", DefaultText(Variant::dbl(0.1)));
    EXPECT_EQ("123456789012345", DefaultText(Variant::dbl(123456789012345.0)));
    EXPECT_EQ("1E+15", DefaultText(Variant::dbl(1e15)));
    EXPECT_EQ("1E-05", DefaultText(Variant::dbl(0.00001)));
    EXPECT_EQ("0.0001", DefaultText(Variant::dbl(0.0001)));
    EXPECT_EQ("2000-02-29 12:00:00", DefaultText(Variant::date(36585.5)));
    EXPECT_EQ("2000-02-29", DefaultText(Variant::date(36585)));
    EXPECT_EQ("06:00:00", DefaultText(Variant::date(0.25)));
    EXPECT_EQ("0.50", DefaultText(Variant::decimal(50, false, 2)));
}

TEST(StripChar, BlanksForLineBreaksAndQuotesOnly) {
    EXPECT_EQ("\"\"", StripChar(Variant()));
    EXPECT_EQ("\"\"", StripChar(Variant::text("")));
    EXPECT_EQ("\"a  b\"", StripChar(Variant::text("a\r\nb")));
    EXPECT_EQ("\"say  hi \"", StripChar(Variant::text("say \"hi\"")));
    EXPECT_EQ("\"O'Brien, [x]\"", StripChar(Variant::text("O'Brien, [x]")));
    EXPECT_EQ("\"2000-02-29\"", StripChar(Variant::date(36585)));
}

TEST(FieldList, NamesInBracketsNullSlotsSkipped) {
    EXPECT_EQ("[OrderID], [Customer]", FieldList({Variant::text("OrderID"), Variant(), Variant::text("Customer")}));
    EXPECT_EQ("[a b]", FieldList({Variant(), Variant::text("a b")}));
    EXPECT_EQ("", FieldList({Variant(), Variant()}));
    EXPECT_EQ("", FieldList({}));
}

namespace {

// What an INSERT line must be for one expected row, built from the
// independent readers' dump with the text forms above.
std::string expectedText(int type, const nlohmann::json& v) {
    switch (type) {
        case dbBoolean: return v.get<bool>() ? "True" : "False";
        case dbCurrency: {
            std::string s = v.get<std::string>();
            while (s.back() == '0') s.pop_back();
            if (s.back() == '.') s.pop_back();
            return s;
        }
        case dbSingle: return DefaultText(Variant::single(v.get<float>()));
        case dbDouble: return DefaultText(Variant::dbl(v.get<double>()));
        case dbDate: {
            const std::string s = v.get<std::string>();
            if (s.substr(0, 10) == "1899-12-30") return s.substr(11);
            if (s.substr(11) == "00:00:00") return s.substr(0, 10);
            return s;
        }
        case dbText: case dbMemo: return v.get<std::string>();
        default: return v.dump();
    }
}

std::multiset<std::string> expectedInserts(const nlohmann::json& table) {
    std::multiset<std::string> lines;
    for (const auto& row : table["rows"]) {
        std::string cols, vals;
        for (size_t i = 0; i < row.size(); ++i) {
            int type = table["columns"][i]["type"];
            if (type == dbBinary || type == dbLongBinary || type == dbGUID || row[i].is_null()) continue;
            std::string text = expectedText(type, row[i]);
            const bool quoted = type == dbDate || type == dbText || type == dbMemo;
            if (quoted) {
                for (char& ch : text)
                    if (ch == '\r' || ch == '\n' || ch == '"') ch = ' ';
                text = "\"" + text + "\"";
            }
            cols += "[" + table["columns"][i]["name"].get<std::string>() + "], ";
            vals += text + ", ";
        }
        if (vals.empty()) continue;
        // In the script file's code page, as the writer puts them there.
        lines.insert(ScriptEncoder().encode("INSERT INTO [" + table["name"].get<std::string>() + "] (" + cols.substr(0, cols.size() - 2) +
                                            ") values (" + vals.substr(0, vals.size() - 2) + ")"));
    }
    return lines;
}

std::multiset<std::string> linesOf(const std::string& text) {
    std::multiset<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        EXPECT_NE(std::string::npos, end) << "line without CR LF";
        if (end == std::string::npos) break;
        out.insert(text.substr(start, end - start));
        start = end + 2;
    }
    return out;
}

}  // namespace

class WriteRecordsOnRealFiles : public ::testing::TestWithParam<const char*> {};

TEST_P(WriteRecordsOnRealFiles, EveryTableMatchesTheIndependentDump) {
    const std::string file = GetParam();
    REQUIRE_CORPUS(file);
    TempDir dir;
    std::ifstream in(corpusFile(file).replace_extension(".expected.json"));
    auto expected = nlohmann::json::parse(in);
    Collect sink;
    Converter c(sink);
    Database db = DBEngine::Default().OpenDatabase(corpusFile(file).string(), false, true, ";pwd=bluefinchtea");
    int tables = 0;
    for (const auto& table : expected["tables"]) {
        c.ScriptPath = (dir / ("t" + std::to_string(tables++) + ".tdb")).string();
        TableDef t = db.TableDefs().Item(table["name"]);
        c.WriteRecords(db, t);
        EXPECT_EQ(expectedInserts(table), linesOf(readAll(c.ScriptPath))) << table["name"];
        EXPECT_TRUE(c.rsSrc.EOF_());  // the recordset stays with the converter
    }
    EXPECT_GT(tables, 0);
}

INSTANTIATE_TEST_SUITE_P(Corpus, WriteRecordsOnRealFiles,
                         ::testing::Values("nw-lordkarnak.mdb", "jk-V1997-testIndexCodesV1997.mdb",
                                           "jk-V2000-overflowTestV2000.mdb"));

TEST(WriteRecords, UnclassifiableTypeStopsWithTypeMismatch) {
    REQUIRE_CORPUS("jk-V2000-fixedNumericTestV2000.mdb");
    TempDir dir;
    Collect sink;
    Converter c(sink);
    c.ScriptPath = (dir / "s.tdb").string();
    Database db = DBEngine::Default().OpenDatabase(corpusFile("jk-V2000-fixedNumericTestV2000.mdb").string(), false, true);
    TableDef t = db.TableDefs().Item("test");
    EXPECT_EQ(13, errorOf([&] { c.WriteRecords(db, t); }));  // Decimal columns hold values
    EXPECT_FALSE(std::filesystem::exists(c.ScriptPath));      // that record's line is not written
}

TEST(CreateIdxStr, OnlyASingleColumnPrimaryIndexGivesALine) {
    REQUIRE_CORPUS("nw-lordkarnak.mdb");
    TempDir dir;
    Collect sink;
    Converter c(sink);
    c.ScriptPath = (dir / "s.tdb").string();
    Database db = DBEngine::Default().OpenDatabase(corpusFile("nw-lordkarnak.mdb").string(), false, true);
    auto defs = db.TableDefs();
    TableDef categories = defs.Item("Categories");
    TableDef details = defs.Item("Order Details");  // two-column primary key
    c.CreateIdxStr(categories);
    c.CreateIdxStr(details);
    EXPECT_EQ("CREATE INDEX [PrimaryKey] ON [Categories] ([CategoryID])\r\n\r\n", readAll(c.ScriptPath));
}

TEST(CreateIdxStr, TableWithoutIndexesGivesAnEmptyLine) {
    REQUIRE_CORPUS("jk-V2000-overflowTestV2000.mdb");
    TempDir dir;
    Collect sink;
    Converter c(sink);
    c.ScriptPath = (dir / "s.tdb").string();
    Database db = DBEngine::Default().OpenDatabase(corpusFile("jk-V2000-overflowTestV2000.mdb").string(), false, true);
    TableDef t = db.TableDefs().Item("Table1");
    ASSERT_EQ(0, t.Indexes().Count());
    c.CreateIdxStr(t);
    EXPECT_EQ("\r\n", readAll(c.ScriptPath));
}
