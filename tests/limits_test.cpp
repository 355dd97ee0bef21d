// Limits instead of crashes: expressions nested too deep are refused with 3360, property values too long for the block with
// 3309, numbers beyond a Double with Overflow; `create` leaves no file
// behind whatever fails.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "built_db.h"
#include "commands.h"
#include "converter.h"
#include "sql_parser.h"
#include "sql_split.h"
#include "value_encode.h"
#include "write_helpers.h"

namespace vantrel {
int runCreateFrom(const std::string& db, const std::string& password, std::istream& sql, bool quiet);
}

using namespace vantrel;
using namespace vantrel::test;

namespace {

std::string repeat(const std::string& s, size_t n) {
    std::string out;
    out.reserve(s.size() * n);
    for (size_t i = 0; i < n; ++i) out += s;
    return out;
}
std::string nested(size_t n, const std::string& inner) { return repeat("(", n) + inner + repeat(")", n); }

class Collect : public MessageSink {
public:
    void Show(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

std::vector<std::string> numbersTable() {
    return {"CREATE TABLE N (ID LONG PRIMARY KEY, A LONG, D DOUBLE, S SINGLE, T TEXT(10))",
            "INSERT INTO N (ID, A) VALUES (1, 5)", "INSERT INTO N (ID, T) VALUES (2, 'x')"};
}

}  // namespace

TEST(Limits, NestingBeyondTheLimitIs3360NotAStackOverflow) {
    TempDir dir;
    auto path = buildDb(dir / "n.mdb", numbersTable());
    Database db = openWritable(path);
    const std::vector<std::string> refused = {
        "DELETE FROM N WHERE " + nested(100000, "A=1"),
        "DELETE FROM N WHERE " + repeat("NOT ", 100000) + "A=1",
        "DELETE FROM N WHERE " + nested(13000, "A=1"),  // about where the stack used to run out
        "DELETE FROM N WHERE " + repeat("NOT ", 15000) + "A=1",
        "DELETE FROM N WHERE " + repeat("A=1 OR ", 8000) + "A=1",
        "UPDATE N SET A=1 WHERE " + nested(1000, "A=1"),
    };
    for (const auto& sql : refused) EXPECT_EQ(3360, jetErrorOf([&] { db.Execute(sql); })) << sql.substr(0, 40);
    // Reasonable nesting still runs.
    db.Execute("UPDATE N SET A=7 WHERE " + nested(100, "NOT NOT ID=1") + " AND (A=5 OR A=6)");
    EXPECT_EQ(1, db.RecordsAffected());
    db.Close();
}

TEST(Limits, ManyAndOrTermsSideBySideAreNotNesting) {
    // Each chain counts its own terms and gives its levels back when it
    // ends: 400 ANDs and ORs at two levels, or 150 parenthesised ORs in one
    // AND chain, are far from the limit however many terms there are.
    TempDir dir;
    auto path = buildDb(dir / "n.mdb", numbersTable());
    Database db = openWritable(path);
    const std::vector<std::string> wheres = {
        repeat("A=5 AND ID=1 OR ", 200) + "A=0", repeat("(A=5 OR A=6) AND ", 150) + "ID=1",
        repeat("A=5 AND ", jet::kMaxExpressionDepth - 1) + "ID=1",  // one chain, at the limit
    };
    for (const auto& where : wheres) {
        db.Execute("UPDATE N SET D=2 WHERE " + where);
        EXPECT_EQ(1, db.RecordsAffected()) << where.substr(0, 40);
    }
    EXPECT_EQ(3360, jetErrorOf([&] { db.Execute("UPDATE N SET D=2 WHERE " + repeat("A=5 AND ", jet::kMaxExpressionDepth) + "ID=1"); }));
    db.Close();
}

TEST(Limits, CreateRefusesDeepOrLongStatementsAndLeavesNoFile) {
    TempDir dir;
    for (const std::string& bad : {"CREATE TABLE T (A LONG)\nDELETE FROM T WHERE " + nested(100000, "A=1") + "\n",
                                   "CREATE TABLE T (A LONG)\nDELETE FROM T WHERE " + repeat("NOT ", 100000) + "A=1\n",
                                   // An unclosed parenthesis that would draw in the rest of the input.
                                   "CREATE TABLE T (A LONG)\nDELETE FROM T WHERE (" + repeat("A=1 OR\n", 20000) + "\n"}) {
        auto path = dir / "new.mdb";
        std::istringstream in(bad);
        EXPECT_EQ(3360, jetErrorOf([&] { runCreateFrom(path.string(), "", in, true); }));
        EXPECT_FALSE(std::filesystem::exists(path));
    }
    // A file that was there before is not touched.
    auto existing = dir / "there.mdb";
    std::ofstream(existing) << "mine";
    std::istringstream in("CREATE TABLE T (A LONG)\n");
    EXPECT_EQ(3204, jetErrorOf([&] { runCreateFrom(existing.string(), "", in, true); }));
    EXPECT_EQ("mine", fileBytes(existing));
}

TEST(Limits, ConvertSurvivesADeeplyNestedTableValidationRule) {
    TempDir dir;
    for (const std::string& rule : {nested(15000, "A>0"), repeat("NOT ", 7900) + "A>0"}) {
        auto path = dir / "rule.mdb";
        std::filesystem::remove(path);
        buildDb(path, {"CREATE TABLE R (A LONG, B TEXT(5))", "INSERT INTO R (B) VALUES ('x')", "INSERT INTO R (A) VALUES (1)",
                       "ALTER TABLE R SET ValidationRule = '" + rule + "'"});
        Collect sink;
        Converter conv(sink);
        conv.dbSrc = openWritable(path);
        conv.MainSub(conv.dbSrc);  // no crash: each column's statement is refused
        conv.dbSrc.Close();
        EXPECT_EQ((std::vector<std::string>{"R表單的 A欄位  錯誤略過", "R表單的 B欄位  錯誤略過"}), sink.shown);
        Database check = DBEngine::Default().OpenDatabase(path.string(), false, true, ";pwd=bluefinchtea");
        EXPECT_EQ(rule, check.TableDefs().Item("R").ValidationRule());
    }
}

TEST(Limits, EveryPropertyWrittenReadsBackOrIsRefused) {
    TempDir dir;
    auto path = buildDb(dir / "p.mdb", numbersTable());
    Database db = openWritable(path);
    const std::string fits = "A>0 OR " + repeat("x", 32000);  // 64 KB as UTF-16, just within
    db.Execute("ALTER TABLE N SET ValidationRule = '" + fits + "'");
    db.Execute("ALTER TABLE N ALTER COLUMN T SET DefaultValue = '" + repeat("d", 30000) + "'");
    const std::string tooLong = repeat("(", 20000) + "A>0" + repeat(")", 20000);  // 40 KB of text
    EXPECT_EQ(3309, jetErrorOf([&] { db.Execute("ALTER TABLE N SET ValidationRule = '" + tooLong + "'"); }));
    EXPECT_EQ(3309, jetErrorOf([&] { db.Execute("ALTER TABLE N ALTER COLUMN A SET ValidationText = '" + repeat("y", 33000) + "'"); }));
    db.Close();
    Database back = DBEngine::Default().OpenDatabase(path.string(), false, true, ";pwd=bluefinchtea");
    EXPECT_EQ(fits, back.TableDefs().Item("N").ValidationRule());
    EXPECT_EQ(repeat("d", 30000), back.TableDefs().Item("N").Fields().Item("T").DefaultValue());
    EXPECT_EQ("", back.TableDefs().Item("N").Fields().Item("A").ValidationText());

    // Through `create`: refused, and no file.
    auto made = dir / "made.mdb";
    std::istringstream in("CREATE TABLE T (A LONG)\nALTER TABLE T SET ValidationRule = '" + tooLong + "'\n");
    EXPECT_EQ(3309, jetErrorOf([&] { runCreateFrom(made.string(), "", in, true); }));
    EXPECT_FALSE(std::filesystem::exists(made));
}

TEST(Limits, NumbersBeyondADoubleAreOverflowNotInfinity) {
    TempDir dir;
    auto path = buildDb(dir / "o.mdb", numbersTable());
    Database db = openWritable(path);
    EXPECT_EQ(6, jetErrorOf([&] { db.Execute("INSERT INTO N (ID, D) VALUES (3, 1e400)"); }));
    EXPECT_EQ(6, jetErrorOf([&] { db.Execute("INSERT INTO N (ID, D) VALUES (3, -1.5E+309)"); }));
    EXPECT_EQ(6, jetErrorOf([&] { db.Execute("INSERT INTO N (ID, S) VALUES (3, 1" + repeat("0", 400) + ")"); }));
    EXPECT_EQ(6, jetErrorOf([&] { db.Execute("UPDATE N SET D=2e308"); }));
    EXPECT_EQ(6, jetErrorOf([&] { db.Execute("DELETE FROM N WHERE D > 1e999"); }));
    // Beyond a Single but within a Double: the row is refused, never stored as Infinity.
    db.Execute("INSERT INTO N (ID, S) VALUES (3, 1e39)");
    EXPECT_EQ(0, db.RecordsAffected());
    db.Execute("INSERT INTO N (ID, D, S) VALUES (4, 1.7976931348623157e308, -3.4e38)");
    EXPECT_EQ(1, db.RecordsAffected());
    for (const char* column : {"D", "S"})
        for (const auto& v : columnValues(db, "N", column)) {
            if (!v.isNull()) {
                EXPECT_TRUE(std::isfinite(v.asDouble())) << column;
            }
        }
    db.Close();
}

namespace {
// Endless input: one statement that opens a parenthesis (or a quote) and
// never closes it.
class Endless : public std::streambuf {
public:
    explicit Endless(std::string start = "DELETE FROM T WHERE (") : start_(std::move(start)) {}
    size_t given = 0;

protected:
    int_type underflow() override {
        static const std::string more = "A=1 OR\n";
        chunk_ = given == 0 ? start_ : more;
        given += chunk_.size();
        setg(chunk_.data(), chunk_.data(), chunk_.data() + chunk_.size());
        return traits_type::to_int_type(chunk_[0]);
    }

private:
    std::string start_, chunk_;
};
}  // namespace

TEST(Limits, AScriptStatementIsReadNoFurtherThanTheLengthLimit) {
    // The reader reads ahead in blocks of 64 KiB: no further than one block
    // past the limit, whether a parenthesis or a quote is left open.
    for (const char* start : {"DELETE FROM T WHERE (", "INSERT INTO T VALUES ('", "INSERT INTO [T"}) {
        Endless source(start);
        std::istream in(&source);
        SqlReader reader(in, 100000);
        SqlStatement s;
        EXPECT_EQ(3360, jetErrorOf([&] { reader.next(s); })) << start;
        EXPECT_LT(source.given, 100000u + 65536u + 100u) << start;
    }
    EXPECT_EQ(jet::kMaxStatementLength, SqlReader::kDefaultMaxLength);
}

TEST(Limits, NoInfinityOrNaNIsStoredInASingleOrDoubleColumn) {
    for (uint8_t type : {jet::kFloat, jet::kDouble}) {
        jet::ColumnDef c;
        c.type = type;
        for (double d : {INFINITY, -INFINITY, NAN}) {
            EXPECT_FALSE(jet::convertForColumn(c, Variant::dbl(d), false, 1252).ok) << int(type) << " " << d;
            EXPECT_FALSE(jet::convertForColumn(c, Variant::single(float(d)), false, 1252).ok) << int(type) << " " << d;
        }
        EXPECT_TRUE(jet::convertForColumn(c, Variant::dbl(-1.5e30), false, 1252).ok);
    }
}
