// UPDATE statements of one table run as one batch (Database::ExecuteEach):
// the same results as running them one by one, on databases these tests
// build, including the cases where one scan would go wrong and the batch
// must fall back, and power lost at every write and sync of a batch.
#include <gtest/gtest.h>

#include <set>

#include "built_db.h"
#include "fault_env.h"
#include "journal.h"
#include "page_file.h"
#include "write_helpers.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

// What a statement did, as text: its summary or its error.
std::string describe(const UpdateSummary& s) {
    std::string out = s.table + " affected " + std::to_string(s.affected);
    for (const auto& [why, n] : s.refused) out += "; " + why + " " + std::to_string(n);
    return out;
}

std::string describe(const std::exception_ptr& e) {
    try {
        std::rethrow_exception(e);
    } catch (const JetError& j) {
        return "error " + std::to_string(j.Number) + ": " + j.Description;
    } catch (const std::exception& x) {
        return std::string("exception: ") + x.what();
    }
}

// Every row of every table, as text, in storage order.
std::string contents(const std::filesystem::path& path) {
    Database db = DBEngine::Default().OpenDatabase(path.string(), false, true, ";pwd=bluefinchtea");
    std::string out;
    for (const TableDef& t : db.TableDefs()) {
        if (t.Attributes() != 0) continue;
        out += "[" + t.Name() + "]\n";
        Recordset rs = t.OpenRecordset();
        while (!rs.EOF_()) {
            for (const Field& f : rs.Fields()) {
                Variant v = f.Value();
                out += std::to_string(int(v.type())) + ":";
                if (v.type() == VarType::Text || v.type() == VarType::Binary) out += "'" + v.str() + "'";
                else if (v.isNumeric()) out += std::to_string(v.asDouble()) + "/" + std::to_string(v.asInt());
                out += "|";
            }
            out += "\n";
            rs.MoveNext();
        }
    }
    db.Close();
    return out;
}

struct Outcome {
    std::vector<std::string> results;
    std::string rows;
};

// The statements one by one through Execute.
Outcome oneByOne(const std::filesystem::path& path, const std::vector<std::string>& sql) {
    Outcome r;
    Database db = openWritable(path);
    for (const auto& s : sql) {
        try {
            db.Execute(s);
            r.results.push_back(describe(db.LastUpdate()));
        } catch (...) {
            r.results.push_back(describe(std::current_exception()));
        }
    }
    db.Close();
    r.rows = contents(path);
    return r;
}

Outcome batched(const std::filesystem::path& path, const std::vector<std::string>& sql) {
    Outcome r;
    Database db = openWritable(path);
    for (const StatementResult& s : db.ExecuteEach(sql)) r.results.push_back(s.error ? describe(s.error) : describe(s.summary));
    db.Close();
    r.rows = contents(path);
    return r;
}

class UpdateBatch : public ::testing::Test {
protected:
    // Builds the database twice, runs `sql` one by one on one copy and as a
    // batch on the other: the results and the rows must be the same.
    Outcome expectSameAsOneByOne(const std::vector<std::string>& build, const std::vector<std::string>& sql) {
        auto a = buildDb(dir_ / "one.mdb", build);
        auto b = dir_ / "batch.mdb";
        std::filesystem::copy_file(a, b);
        Outcome want = oneByOne(a, sql);
        Outcome got = batched(b, sql);
        EXPECT_EQ(want.results, got.results);
        EXPECT_EQ(want.rows, got.rows);
        EXPECT_INDEXES_CONSISTENT(a);
        EXPECT_INDEXES_CONSISTENT(b);
        return got;
    }
    TempDir dir_;
};

std::vector<std::string> fillAll(const std::string& table, const std::vector<std::pair<std::string, bool>>& columns) {
    std::vector<std::string> out;
    for (const auto& [c, text] : columns)
        out.push_back("update " + table + " set  " + c + (text ? "=''" : "=0") + " where isnull(" + c + ")");
    return out;
}

}  // namespace

TEST_F(UpdateBatch, UniqueIndexTakesOneNullAndRefusesTheRest) {
    Outcome r = expectSameAsOneByOne(
        {"CREATE TABLE T (ID LONG, A TEXT(10), B TEXT(10) CONSTRAINT UB UNIQUE, C LONG, D MEMO)", "CREATE INDEX IA ON T (A)",
         "INSERT INTO T (ID) VALUES (1)", "INSERT INTO T (ID, A) VALUES (2, 'x')", "INSERT INTO T (ID, B) VALUES (3, 'y')",
         "INSERT INTO T (ID, C) VALUES (4, 7)", "INSERT INTO T (ID) VALUES (5)"},
        fillAll("T", {{"ID", false}, {"A", true}, {"B", true}, {"C", false}, {"D", true}}));
    ASSERT_EQ(5u, r.results.size());
    EXPECT_EQ("T affected 1; unique index 3", r.results[2]);
    EXPECT_EQ("T affected 4", r.results[1]);
}

TEST_F(UpdateBatch, TwoStatementsOnOneUniqueIndexRunInTurn) {
    // One scan would let row 1 take ('', 'x') before row 2 does; one by one,
    // row 2 gets it first (from the first statement) and row 1 is refused.
    Outcome r = expectSameAsOneByOne({"CREATE TABLE T (ID LONG, B TEXT(10), C TEXT(10))", "CREATE UNIQUE INDEX BC ON T (B, C)",
                                  "INSERT INTO T (ID, B) VALUES (1, '')", "INSERT INTO T (ID, C) VALUES (2, 'x')"},
                                 {"update T set B='' where isnull(B)", "update T set C='x' where isnull(C)"});
    EXPECT_EQ((std::vector<std::string>{"T affected 1", "T affected 0; unique index 1"}), r.results);
}

TEST_F(UpdateBatch, LaterStatementsSeeEarlierOnesInTheSameRow) {
    expectSameAsOneByOne({"CREATE TABLE T (ID LONG, A LONG, B LONG, N TEXT(5))", "INSERT INTO T (ID) VALUES (1)",
                          "INSERT INTO T (ID, A) VALUES (2, 5)", "INSERT INTO T (ID, B) VALUES (3, 1)"},
                         {"update T set A=1 where isnull(A)", "update T set B=2 where A=1", "update T set N='big' where B=2 and A=1",
                          "update T set A=0 where N='big'"});
}

TEST_F(UpdateBatch, TableRuleOverTwoColumnsIsCheckedAgainstTheRowAsLeft) {
    Outcome r = expectSameAsOneByOne(
        {"CREATE TABLE T (ID LONG, Lo LONG, Hi LONG, Note TEXT(10))", "INSERT INTO T (ID, Hi) VALUES (1, -5)",
         "INSERT INTO T (ID, Hi) VALUES (2, 5)", "INSERT INTO T (ID) VALUES (3)", "INSERT INTO T (ID, Lo) VALUES (4, 9)",
         "ALTER TABLE T SET ValidationRule = '[Lo] <= [Hi]'", "ALTER TABLE T ALTER COLUMN Note SET AllowZeroLength = False"},
        fillAll("T", {{"ID", false}, {"Lo", false}, {"Hi", false}, {"Note", true}}));
    EXPECT_EQ("T affected 2; validation rule 1", r.results[1]);  // Null <= 5 passes
    EXPECT_EQ("T affected 1; validation rule 1", r.results[2]);
    EXPECT_EQ("T affected 0; AllowZeroLength 4", r.results[3]);
}

TEST_F(UpdateBatch, AStatementThatCannotRunFailsAloneBetweenOthers) {
    Outcome r = expectSameAsOneByOne({"CREATE TABLE T (ID LONG, A TEXT(10), B LONG)", "INSERT INTO T (ID) VALUES (1)"},
                                 {"update T set  A='' where isnull(A)", "update T set  Nope='' where isnull(Nope)", "update T set B=",
                                  "update T set  B=0 where isnull(B)", "update Missing set  B=0"});
    EXPECT_EQ("error 3061: Too few parameters. Expected 1.", r.results[1]);
    EXPECT_EQ("T affected 1", r.results[3]);
}

TEST_F(UpdateBatch, EveryStatementOnATableThatIsNotFoundFailsAndTheBatchEnds) {
    // The null-fill of a table named "t " names table t: not found, so each
    // of its statements fails on its own (the batch used to stop moving on).
    Outcome r = expectSameAsOneByOne({"CREATE TABLE [t ] (A LONG, B TEXT(5))", "INSERT INTO [t ] (A) VALUES (1)"},
                                     fillAll("t ", {{"A", false}, {"B", true}}));
    ASSERT_EQ(2u, r.results.size());
    for (const std::string& result : r.results) EXPECT_EQ(0u, result.rfind("error 3078: ", 0)) << result;
}

TEST_F(UpdateBatch, AStatementFailingInTheMiddleOfTheScanIsUndoneAlone) {
    // No sort order for characters past U+00FF: the statement fails at the
    // first row it would change, after the others changed rows before it.
    Outcome r = expectSameAsOneByOne({"CREATE TABLE T (ID LONG, A TEXT(10), City TEXT(10), B LONG)", "CREATE INDEX City ON T (City)",
                                  "INSERT INTO T (ID, City) VALUES (1, 'Rome')", "INSERT INTO T (ID) VALUES (2)",
                                  "INSERT INTO T (ID, City) VALUES (3, 'Oslo')", "INSERT INTO T (ID) VALUES (4)"},
                                 {"update T set  A='' where isnull(A)", "update T set City='\u6771\u4EAC' where isnull(City)",
                                  "update T set City='Bern' where ID=4", "update T set  B=0 where isnull(B)"});
    EXPECT_EQ(0u, r.results[1].find("error 3251"));
    EXPECT_EQ("T affected 4", r.results[3]);
}

TEST_F(UpdateBatch, AFailureFoundLaterInTheScanClearsTheStatementsItMisled) {
    // The first statement changes row 1, then fails on row 2 (its table rule
    // cannot compare 'abc' with a number), so one by one it changes nothing.
    // The second fails on row 1 only because of that change: one by one it
    // finds no row and succeeds.
    Outcome r = expectSameAsOneByOne({"CREATE TABLE T (ID LONG, X LONG, Y TEXT(10), City TEXT(10))", "CREATE INDEX City ON T (City)",
                                      "INSERT INTO T (ID, Y) VALUES (1, '5')", "INSERT INTO T (ID, Y) VALUES (2, 'abc')",
                                      "ALTER TABLE T SET ValidationRule = '[Y] > 0'"},
                                     {"update T set X=1", "update T set City='\u6771\u4EAC' where X=1", "update T set ID=7 where ID=1"});
    EXPECT_EQ("error 3464", r.results[0].substr(0, 10)) << r.results[0];
    EXPECT_EQ("T affected 0", r.results[1]);
    EXPECT_EQ("T affected 1", r.results[2]);
}

TEST_F(UpdateBatch, ARowThatWouldGrowTooLongIsRefusedAndLeftAsItWas) {
    // Eight texts of 255 two-byte characters do not fit a Jet4 row: the
    // eighth statement is refused on that row, and the statements after it
    // (a smaller text, a number, a Null) see the row without the eighth text.
    std::string wide;
    for (int i = 0; i < 255; ++i) wide += "\u4E2D";
    std::vector<std::string> build = {"CREATE TABLE T (ID LONG, N LONG, C1 TEXT(255), C2 TEXT(255), C3 TEXT(255), C4 TEXT(255), "
                                      "C5 TEXT(255), C6 TEXT(255), C7 TEXT(255), C8 TEXT(255), C9 TEXT(255))",
                                      "INSERT INTO T (ID, C1) VALUES (1, 'a')", "INSERT INTO T (ID) VALUES (2)"};
    std::vector<std::string> sql;
    for (int c = 1; c <= 8; ++c) sql.push_back("update T set C" + std::to_string(c) + "='" + wide + "' where ID=1 or ID=2");
    sql.push_back("update T set C9='short' where C8 is null");
    sql.push_back("update T set N=C9 & '' where not (C9 is null)");  // refused: no conversion, not too long
    sql.push_back("update T set C1=Null where ID=2");
    sql.push_back("update T set C8='" + wide + "' where ID=2");
    Outcome r = expectSameAsOneByOne(build, sql);
    EXPECT_EQ("T affected 0; row too long 2", r.results[7]);
    EXPECT_EQ("T affected 2", r.results[8]);
    EXPECT_EQ("T affected 1", r.results[11]);
}

TEST_F(UpdateBatch, ADamagedLongValueIsMetByItsColumnsStatement) {
    // The memo of row 1 lies on a page of its own; that page is damaged. The
    // statement filling the memo column must meet the damage (it follows
    // every row's memo to know whether it is Null), not take it for a value.
    const std::string marker = "QXJZ";
    std::string big;
    while (big.size() < 3000) big += marker;
    auto a = buildDb(dir_ / "one.mdb", {"CREATE TABLE T (ID LONG, A TEXT(10), M MEMO)", "INSERT INTO T (ID, M) VALUES (1, '" + big + "')",
                                        "INSERT INTO T (ID) VALUES (2)"});
    {
        jet::PageFile::Options opt;
        opt.writable = true;
        jet::PageFile f(a.string(), opt);
        uint32_t hit = 0;
        for (uint32_t n = 1; n < f.pageCount() && !hit; ++n) {
            jet::PageRef p = f.page(n);
            const std::string bytes(p->begin(), p->end());
            std::string wide;  // the text as UTF-16, or compressed to a byte a character
            for (char c : big.substr(0, 200)) wide += std::string{c, '\0'};
            if (bytes.find(wide) != std::string::npos || bytes.find(big.substr(0, 200)) != std::string::npos) hit = n;
        }
        ASSERT_NE(0u, hit);
        // The page keeps its kind and owner but loses its rows.
        const size_t at = jet::Layout::forFormat(f.jet3()).dataRowCountAt;
        f.modify(hit)[at] = 0;
        f.modify(hit)[at + 1] = 0;
        f.commit();
    }
    auto b = dir_ / "batch.mdb";
    std::filesystem::copy_file(a, b);
    const std::vector<std::string> sql = fillAll("T", {{"ID", false}, {"A", true}, {"M", true}});
    std::vector<std::string> want, got;  // the rows cannot all be read back: only the results are compared
    {
        Database db = openWritable(a);
        for (const auto& st : sql) {
            try {
                db.Execute(st);
                want.push_back(describe(db.LastUpdate()));
            } catch (...) {
                want.push_back(describe(std::current_exception()));
            }
        }
    }
    {
        Database db = openWritable(b);
        for (const StatementResult& r : db.ExecuteEach(sql)) got.push_back(r.error ? describe(r.error) : describe(r.summary));
    }
    // One by one, the statements before it did their work; in a batch,
    // damage undoes the table's whole unit (the run ends there anyway).
    ASSERT_EQ(3u, want.size());
    ASSERT_EQ(3u, got.size());
    EXPECT_EQ("T affected 0", want[0]);
    EXPECT_EQ("T affected 2", want[1]);
    EXPECT_EQ(0u, want[2].find("error 3049")) << want[2];
    EXPECT_EQ(0u, got[2].find("error 3049")) << got[2];
}

TEST_F(UpdateBatch, NullFillOfAShopMatchesOneByOne) {
    expectSameAsOneByOne(shopStatements(), fillAll("Customers", {{"ID", true},
                                                                 {"[Name]", true},
                                                                 {"City", true},
                                                                 {"Phone", true},
                                                                 {"Notes", true},
                                                                 {"Since", false},
                                                                 {"Credit", false},
                                                                 {"Vip", false}}));
}

TEST_F(UpdateBatch, InsideATransactionTheStatementsRunOneByOne) {
    auto path = buildDb(dir_ / "t.mdb", {"CREATE TABLE T (ID LONG, A TEXT(10))", "INSERT INTO T (ID) VALUES (1)"});
    Database db = openWritable(path);
    db.BeginTrans();
    auto r = db.ExecuteEach({"update T set A='' where isnull(A)", "update T set ID=0 where isnull(ID)"});
    ASSERT_EQ(2u, r.size());
    EXPECT_EQ(1, r[0].summary.affected);
    db.Rollback();
    db.Close();
    EXPECT_TRUE(columnValues(DBEngine::Default().OpenDatabase(path.string(), false, true, ";pwd=bluefinchtea"), "T", "A")[0].isNull());
}

// Power lost at every write and every sync of one batch: opened again, the
// table is as before the batch or as after it, never in between.
TEST(UpdateBatchCrash, PowerLossLeavesTheTableBeforeOrAfter) {
    TempDir dir;
    std::vector<std::string> build = {"CREATE TABLE T (ID LONG, A TEXT(200), B TEXT(10) CONSTRAINT UB UNIQUE, C LONG, D DOUBLE)",
                                      "CREATE INDEX IC ON T (C)"};
    for (int i = 0; i < 300; ++i)
        build.push_back(i % 3 ? "INSERT INTO T (ID) VALUES (" + std::to_string(i) + ")"
                              : "INSERT INTO T (ID, A, C) VALUES (" + std::to_string(i) + ", 'row', " + std::to_string(i) + ")");
    auto original = buildDb(dir / "orig.mdb", build);
    const std::vector<std::string> batch = fillAll("T", {{"ID", false}, {"A", true}, {"B", true}, {"C", false}, {"D", false}});
    auto run = [&](const std::filesystem::path& p, const DBEngine& engine) {
        Database db = openWritable(p, engine);
        auto r = db.ExecuteEach(batch);
        db.Close();
        return r;
    };
    auto journalOf = [](const std::filesystem::path& p) { return jet::Journal::pathFor(platform::Env::system().resolve(p.string())); };

    const std::string before = fileBytes(original);
    auto ref = dir / "ref.mdb";
    std::filesystem::copy_file(original, ref);
    auto env = std::make_shared<FaultEnv>();
    DBEngine counting;
    counting.SetEnv(env);
    run(ref, counting);
    const std::string after = fileBytes(ref);
    const int calls = env->writesAndSyncs();
    ASSERT_GT(calls, 2);
    ASSERT_NE(before, after);

    for (int k = 1; k <= calls; ++k) {
        for (bool torn : {false, true}) {
            auto path = dir / "crash.mdb";
            std::filesystem::remove(path);
            std::filesystem::remove(journalOf(path));
            std::filesystem::copy_file(original, path);
            auto fenv = std::make_shared<FaultEnv>();
            fenv->crashAt = k;
            DBEngine engine;
            engine.SetEnv(fenv);
            try {
                run(path, engine);
            } catch (const JetError&) {
            }
            ASSERT_TRUE(fenv->crashed()) << "k=" << k;
            fenv->powerLoss(torn, uint32_t(k));
            ASSERT_NO_THROW(DBEngine::Default().OpenDatabase(path.string(), false, false, ";pwd=bluefinchtea").Close()) << "k=" << k;
            const std::string now = fileBytes(path);
            EXPECT_TRUE(now == before || now == after) << "power lost at call " << k << (torn ? " (torn)" : "");
            EXPECT_INDEXES_CONSISTENT(path);
        }
    }
}
