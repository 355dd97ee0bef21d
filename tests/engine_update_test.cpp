// UPDATE: parsing, Jet's per-row refusals, rows that grow and move, indexes.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "row_encode.h"
#include "sql_parser.h"
#include "table_scan.h"
#include "expr_eval.h"
#include "write_helpers.h"

using namespace vantrel;
using namespace vantrel::test;

TEST(UpdateSyntax, StatementsJetCannotParseAre3144) {
    using jet::parseUpdate;
    EXPECT_EQ(3144, jetErrorOf([] { parseUpdate("update Order Details set  a='' where isnull(a)"); }));
    EXPECT_EQ(3144, jetErrorOf([] { parseUpdate("update Table set  a='' where isnull(a)"); }));   // reserved word
    EXPECT_EQ(3144, jetErrorOf([] { parseUpdate("update T set  Value='' where isnull(Value)"); }));
    EXPECT_EQ(3144, jetErrorOf([] { parseUpdate("update T set  Date='' where isnull(Date)"); }));
    // Names with symbols, superscripts or fractions need brackets.
    EXPECT_EQ(3144, jetErrorOf([] { parseUpdate("update T set  q3\u00B9=0 where isnull(q3\u00B9)"); }));
    EXPECT_EQ(3144, jetErrorOf([] { parseUpdate("update T set  a\u00D7b=0 where isnull(a\u00D7b)"); }));
    EXPECT_EQ(3144, jetErrorOf([] { parseUpdate("update T set  Preis\u20AC=0 where isnull(Preis\u20AC)"); }));
    EXPECT_EQ(3144, jetErrorOf([] { parseUpdate("update T set  \u00BD=0 where isnull(\u00BD)"); }));
    EXPECT_EQ(3144, jetErrorOf([] { parseUpdate("update T set a= where isnull(a)"); }));
    EXPECT_EQ(3144, jetErrorOf([] { parseUpdate("update T set a='x' where"); }));
    EXPECT_EQ(3144, jetErrorOf([] { parseUpdate("update T set a='unterminated"); }));
    EXPECT_EQ(3144, jetErrorOf([] { parseUpdate("update 1T set a=1"); }));
    EXPECT_EQ(3251, jetErrorOf([] { parseUpdate("DELETE FROM T"); }));
    EXPECT_EQ(3129, jetErrorOf([] { parseUpdate("FROB T"); }));

    auto st = parseUpdate("UPDATE [Order Details] SET [Value]=0, Note='it''s', Größe=-1.5 WHERE a IS NOT NULL AND (b<>3 OR NOT c=#2000-01-31#);");
    EXPECT_EQ("Order Details", st.table);
    ASSERT_EQ(3u, st.assignments.size());
    EXPECT_EQ("Value", st.assignments[0].column);
    EXPECT_EQ("it's", st.assignments[1].value.str());
    EXPECT_EQ("Größe", st.assignments[2].column);
    EXPECT_DOUBLE_EQ(-1.5, st.assignments[2].value.asDouble());
    ASSERT_TRUE(st.where);
    // Words of the Access application that the engine's SQL leaves free, and
    // letters of any script, stand bare.
    EXPECT_EQ("Name", parseUpdate("update Orders set  Name='' where isnull(Name)").assignments[0].column);
    EXPECT_EQ("Description", parseUpdate("update Orders set  Description='' where isnull(Description)").assignments[0].column);
    EXPECT_EQ("\u5BA2\u6236", parseUpdate("update \u5BA2\u6236 set  \u5BA2\u6236=0 where isnull(\u5BA2\u6236)").table);
    EXPECT_EQ("\u00DF\u00C9\u00F8", parseUpdate("update T set  \u00DF\u00C9\u00F8=0 where isnull(\u00DF\u00C9\u00F8)").assignments[0].column);
    auto lower = parseUpdate("update Orders set  Note='' where isnull(Note)");
    EXPECT_EQ(jet::Expr::Kind::IsNull, lower.where->kind);
}

// Date literals as Jet reads them: a one- or two-digit year is 1930-2029,
// other years 100-9999, and a day or time no calendar or clock has is a
// syntax error in the date (3075), never moved to another day.
TEST(UpdateSyntax, DateLiteralsFollowJetsRules) {
    struct Case {
        const char* literal;
        double days;  // days since 1899-12-30; NaN: refused with 3075
    };
    const double refused = std::nan("");
    const Case cases[] = {
        {"#1/1/99#", 36161},        // 1999-01-01
        {"#1/1/29#", 47119},        // 2029-01-01
        {"#1/1/30#", 10959},        // 1930-01-01
        {"#12/31/0099#", refused},  // four digits: the year 99 itself, before 100
        {"#1/1/100#", -657434},     // the first day
        {"#9999-12-31 23:59:59#", 2958465 + 86399.0 / 86400},
        {"#2000-02-29#", 36585},
        {"#2024-05-01 10:30#", 45413 + 10.5 / 24},
        {"#5/1/2024 10:30 PM#", 45413 + 22.5 / 24},
        {"#5/1/2024 12:00 AM#", 45413},
        {"#10:30:15#", (10 * 3600 + 30 * 60 + 15) / 86400.0},
        {"#10000-01-01#", refused},
        {"#1999-02-30#", refused},
        {"#1900-02-29#", refused},
        {"#2/30/1999#", refused},
        {"#13/1/2000#", refused},
        {"#2000-00-10#", refused},
        {"#2000-01-01 24:00#", refused},
        {"#2000-01-01 10:60#", refused},
        {"#2000-01-01 13:00 PM#", refused},
        {"#2000-01-01 10:00 xyz#", refused},
        {"#2000-01-01x#", refused},
        {"#2000/01-01#", refused},
        {"#2000#", refused},
        {"##", refused},
    };
    for (const Case& c : cases) {
        const std::string sql = std::string("update T set D=") + c.literal;
        if (std::isnan(c.days)) {
            try {
                jet::parseUpdate(sql);
                ADD_FAILURE() << c.literal << " was read";
            } catch (const JetError& e) {
                EXPECT_EQ(3075, e.Number) << c.literal;
                EXPECT_EQ(std::string("Syntax error in date in query expression '") + c.literal + "'.", e.Description);
            }
            continue;
        }
        const auto st = jet::parseUpdate(sql);
        ASSERT_EQ(1u, st.assignments.size()) << c.literal;
        EXPECT_EQ(VarType::Date, st.assignments[0].value.type()) << c.literal;
        EXPECT_NEAR(c.days, st.assignments[0].value.asDouble(), 1e-9) << c.literal;
    }
    // The same in INSERT, and in a condition.
    EXPECT_EQ(3075, jetErrorOf([] { jet::parseStatement("INSERT INTO T VALUES (#1999-02-30#)"); }));
    EXPECT_EQ(3075, jetErrorOf([] { jet::parseStatement("DELETE FROM T WHERE D = #10000-01-01#"); }));
}

TEST(ValidationRules, CommonFormsEvaluate) {
    auto check = [](const char* rule, Variant v) {
        auto e = jet::parseRule(rule, true);
        EXPECT_TRUE(e) << rule;
        if (!e) return Variant();
        jet::EvalContext ctx;
        ctx.implicit = v;
        ctx.today = 45000;
        ctx.column = [](const std::string& n) -> Variant { return n == "Low" ? Variant::integer(1) : Variant::integer(9); };
        return jet::evaluate(*e, ctx);
    };
    EXPECT_TRUE(jet::isTrue(check(">0", Variant::integer(5))));
    EXPECT_FALSE(jet::isTrue(check(">0", Variant::integer(0))));
    EXPECT_TRUE(jet::isTrue(check("Between 0 And 1", Variant::single(0.25f))));
    EXPECT_FALSE(jet::isTrue(check("Not Between 0 And 1", Variant::single(0.25f))));
    EXPECT_TRUE(jet::isTrue(check("In ('a','B')", Variant::text("b"))));  // text compares without case
    EXPECT_TRUE(jet::isTrue(check("Like 'A*'", Variant::text("apple"))));
    EXPECT_FALSE(jet::isTrue(check("Is Not Null", Variant())));
    EXPECT_FALSE(jet::isTrue(check("<>''", Variant::text(""))));
    EXPECT_TRUE(jet::isTrue(check("<Date()", Variant::date(20000))));
    EXPECT_TRUE(jet::isTrue(check("0 Or >100", Variant::integer(150))));
    EXPECT_TRUE(check(">0", Variant()).isNull());  // Null is no violation
    EXPECT_TRUE(jet::isTrue(check("[Low]<[High]", Variant())));
    EXPECT_FALSE(jet::parseRule("StrConv([x],3)=[x] And", true));
    EXPECT_EQ(3085, jetErrorOf([&] { check("Weekday(Date())<7", Variant()); }));
}

class UpdateOnNorthwind : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(corpusFile("nw-lordkarnak.mdb"))) GTEST_SKIP() << "skipped: the shared corpus is absent";
        db_ = copyCorpus("nw-lordkarnak.mdb", dir_);
    }
    TempDir dir_;
    std::filesystem::path db_;
};

TEST_F(UpdateOnNorthwind, NamesTheTableAndColumnsMustHave) {
    Database db = openWritable(db_);
    EXPECT_EQ(3078, jetErrorOf([&] { db.Execute("update Nothing set a=1"); }));
    try {
        db.Execute("update Orders set Nope=1, Freight=1 where Zip=2");
        FAIL();
    } catch (const JetError& e) {
        EXPECT_EQ(3061, e.Number);
        EXPECT_EQ("Too few parameters. Expected 2.", e.Description);
    }
    db.Close();
    EXPECT_EQ(fileBytes(corpusFile("nw-lordkarnak.mdb")), fileBytes(db_));  // nothing changed
}

TEST_F(UpdateOnNorthwind, AllowZeroLengthNoRefusesEmptyText) {
    Database db = openWritable(db_);
    db.Execute("update Customers set  Region='' where isnull(Region)");
    EXPECT_EQ(0, db.RecordsAffected());
    EXPECT_EQ(60, db.LastUpdate().refused.at("AllowZeroLength"));
    db.Close();
    EXPECT_EQ(fileBytes(corpusFile("nw-lordkarnak.mdb")), fileBytes(db_));
}

TEST_F(UpdateOnNorthwind, ValidationRulesRefuseRows) {
    Database db = openWritable(db_);
    db.Execute("update [Order Details] set Quantity=0 where OrderID=10248");
    EXPECT_EQ(0, db.RecordsAffected());
    EXPECT_EQ(3, db.LastUpdate().refused.at("validation rule"));
    db.Execute("update [Order Details] set Quantity=7 where OrderID=10248 and ProductID=11");
    EXPECT_EQ(1, db.RecordsAffected());
    db.Execute("update Employees set BirthDate=#2999-01-01# where EmployeeID=1");
    EXPECT_EQ(1, db.LastUpdate().refused.at("validation rule"));
    db.Close();
    EXPECT_INDEXES_CONSISTENT(db_);
}

TEST_F(UpdateOnNorthwind, EnforcedRelationshipsRefuseOrphansAndOrphaning) {
    Database db = openWritable(db_);
    db.Execute("update Orders set EmployeeID=999 where OrderID < 10260");
    EXPECT_EQ(0, db.RecordsAffected());
    EXPECT_EQ(12, db.LastUpdate().refused.at("relationship"));
    db.Execute("update Orders set EmployeeID=2 where OrderID=10248");
    EXPECT_EQ(1, db.RecordsAffected());
    // Orders refer to employee 1: the key may not change under them.
    db.Execute("update Employees set EmployeeID=100 where EmployeeID=1");
    EXPECT_EQ(1, db.LastUpdate().refused.at("relationship"));
    db.Close();
    EXPECT_INDEXES_CONSISTENT(db_);
    Database check = DBEngine::Default().OpenDatabase(db_.string(), false, true);
    auto employees = columnValues(check, "Orders", "EmployeeID");
    EXPECT_EQ(2, employees.front().asInt());  // order 10248 is the first row
}

TEST_F(UpdateOnNorthwind, IndexedColumnsStayConsistent) {
    Database db = openWritable(db_);
    db.Execute("update Orders set  ShipPostalCode='' where isnull(ShipPostalCode)");  // AllowZeroLength No: refused
    db.Execute("update Orders set Freight=0 where Freight < 10");
    EXPECT_GT(db.RecordsAffected(), 100);
    db.Execute("update Orders set EmployeeID=3 where EmployeeID=4");  // an indexed foreign key
    EXPECT_GT(db.RecordsAffected(), 100);
    db.Execute("update Products set UnitsInStock=0 where UnitsInStock > 50");
    db.Close();
    EXPECT_INDEXES_CONSISTENT(db_);
    Database check = DBEngine::Default().OpenDatabase(db_.string(), false, true);
    for (const Variant& v : columnValues(check, "Orders", "EmployeeID")) EXPECT_NE(4, v.asInt());
}

TEST_F(UpdateOnNorthwind, GrowingRowsMoveBehindForwardingPointers) {
    Database db = openWritable(db_);
    const std::string longText(450, 'x');
    db.Execute("update Suppliers set HomePage='" + longText + "'");  // a memo kept in the row: 900 more bytes each
    EXPECT_EQ(29, db.RecordsAffected());
    db.Execute("update Suppliers set HomePage='" + longText + "y'");  // moved rows grow again, and move on
    EXPECT_EQ(29, db.RecordsAffected());
    db.Execute("update Customers set Address='" + std::string(61, 'a') + "'");  // longer than the column
    EXPECT_EQ(91, db.LastUpdate().refused.at("value too long"));
    db.Close();
    EXPECT_INDEXES_CONSISTENT(db_);
    Database check = DBEngine::Default().OpenDatabase(db_.string(), false, true);
    auto pages = columnValues(check, "Suppliers", "HomePage");
    ASSERT_EQ(29u, pages.size());
    for (const Variant& v : pages) EXPECT_EQ(longText + "y", v.str());
    EXPECT_EQ(29u, columnValues(check, "Suppliers", "CompanyName").size());
}

TEST_F(UpdateOnNorthwind, ValuesItCannotSortIntoAnIndexFailTheStatement) {
    Database db = openWritable(db_);
    // City is indexed; the engine has no sort codes for characters past U+00FF.
    EXPECT_EQ(3251, jetErrorOf([&] { db.Execute("update Customers set City='東京' where Country='Germany'"); }));
    db.Close();
    EXPECT_EQ(fileBytes(corpusFile("nw-lordkarnak.mdb")), fileBytes(db_));
}

TEST(UpdateUniqueIndex, FirstNullRowInStorageOrderGetsTheValue) {
    REQUIRE_CORPUS("jk-V2000-testIndexPropertiesV2000.mdb");
    TempDir dir;
    auto path = copyCorpus("jk-V2000-testIndexPropertiesV2000.mdb", dir);
    Database db = openWritable(path);
    db.Execute("update TableUnique1_temp set  data='' where isnull(data)");
    EXPECT_EQ(1, db.RecordsAffected());
    EXPECT_EQ(3, db.LastUpdate().refused.at("unique index"));
    // Two columns: ('', Null) may stand once; all-Null keys repeat freely.
    db.Execute("update TableUnique2_temp set  data1='' where isnull(data1)");
    EXPECT_EQ(4, db.RecordsAffected());
    EXPECT_EQ(1, db.LastUpdate().refused.at("unique index"));
    db.Execute("update TableUnique1_temp set  data='' where isnull(data)");  // the second run changes nothing
    EXPECT_EQ(0, db.RecordsAffected());
    // An index that ignores Nulls gains entries for rows that get a value.
    db.Execute("update TableIgnoreNulls1 set  data='' where isnull(data)");
    EXPECT_EQ(4, db.RecordsAffected());
    db.Close();
    EXPECT_INDEXES_CONSISTENT(path);
}

TEST(UpdateConversions, WhatConvertsAndWhatIsLeftNull) {
    REQUIRE_CORPUS("jk-V2000-test2V2000.mdb");
    TempDir dir;
    auto path = copyCorpus("jk-V2000-test2V2000.mdb", dir);
    Database db = openWritable(path);
    db.Execute("update MSP_PROJECTS set  PROJ_INFO_STATUS_DATE='' where isnull(PROJ_INFO_STATUS_DATE)");
    EXPECT_EQ(1, db.LastUpdate().refused.at("type does not convert"));
    db.Execute("update MSP_PROJECTS set  PROJ_TYPE=0 where isnull(PROJ_TYPE)");
    EXPECT_EQ(1, db.RecordsAffected());
    db.Execute("update MSP_PROJECTS set  PROJ_PROP_KEYWORDS='' where isnull(PROJ_PROP_KEYWORDS)");  // a memo
    EXPECT_EQ(1, db.RecordsAffected());
    db.Execute("update MSP_PROJECTS set PROJ_TYPE=70000");  // past a Long? no: fits
    EXPECT_EQ(1, db.RecordsAffected());
    db.Execute("update MSP_PROJECTS set PROJ_TYPE='abc'");
    EXPECT_EQ(1, db.LastUpdate().refused.at("type does not convert"));
    db.Close();
    Database check = DBEngine::Default().OpenDatabase(path.string(), false, true);
    EXPECT_EQ(70000, columnValues(check, "MSP_PROJECTS", "PROJ_TYPE")[0].asInt());
    EXPECT_EQ("", columnValues(check, "MSP_PROJECTS", "PROJ_PROP_KEYWORDS")[0].str());
    EXPECT_TRUE(columnValues(check, "MSP_PROJECTS", "PROJ_INFO_STATUS_DATE")[0].isNull());
}

TEST(UpdateJet3, NullFillOnAJet3File) {
    REQUIRE_CORPUS("jk-V1997-testIndexCodesV1997.mdb");
    TempDir dir;
    auto path = copyCorpus("jk-V1997-testIndexCodesV1997.mdb", dir);
    Database db = openWritable(path);
    int tables = 0;
    for (const TableDef& t : db.TableDefs()) {
        if (t.Attributes() != 0) continue;
        for (const Field& f : t.Fields()) {
            if (f.Type() == dbLong || f.Type() == dbInteger || f.Type() == dbDouble || f.Type() == dbCurrency) {
                db.Execute("update [" + t.Name() + "] set [" + f.Name() + "]=0 where [" + f.Name() + "] is null");
                ++tables;
            }
        }
    }
    EXPECT_GT(tables, 10);
    db.Close();
    EXPECT_INDEXES_CONSISTENT(path);
    Database check = DBEngine::Default().OpenDatabase(path.string(), false, true);
    for (const TableDef& t : check.TableDefs()) {
        if (t.Attributes() != 0) continue;
        for (const Field& f : t.Fields())
            if (f.Type() == dbLong || f.Type() == dbInteger || f.Type() == dbDouble || f.Type() == dbCurrency) {
                for (const Variant& v : columnValues(check, t.Name(), f.Name())) {
                    EXPECT_FALSE(v.isNull()) << t.Name() << "." << f.Name();
                }
            }
    }
}

namespace {
bool sameParts(const jet::RowParts& a, const jet::RowParts& b) {
    return a.columnCount == b.columnCount && a.fixed == b.fixed && a.vars == b.vars && a.nullMask == b.nullMask;
}
}  // namespace

TEST(RowEncoding, EveryStoredRowOfTheCorpusComesBack) {
    // Taking a row apart and putting it together again gives the same
    // pieces, and the same bytes unless Jet left padding after the variable
    // data; every Jet3 row (jump tables included) comes back byte for byte.
    // Pieces reused from row to row (of other tables too) give the same, and
    // the length worked out without building a Jet4 row is the built one's.
    int rows = 0, jumpRows = 0, padded = 0;
    jet::RowParts reused;
    std::vector<uint8_t> rebuilt;
    for (const char* name : {"jk-V1997-test2V1997.mdb", "jk-V1997-testIndexCodesV1997.mdb", "jk-V1997-testV1997.mdb",
                             "jk-V2000-test2V2000.mdb", "nw-lordkarnak.mdb", "jk-V2003-delColTestV2003.mdb"}) {
        if (!std::filesystem::exists(corpusFile(name))) {
            GTEST_SKIP() << "skipped: the shared corpus is absent";
        }
        jet::PageFile file(corpusFile(name).string(), {});
        const jet::Layout l = jet::Layout::forFormat(file.jet3());
        for (const auto& e : jet::readTableCatalog(file)) {
            if (!e.local()) continue;
            jet::TableDefData t = jet::readTableDef(file, e.tdefPage);
            jet::TableScan scan(file, t);
            while (scan.next()) {
                jet::Bytes row = scan.row().bytes;
                const jet::RowParts parts = jet::splitRow(l, t, row);
                auto again = jet::joinRow(l, parts);
                const bool identical = std::vector<uint8_t>(row.data(), row.data() + row.size()) == again;
                EXPECT_TRUE(sameParts(parts, jet::splitRow(l, t, jet::Bytes(again.data(), again.size())))) << name << " " << e.name;
                jet::splitRow(l, t, row, reused);
                ASSERT_TRUE(sameParts(parts, reused)) << name << " " << e.name;
                jet::joinRow(l, reused, rebuilt);
                ASSERT_EQ(rebuilt, again) << name << " " << e.name;
                if (const auto size = jet::joinedSize(l, reused)) {
                    ASSERT_EQ(*size, again.size()) << name << " " << e.name;
                } else {
                    ASSERT_TRUE(l.jet3);
                }
                if (l.jet3) {
                    EXPECT_TRUE(identical) << name << " " << e.name;
                }
                padded += !identical;
                ++rows;
                jumpRows += l.jet3 && row.size() > 256;
            }
        }
    }
    EXPECT_GT(rows, 1000);
    EXPECT_GT(jumpRows, 0);
    EXPECT_LT(padded, rows / 100);
}

TEST(UpdateJet3, RowsThatCrossJumpBoundariesAndMove) {
    REQUIRE_CORPUS("jk-V1997-test2V1997.mdb");
    TempDir dir;
    auto path = copyCorpus("jk-V1997-test2V1997.mdb", dir);
    Database db = openWritable(path);
    const std::string text(120, 'J');  // Jet3 text is one byte a character
    int changed = 0;
    std::set<std::string> indexed;
    for (const Index& i : db.TableDefs().Item("MSP_PROJECTS").Indexes())
        for (const Field& f : i.Fields()) indexed.insert(f.Name());
    for (const Field& f : db.TableDefs().Item("MSP_PROJECTS").Fields()) {
        if (f.Type() != dbText || f.Size() < 120 || indexed.count(f.Name())) continue;
        db.Execute("update MSP_PROJECTS set [" + f.Name() + "]='" + text + "'");
        changed += db.RecordsAffected();
    }
    EXPECT_GE(changed, 3);
    db.Close();
    EXPECT_INDEXES_CONSISTENT(path);
    Database check = DBEngine::Default().OpenDatabase(path.string(), false, true);
    for (const Field& f : check.TableDefs().Item("MSP_PROJECTS").Fields()) {
        if (f.Type() != dbText || f.Size() < 120 || indexed.count(f.Name())) continue;
        EXPECT_EQ(text, columnValues(check, "MSP_PROJECTS", f.Name())[0].str()) << f.Name();
    }
}
