// The rules a database declares over its rows, applied alike by INSERT and
// UPDATE: each case breaks (or, where Jet lets it pass, seems to break) one
// rule, once through each statement. And the defaults a new row takes.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "catalog.h"
#include "column_default.h"
#include "corpus.h"
#include "page_file.h"
#include "rules_db.h"
#include "sql_parser.h"
#include "write_exec.h"
#include "write_helpers.h"

namespace vantrel::test {
namespace {

struct RuleCase {
    const char* what;
    const char* column;
    const char* value;    // SQL literal
    const char* refusal;  // "" when Jet lets the row through
};

const RuleCase kRuleCases[] = {
    {"EmptyTextWhereAllowZeroLengthIsNo", "Note", "''", "AllowZeroLength"},
    {"NullInARequiredColumn", "Ref", "Null", "required"},
    {"KeyAUniqueIndexHolds", "Code", "'A1'", "unique index"},
    {"KeyTheReferencedTableLacks", "CustomerID", "'NOONE'", "relationship"},
    {"KeyTheReferencedTableHas", "CustomerID", "'ALFKI'", ""},
    {"NullKeyRefersToNothing", "CustomerID", "Null", ""},
    {"ColumnRuleFalse", "Qty", "0", "validation rule"},
    {"ColumnRuleNull", "Qty", "Null", ""},
    {"TableRuleFalse", "Discount", "50", "validation rule"},
    {"TableRuleNull", "Discount", "Null", ""},
};

const char* const kOrderColumns[] = {"OrderID", "CustomerID", "Code", "Note", "Ref", "Qty", "Price", "Discount"};
const char* const kNewOrder[] = {"9", "'BOLID'", "'C9'", "'ninth'", "'r9'", "3", "30", "3"};

enum class Through { Insert, Update };

class RowRulesAlike : public ::testing::TestWithParam<std::tuple<Through, RuleCase>> {};

TEST_P(RowRulesAlike, RefuseOrPassTheSameRowsWithTheSameReason) {
    const auto [through, c] = GetParam();
    TempDir dir;
    const auto path = buildRulesDb(dir / "rules.mdb");
    Database db = openWritable(path);
    std::string sql;
    if (through == Through::Insert) {
        std::string names, values;
        for (size_t i = 0; i < std::size(kOrderColumns); ++i) {
            names += std::string(i ? ", " : "") + kOrderColumns[i];
            values += std::string(i ? ", " : "") + (kOrderColumns[i] == std::string(c.column) ? c.value : kNewOrder[i]);
        }
        sql = "INSERT INTO Orders (" + names + ") VALUES (" + values + ")";
    } else {
        sql = std::string("UPDATE Orders SET ") + c.column + " = " + c.value + " WHERE OrderID = 2";
    }
    const auto before = columnValues(db, "Orders", c.column);
    db.Execute(sql);
    const auto after = columnValues(db, "Orders", c.column);
    const bool refused = *c.refusal != 0;
    EXPECT_EQ(refused ? 0 : 1, db.RecordsAffected()) << sql;
    if (refused) {
        ASSERT_EQ(1u, db.LastUpdate().refused.size()) << sql;
        EXPECT_EQ(1, db.LastUpdate().refused.count(c.refusal)) << sql << ": refused for " << db.LastUpdate().refused.begin()->first;
        // Nothing written: no new row, the old one as it was.
        ASSERT_EQ(before.size(), after.size());
        EXPECT_EQ(before[1].isNull(), after[1].isNull());
        if (!before[1].isNull() && before[1].type() == VarType::Text) {
            EXPECT_EQ(before[1].str(), after[1].str());
        }
    } else {
        EXPECT_TRUE(db.LastUpdate().refused.empty()) << sql << ": refused for " << db.LastUpdate().refused.begin()->first;
        EXPECT_EQ(before.size() + (through == Through::Insert ? 1 : 0), after.size());
    }
    db.Close();
    EXPECT_INDEXES_CONSISTENT(path);
}

INSTANTIATE_TEST_SUITE_P(Cases, RowRulesAlike, ::testing::Combine(::testing::Values(Through::Insert, Through::Update), ::testing::ValuesIn(kRuleCases)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) == Through::Insert ? "Insert_" : "Update_") + std::get<1>(info.param).what;
                         });

TEST(RowRules, UpdateMayNotChangeAKeyOthersReferTo) {
    TempDir dir;
    const auto path = buildRulesDb(dir / "rules.mdb");
    Database db = openWritable(path);
    db.Execute("UPDATE Customers SET ID = 'ZZZZZ' WHERE ID = 'ALFKI'");
    EXPECT_EQ(1, db.LastUpdate().refused.at("relationship"));
    db.Execute("INSERT INTO Customers VALUES ('FREE', 'Nobody orders')");  // the referenced side needs no check
    EXPECT_EQ(1, db.RecordsAffected());
    db.Execute("UPDATE Customers SET ID = 'LOOSE' WHERE ID = 'FREE'");
    EXPECT_EQ(1, db.RecordsAffected());
}

TEST(RowRules, ANewReferencedKeyServesTheNextInsert) {
    TempDir dir;
    const auto path = buildRulesDb(dir / "rules.mdb");
    Database db = openWritable(path);
    // One unit of work: the order's rule was read before the customer existed.
    db.BeginTrans();
    db.Execute("INSERT INTO Orders VALUES (3, 'ALFKI', 'C3', 'x', 'r', 1, 10, 1)");
    db.Execute("INSERT INTO Orders VALUES (4, 'NEWCO', 'C4', 'x', 'r', 1, 10, 1)");
    EXPECT_EQ(1, db.LastUpdate().refused.at("relationship"));
    db.Execute("INSERT INTO Customers VALUES ('NEWCO', 'New Company')");
    db.Execute("INSERT INTO Orders VALUES (4, 'NEWCO', 'C4', 'x', 'r', 1, 10, 1)");
    EXPECT_EQ(1, db.RecordsAffected());
    db.Execute("INSERT INTO Lines (OrderID) VALUES (4)");
    EXPECT_EQ(1, db.RecordsAffected());
    db.CommitTrans();
    db.Close();
    EXPECT_INDEXES_CONSISTENT(path);
}

TEST(RowRules, AKeyRolledBackServesNoLaterInsert) {
    TempDir dir;
    const auto path = buildRulesDb(dir / "rules.mdb");
    Database db = openWritable(path);
    db.BeginTrans();
    db.Execute("INSERT INTO Orders VALUES (3, 'ALFKI', 'C3', 'x', 'r', 1, 10, 1)");  // the rules are read now
    db.Execute("INSERT INTO Customers VALUES ('NEWCO', 'New Company')");
    db.Rollback();
    db.Execute("INSERT INTO Orders VALUES (4, 'NEWCO', 'C4', 'x', 'r', 1, 10, 1)");
    EXPECT_EQ(1, db.LastUpdate().refused.at("relationship"));
    EXPECT_EQ(2u, columnValues(db, "Orders", "OrderID").size());
}

TEST(RowRules, ARuleThisEngineCannotEvaluateFailsTheInsert) {
    TempDir dir;
    const auto path = buildRulesDb(dir / "rules.mdb");
    Database db = openWritable(path);
    db.Execute("ALTER TABLE Orders SET ValidationRule = '[Discount] * 2 < [Price]'");
    EXPECT_EQ(3251, jetErrorOf([&] { db.Execute("INSERT INTO Orders VALUES (3, 'ALFKI', 'C3', 'x', 'r', 1, 10, 1)"); }));
    EXPECT_EQ(2u, columnValues(db, "Orders", "OrderID").size());
}

// ---- Defaults

TEST(ColumnDefaults, ConstantsAndTheClockEvaluate) {
    const double today = 45000.75;  // an afternoon in 2023
    EXPECT_EQ(1, jet::ColumnDefault("A", "1").value(today).asInt());
    EXPECT_DOUBLE_EQ(-2.5, jet::ColumnDefault("A", "-2.5").value(today).asDouble());
    EXPECT_EQ("pcs", jet::ColumnDefault("A", "\"pcs\"").value(today).str());
    EXPECT_EQ("it's", jet::ColumnDefault("A", "'it''s'").value(today).str());
    EXPECT_DOUBLE_EQ(36922, jet::ColumnDefault("A", "#2001-01-31#").value(today).asDouble());
    EXPECT_TRUE(jet::ColumnDefault("A", "Yes").value(today).boolValue());
    EXPECT_FALSE(jet::ColumnDefault("A", "False").value(today).boolValue());
    EXPECT_FALSE(jet::ColumnDefault("A", "=No").value(today).boolValue());  // forms Access keeps: 0, No, FALSE, =No, "text"
    EXPECT_TRUE(jet::ColumnDefault("A", "Null").value(today).isNull());
    EXPECT_DOUBLE_EQ(45000, jet::ColumnDefault("A", "=Date()").value(today).asDouble());
    EXPECT_DOUBLE_EQ(today, jet::ColumnDefault("A", "Now()").value(today).asDouble());
    EXPECT_FALSE(jet::ColumnDefault().present());
    EXPECT_TRUE(jet::ColumnDefault().value(today).isNull());
}

TEST(ColumnDefaults, AnythingElseIsRefusedNotGuessed) {
    for (const char* text : {"GenGUID()", "[Qty] * 2", "UCase('a')", "1 + 1", "", "Date() + 1", "CurrentUser()"}) {
        const jet::ColumnDefault d("A", text);
        EXPECT_TRUE(d.present()) << text;
        EXPECT_EQ(3251, jetErrorOf([&] { d.value(0); })) << text;
    }
}

TEST(ColumnDefaults, FillTheColumnsAnInsertOmits) {
    TempDir dir;
    const auto path = buildRulesDb(dir / "rules.mdb");
    Database db = openWritable(path);
    db.Execute("INSERT INTO Lines (OrderID) VALUES (1)");
    db.Execute("INSERT INTO Lines (OrderID, Qty, Unit, Gift, Remark) VALUES (2, 5, 'kg', False, 'named')");
    ASSERT_EQ(2u, columnValues(db, "Lines", "LineID").size());
    EXPECT_EQ(1, columnValues(db, "Lines", "Qty")[0].asInt());
    EXPECT_EQ("pcs", columnValues(db, "Lines", "Unit")[0].str());
    EXPECT_DOUBLE_EQ(36922, columnValues(db, "Lines", "Shipped")[0].asDouble());
    EXPECT_TRUE(columnValues(db, "Lines", "Gift")[0].boolValue());
    EXPECT_DOUBLE_EQ(-2.5, columnValues(db, "Lines", "Price")[0].asDouble());
    EXPECT_TRUE(columnValues(db, "Lines", "Remark")[0].isNull());
    // Named columns keep the statement's values.
    EXPECT_EQ(5, columnValues(db, "Lines", "Qty")[1].asInt());
    EXPECT_EQ("kg", columnValues(db, "Lines", "Unit")[1].str());
    EXPECT_FALSE(columnValues(db, "Lines", "Gift")[1].boolValue());
    EXPECT_EQ("named", columnValues(db, "Lines", "Remark")[1].str());
    db.Close();
    EXPECT_INDEXES_CONSISTENT(path);
}

TEST(ColumnDefaults, ADefaultMeetsTheRulesLikeAnyValue) {
    TempDir dir;
    const auto path = buildRulesDb(dir / "rules.mdb");
    Database db = openWritable(path);
    db.Execute("ALTER TABLE Lines ALTER COLUMN Qty SET DefaultValue = '0'");
    db.Execute("INSERT INTO Lines (OrderID) VALUES (1)");
    EXPECT_EQ(1, db.LastUpdate().refused.at("validation rule"));
    db.Execute("ALTER TABLE Lines ALTER COLUMN Qty SET DefaultValue = '[OrderID]'");
    EXPECT_EQ(3251, jetErrorOf([&] { db.Execute("INSERT INTO Lines (OrderID) VALUES (1)"); }));
    db.Execute("INSERT INTO Lines (OrderID, Qty) VALUES (1, 4)");  // named: the default is not needed
    EXPECT_EQ(1, db.RecordsAffected());
    db.Execute("INSERT INTO Lines (OrderID, Qty) VALUES (7, 4)");  // no order 7
    EXPECT_EQ(1, db.LastUpdate().refused.at("relationship"));
}

TEST(ColumnDefaults, DateTakesTheStatementsToday) {
    TempDir dir;
    const auto path = buildRulesDb(dir / "rules.mdb");
    {
        Database db = openWritable(path);
        db.Execute("ALTER TABLE Lines ALTER COLUMN Shipped SET DefaultValue = '=Date()'");
        db.Close();
    }
    {
        jet::PageFile::Options opt;
        opt.writable = true;
        jet::PageFile file(path.string(), opt);
        const auto catalog = jet::readTableCatalog(file);
        jet::WriterSet writers(file);
        auto st = jet::parseStatement("INSERT INTO Lines (OrderID) VALUES (1)");
        const auto r = jet::executeInsert(catalog, std::get<jet::InsertStatement>(st), writers, 45000.75);
        EXPECT_EQ(1, r.affected);
        writers.flush();
        file.commit();
    }
    Database db = openWritable(path);
    EXPECT_DOUBLE_EQ(45000, columnValues(db, "Lines", "Shipped")[0].asDouble());
}

}  // namespace
}  // namespace vantrel::test
