// Damage says where it lies: whatever kind of page is damaged, the 3049 that
// reaches the caller names the table and the page.
#include <gtest/gtest.h>

#include "built_db.h"
#include "damage_helpers.h"
#include "write_helpers.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

const std::string kMemo = [] {
    std::string s;
    while (s.size() < 3000) s += "QXJZ";
    return s;
}();

std::vector<std::string> statements() {
    std::vector<std::string> out = shopStatements();
    out.push_back("CREATE TABLE Notes (ID LONG CONSTRAINT PrimaryKey PRIMARY KEY, Body MEMO)");
    out.push_back("INSERT INTO Notes VALUES (1, '" + kMemo + "')");
    return out;
}

struct Case {
    const char* what;
    const char* table;
    std::function<uint32_t(const std::filesystem::path&)> page;  // the page damaged (zeroed)
    std::function<void(Database&)> meet;                         // what meets the damage
};

}  // namespace

TEST(DamagePlace, Every3049NamesTheTableAndThePage) {
    const std::vector<Case> cases = {
        {"a data page", "Orders", [](const auto& db) { return firstDataPage(db, "Orders"); },
         [](Database& d) { columnValues(d, "Orders", "OrderID"); }},
        {"a long value's page", "Notes", [](const auto& db) { return pageHolding(db, kMemo.substr(0, 200)); },
         [](Database& d) { columnValues(d, "Notes", "Body"); }},
        {"an index page", "Orders", [](const auto& db) { return tableDefOf(db, "Orders").realIndexes.at(0).rootPage; },
         [](Database& d) { d.Execute("INSERT INTO Orders (CustomerID) VALUES ('X')"); }},
        {"a table definition", "Customers", [](const auto& db) { return tableDefOf(db, "Customers").page; },
         [](Database& d) { columnValues(d, "Customers", "ID"); }},
    };
    TempDir dir;
    const auto built = buildDb(dir / "built.mdb", statements());
    for (const Case& c : cases) {
        const auto path = dir / (std::string(c.what) + ".mdb");
        std::filesystem::copy_file(built, path);
        const uint32_t page = c.page(path);
        ASSERT_NE(0u, page) << c.what;
        zeroPage(path, page);
        JetError e(0, "");
        try {
            Database d = openWritable(path);
            c.meet(d);
        } catch (const JetError& x) {
            e = x;
        }
        EXPECT_EQ(3049, e.Number) << c.what << ": " << e.Description;
        // "table 'T': page N: ..." (a value's damage: "table 'T', column 'C': page N: ...").
        EXPECT_NE(std::string::npos, e.Description.find(std::string("table '") + c.table + "'")) << c.what << ": " << e.Description;
        EXPECT_NE(std::string::npos, e.Description.find("page " + std::to_string(page) + ":")) << c.what << ": " << e.Description;
    }
}
