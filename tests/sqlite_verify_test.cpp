// The check of an `export --sqlite` copy: a copy as written digests like its
// database, table by table, whatever order SQLite gives the rows back in;
// any change to a value, to a value's storage class or to the rows is seen.
#include <gtest/gtest.h>

#include "built_db.h"
#include "damage_helpers.h"
#include "corpus.h"
#include "sqlite_copy.h"
#include "sqlite_verify.h"
#include "table_choice.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

struct Copied {
    TempDir dir;
    Database db;
    std::vector<TableDef> tables;
    std::string copy;

    Copied() {
        const auto path = buildDb(dir / "shop.mdb", shopStatements());
        db = DBEngine::Default().OpenDatabase(path.string(), false, true, ";pwd=bluefinchtea");
        tables = chosenTables(db, {"Customers", "Orders"});
        copy = (dir / "shop.sqlite").string();
        SqliteDb out(copy, false);
        copyToSqlite(db, tables, out);
        out.close();
    }
    // Whether every table of the copy digests like its database's.
    bool same() {
        SqliteDb in(copy, true);
        for (const TableDef& t : tables)
            if (!(accessDigest(t) == sqliteDigest(t, in))) return false;
        return true;
    }
    void change(const std::string& sql) {
        SqliteDb out(copy, false);
        out.exec(sql);
        out.close();
    }
};

struct Change {
    const char* what;
    const char* sql;
};

class SqliteVerifySeesChange : public ::testing::TestWithParam<Change> {};

}  // namespace

TEST(SqliteVerify, ACopyAsWrittenIsIdentical) {
    Copied c;
    EXPECT_TRUE(c.same());
    SqliteDb in(c.copy, true);
    EXPECT_EQ(4, sqliteDigest(c.tables[0], in).rows);
}

TEST(SqliteVerify, RowOrderDoesNotMatter) {
    Copied c;
    c.change(
        "CREATE TABLE Kept AS SELECT * FROM Customers; DELETE FROM Customers; "
        "INSERT INTO Customers SELECT * FROM Kept ORDER BY ID DESC; DROP TABLE Kept");
    EXPECT_TRUE(c.same());
}

TEST_P(SqliteVerifySeesChange, InTheCopy) {
    Copied c;
    c.change(GetParam().sql);
    EXPECT_FALSE(c.same()) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Changes, SqliteVerifySeesChange,
    ::testing::Values(Change{"a text", "UPDATE Customers SET City = 'berlin' WHERE ID = 'ALFKI'"},
                      Change{"a value made Null", "UPDATE Customers SET City = NULL WHERE ID = 'ALFKI'"},
                      Change{"a Null made ''", "UPDATE Customers SET Notes = '' WHERE ID = 'BOLID'"},
                      Change{"currency stored as a number", "UPDATE Customers SET Credit = 1200.5 WHERE ID = 'ALFKI'"},
                      Change{"a date a second on", "UPDATE Customers SET Since = '1999-03-01 00:00:01' WHERE ID = 'ALFKI'"},
                      Change{"a double's last bit", "UPDATE Orders SET Amount = 10.250000000000002 WHERE Amount = 10.25"},
                      Change{"a text's bytes as a blob", "UPDATE Customers SET City = CAST(City AS BLOB) WHERE ID = 'ALFKI'"},
                      Change{"two values swapped between rows",
                             "UPDATE Customers SET City = CASE ID WHEN 'DRACD' THEN 'Cunewalde' ELSE 'Aachen' END "
                             "WHERE ID IN ('DRACD', 'QUICK')"},
                      Change{"a row gone", "DELETE FROM Orders WHERE Quantity = 7"},
                      Change{"a row more", "INSERT INTO Orders (OrderID) VALUES (100)"}));

// The rows cross from the reading thread to the writing one in batches: a
// failure on either side ends the copy with that failure (the other side
// stops at its next batch), and the rows of a table that spans many batches
// all arrive, in order.
namespace {

struct ManyRows {
    TempDir dir;
    std::filesystem::path path = dir / "many.mdb";
    static constexpr int kRows = 3000;  // six batches

    ManyRows() {
        std::vector<std::string> sql = {"CREATE TABLE Lines (ID LONG CONSTRAINT PrimaryKey PRIMARY KEY, Label TEXT(40), Note MEMO)"};
        for (int i = 0; i < kRows; ++i)
            sql.push_back("INSERT INTO Lines VALUES (" + std::to_string(i) + ", 'line-" + std::to_string(i) + "-marker', " +
                          (i % 7 ? "'" + std::string(size_t(i % 300), 'n') + "'" : "NULL") + ")");
        buildDb(path, sql);
    }
    // Copies with `setUp` run on the new file first; the failure's number, 0 when none.
    long copy(const std::string& setUp) {
        std::filesystem::remove(dir / "many.sqlite");
        Database db = DBEngine::Default().OpenDatabase(path.string(), false, true, ";pwd=bluefinchtea");
        const std::vector<TableDef> tables = chosenTables(db, {"Lines"});
        SqliteDb out((dir / "many.sqlite").string(), false);
        if (!setUp.empty()) out.exec(setUp);
        TableDigest seen;
        RowDigester digester;
        long number = 0;
        try {
            copyRowsToSqlite(db, tables, out, [&](const TableDef&, const SqlValue* v, size_t n) { digester.add(v, n, seen); });
            EXPECT_EQ(accessDigest(tables[0]), seen);
            EXPECT_EQ(accessDigest(tables[0]), sqliteDigest(tables[0], out));
            EXPECT_EQ(kRows, seen.rows);
        } catch (const JetError& e) {
            number = e.Number;
        }
        return number;
    }
};

}  // namespace

TEST(SqliteCopy, EveryBatchArrivesAndEitherSidesFailureEndsTheCopy) {
    ManyRows many;
    EXPECT_EQ(0, many.copy(""));
    // The file cannot grow past a few pages: SQLite fails part-way, the reader stops.
    EXPECT_EQ(3146, many.copy("PRAGMA page_size=65536; PRAGMA max_page_count=4"));
    // A data page near the end reads as damage: the reader fails, the writer stops.
    zeroPage(many.path, pageHolding(many.path, "line-2900-marker"));
    EXPECT_EQ(3049, many.copy(""));
}
