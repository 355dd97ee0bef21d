// Reading real files through the object model: catalog order and attributes,
// field and index definitions, rows (deleted, moved, added columns) and long values.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "corpus.h"
#include "dao.h"
#include "sha256.h"
#include "user_tables.h"

using namespace vantrel;
using vantrel::test::corpusFile;

namespace {

Database openCorpus(const std::string& name) {
    return DBEngine::Default().OpenDatabase(corpusFile(name).string(), false, true, ";pwd=bluefinchtea");
}

std::vector<std::string> userTables(const Database& db) {
    std::vector<std::string> out;
    for (const TableDef& t : db.TableDefs())
        if (IsUserTable(t)) out.push_back(t.Name());
    return out;
}

std::vector<std::vector<Variant>> allRows(const Database& db, const std::string& table) {
    std::vector<std::vector<Variant>> rows;
    Recordset rs = db.OpenRecordset(table);
    auto fields = rs.Fields();
    while (!rs.EOF_()) {
        std::vector<Variant> row;
        for (const Field& f : fields) row.push_back(f.Value());
        rows.push_back(std::move(row));
        rs.MoveNext();
    }
    return rows;
}

nlohmann::json expectedTable(const std::string& file, const std::string& table) {
    std::ifstream in(corpusFile(file).replace_extension(".expected.json"));
    auto j = nlohmann::json::parse(in);
    for (auto& t : j["tables"])
        if (t["name"] == table) return t;
    return {};
}

}  // namespace

TEST(Catalog, TableDefsComeInTheEnginesNameOrder) {
    REQUIRE_CORPUS("jk-V1997-testIndexCodesV1997.mdb");
    Database db = openCorpus("jk-V1997-testIndexCodesV1997.mdb");
    auto names = userTables(db);
    ASSERT_EQ(29u, names.size());
    // Jet's General order puts "_" before digits: not plain code-point order.
    EXPECT_EQ((std::vector<std::string>{"Table1", "Table1_desc", "Table10", "Table10_desc", "Table11"}),
              std::vector<std::string>(names.begin(), names.begin() + 5));
    EXPECT_EQ("Table9_desc", names.back());
    // Enumeration is stable.
    EXPECT_EQ(names, userTables(db));
}

TEST(Catalog, SystemTablesCarryDaoAttributes) {
    REQUIRE_CORPUS("nw-lordkarnak.mdb");
    Database db = openCorpus("nw-lordkarnak.mdb");
    int system = 0;
    for (const TableDef& t : db.TableDefs()) {
        if (t.Name().rfind("MSys", 0) == 0) {
            EXPECT_NE(0, t.Attributes() & int32_t(0x80000002u)) << t.Name();
            ++system;
        }
    }
    EXPECT_GE(system, 5);
    EXPECT_EQ((std::vector<std::string>{"Categories", "Customers", "Employees", "Order Details", "Orders", "Products",
                                        "Shippers", "Suppliers", "Table1"}),
              userTables(db));
}

TEST(Definitions, FieldsKeepColumnOrderAndDaoTypes) {
    REQUIRE_CORPUS("jk-V2000-fixedNumericTestV2000.mdb");
    Database db = openCorpus("jk-V2000-fixedNumericTestV2000.mdb");
    TableDef t = db.TableDefs().Item("test");
    auto fields = t.Fields();
    ASSERT_GE(fields.Count(), 2);
    int decimals = 0;
    for (const Field& f : fields) decimals += f.Type() == dbDecimal;
    EXPECT_EQ(6, decimals);  // Jet's on-disk code 0x10 is DAO's 20
    EXPECT_EQ("col2", fields.Item("COL2").Name());
    EXPECT_THROW(fields.Item("nope"), JetError);
}

TEST(Definitions, IndexesFromLogicalAndPhysicalDefinitions) {
    REQUIRE_CORPUS("nw-lordkarnak.mdb");
    Database db = openCorpus("nw-lordkarnak.mdb");
    auto details = db.TableDefs().Item("Order Details").Indexes();
    const Index& pk = details.Item("PrimaryKey");
    EXPECT_TRUE(pk.Primary());
    EXPECT_TRUE(pk.Unique());
    ASSERT_EQ(2, pk.Fields().Count());
    EXPECT_EQ("OrderID", pk.Fields()[0].Name());
    EXPECT_EQ("ProductID", pk.Fields()[1].Name());
    EXPECT_TRUE(details.Item("OrdersOrder Details").Foreign());
    EXPECT_FALSE(details.Item("OrderID").Unique());

    auto customers = db.TableDefs().Item("Customers").Indexes();
    EXPECT_FALSE(customers.Item("City").Unique());
    EXPECT_FALSE(customers.Item("City").Primary());
    EXPECT_EQ("CustomerID", customers.Item("PrimaryKey").Fields()[0].Name());
}

TEST(Definitions, Jet3IndexDefinitions) {
    REQUIRE_CORPUS("jk-V1997-indexTestV1997.mdb");
    Database db = openCorpus("jk-V1997-indexTestV1997.mdb");
    auto idx = db.TableDefs().Item("Table1").Indexes();
    EXPECT_TRUE(idx.Item("PrimaryKey").Primary());
    EXPECT_EQ(1, idx.Item("PrimaryKey").Fields().Count());
    EXPECT_EQ("id", idx.Item("PrimaryKey").Fields()[0].Name());
    EXPECT_TRUE(idx.Item("Table2Table1").Foreign());
}

TEST(Rows, DeletedRowsAreSkippedAndMovedRowsFollowed) {
    REQUIRE_CORPUS("jk-V2000-overflowTestV2000.mdb");
    EXPECT_EQ(2u, allRows(openCorpus("jk-V2000-delTestV2000.mdb"), "Table").size());
    EXPECT_EQ(4u, allRows(openCorpus("nw-lordkarnak.mdb"), "Table1").size());
    // Two of these seven rows live on other pages behind forwarding slots.
    auto rows = allRows(openCorpus("jk-V2000-overflowTestV2000.mdb"), "Table1");
    ASSERT_EQ(7u, rows.size());
    std::multiset<std::string> firsts;
    for (auto& r : rows) firsts.insert(r[1].isNull() ? "-" : r[1].str());
    EXPECT_EQ(1u, firsts.count("row3col3"));
    EXPECT_EQ(1u, firsts.count("row6col2"));
}

TEST(Rows, ColumnGapsFromDroppedColumns) {
    REQUIRE_CORPUS("jk-V2003-delColTestV2003.mdb");
    Database db = openCorpus("jk-V2003-delColTestV2003.mdb");
    auto want = expectedTable("jk-V2003-delColTestV2003.mdb", "Table1");
    auto fields = db.TableDefs().Item("Table1").Fields();
    ASSERT_EQ(want["columns"].size(), size_t(fields.Count()));
    for (int i = 0; i < fields.Count(); ++i) EXPECT_EQ(want["columns"][size_t(i)]["name"], fields[i].Name());
    EXPECT_EQ(want["rows"].size(), allRows(db, "Table1").size());
}

TEST(LongValues, InlineSinglePageAndChainedValues) {
    REQUIRE_CORPUS("jk-V2000-test2V2000.mdb");
    Database db = openCorpus("jk-V2000-test2V2000.mdb");
    auto rows = allRows(db, "MSP_PROJECTS");
    ASSERT_EQ(1u, rows.size());
    auto want = expectedTable("jk-V2000-test2V2000.mdb", "MSP_PROJECTS");
    auto fields = db.TableDefs().Item("MSP_PROJECTS").Fields();
    int checked = 0;
    for (int i = 0; i < fields.Count(); ++i) {
        const auto& w = want["rows"][0][size_t(i)];
        const Variant& v = rows[0][size_t(i)];
        if (fields[i].Type() == dbMemo) {
            if (w.is_null()) EXPECT_TRUE(v.isNull()) << fields[i].Name();
            else EXPECT_EQ(w.get<std::string>(), v.str()) << fields[i].Name();
            ++checked;
        } else if (fields[i].Type() == dbLongBinary && !w.is_null()) {
            const auto* p = reinterpret_cast<const uint8_t*>(v.str().data());
            EXPECT_EQ(w["len"].get<size_t>(), v.str().size());
            EXPECT_EQ(w["sha256"].get<std::string>(), sha256Hex(p, v.str().size()));
            ++checked;
        }
    }
    EXPECT_GE(checked, 10);
}

TEST(LongValues, NorthwindPicturesOnPageChains) {
    REQUIRE_CORPUS("nw-lordkarnak.mdb");
    Database db = openCorpus("nw-lordkarnak.mdb");
    auto want = expectedTable("nw-lordkarnak.mdb", "Categories");
    std::multiset<std::string> expected, got;
    for (auto& r : want["rows"]) expected.insert(r[3]["sha256"].get<std::string>());
    for (auto& r : allRows(db, "Categories")) {
        ASSERT_EQ(VarType::Binary, r[3].type());
        EXPECT_GT(r[3].str().size(), 4096u);  // longer than a page: a chain
        got.insert(sha256Hex(reinterpret_cast<const uint8_t*>(r[3].str().data()), r[3].str().size()));
    }
    EXPECT_EQ(expected, got);
}

TEST(Recordset, EofMoveNextAndClosedObjects) {
    REQUIRE_CORPUS("jk-V2000-queryTestV2000.mdb");
    Database db = openCorpus("jk-V2000-queryTestV2000.mdb");
    Recordset empty = db.OpenRecordset("Table1");
    EXPECT_TRUE(empty.EOF_());
    try {
        empty.MoveNext();
        FAIL();
    } catch (const JetError& e) {
        EXPECT_EQ(3021, e.Number);
    }
    try {
        db.OpenRecordset("NoSuchTable");
        FAIL();
    } catch (const JetError& e) {
        EXPECT_EQ(3078, e.Number);
    }
    db.Close();
    EXPECT_FALSE(db.IsOpen());
    try {
        db.TableDefs();
        FAIL();
    } catch (const JetError& e) {
        EXPECT_EQ(3420, e.Number);
    }
    EXPECT_THROW(empty.EOF_(), JetError);
}

TEST(Workspace, JetWorkspaceForAdminOnly) {
    DBEngine& engine = DBEngine::Default();
    EXPECT_NO_THROW(engine.CreateWorkspace("", "admin", "", dbUseJet));
    EXPECT_NO_THROW(engine.CreateWorkspace("", "Admin", "", dbUseJet));
    try {
        engine.CreateWorkspace("", "someone", "", dbUseJet);
        FAIL();
    } catch (const JetError& e) {
        EXPECT_EQ(3029, e.Number);
    }
    EXPECT_EQ(&engine, &DBEngine::Default());
}
