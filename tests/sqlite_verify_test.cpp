// The check of an `export --sqlite` copy: a copy as written digests like its
// database, table by table, whatever order SQLite gives the rows back in;
// any change to a value, to a value's storage class or to the rows is seen.
#include <gtest/gtest.h>

#include "built_db.h"
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
