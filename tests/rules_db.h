// A database whose tables declare every kind of row rule: AllowZeroLength,
// Required, a unique index, an enforced relationship, column and table
// validation rules, and default values. Made with the engine's own
// statements; the relationships go into MSysRelationships as Access records
// them, one row per column pair.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "built_db.h"
#include "catalog.h"
#include "page_file.h"
#include "properties.h"
#include "table_writer.h"

namespace vantrel::test {

struct NewRelationship {
    std::string name, table, referencedTable;
    std::vector<std::string> columns, referencedColumns;
    bool enforced = true;
};

inline void addRelationship(const std::filesystem::path& db, const NewRelationship& r) {
    jet::PageFile::Options opt;
    opt.writable = true;
    jet::PageFile file(db.string(), opt);
    const jet::CatalogEntry* rel = nullptr;
    const auto catalog = jet::readTableCatalog(file);
    for (const auto& e : catalog)
        if (e.name == "MSysRelationships") rel = &e;
    if (!rel) throw std::runtime_error("the database has no MSysRelationships");
    jet::TableWriter w(file, rel->tdefPage);
    const auto& cols = w.table().columns;
    for (size_t k = 0; k < r.columns.size(); ++k) {
        std::vector<Variant> row(cols.size());
        for (size_t i = 0; i < cols.size(); ++i) {
            const std::string n = jet::upperAscii(cols[i].name);
            if (n == "SZRELATIONSHIP") row[i] = Variant::text(r.name);
            else if (n == "GRBIT") row[i] = Variant::longInt(r.enforced ? 0 : 0x2);
            else if (n == "CCOLUMN") row[i] = Variant::longInt(int32_t(r.columns.size()));
            else if (n == "ICOLUMN") row[i] = Variant::longInt(int32_t(k));
            else if (n == "SZOBJECT") row[i] = Variant::text(r.table);
            else if (n == "SZCOLUMN") row[i] = Variant::text(r.columns[k]);
            else if (n == "SZREFERENCEDOBJECT") row[i] = Variant::text(r.referencedTable);
            else if (n == "SZREFERENCEDCOLUMN") row[i] = Variant::text(r.referencedColumns[k]);
        }
        if (const std::string why = w.insert(row, std::vector<bool>(cols.size(), true)); !why.empty())
            throw std::runtime_error("MSysRelationships refused a row: " + why);
    }
    w.flush();
    file.commit();
}

// Customers(ID) <- Orders(CustomerID), enforced. Orders: Code unique, Note
// AllowZeroLength No, Ref required, Qty > 0, and the table's rule
// [Discount] < [Price]. Two orders: 1 (ALFKI, A1) and 2 (BOLID, B2).
// Lines(OrderID) -> Orders(OrderID), enforced, with defaults and Qty > 0.
inline std::filesystem::path buildRulesDb(const std::filesystem::path& path) {
    buildDb(path, {
        "CREATE TABLE Customers (ID TEXT(5) CONSTRAINT PrimaryKey PRIMARY KEY, [Name] TEXT(40))",
        "INSERT INTO Customers VALUES ('ALFKI', 'Alfreds Futterkiste')",
        "INSERT INTO Customers VALUES ('BOLID', 'Bólido Comidas')",
        "CREATE TABLE Orders (OrderID LONG CONSTRAINT PrimaryKey PRIMARY KEY, CustomerID TEXT(5), "
        "Code TEXT(10) CONSTRAINT Code UNIQUE, Note TEXT(20), Ref TEXT(10), Qty LONG, Price DOUBLE, Discount DOUBLE)",
        "INSERT INTO Orders VALUES (1, 'ALFKI', 'A1', 'first', 'r1', 1, 10, 1)",
        "INSERT INTO Orders VALUES (2, 'BOLID', 'B2', 'second', 'r2', 2, 20, 2)",
        "ALTER TABLE Orders ALTER COLUMN Note SET AllowZeroLength = False",
        "ALTER TABLE Orders ALTER COLUMN Ref SET Required = True",
        "ALTER TABLE Orders ALTER COLUMN Qty SET ValidationRule = '>0'",
        "ALTER TABLE Orders SET ValidationRule = '[Discount] < [Price]'",
        "CREATE TABLE Lines (LineID COUNTER CONSTRAINT PrimaryKey PRIMARY KEY, OrderID LONG, Qty LONG, Unit TEXT(10), "
        "Shipped DATETIME, Gift BIT, Price CURRENCY, Remark TEXT(20))",
        "ALTER TABLE Lines ALTER COLUMN Qty SET ValidationRule = '>0'",
        "ALTER TABLE Lines ALTER COLUMN Qty SET DefaultValue = '1'",
        "ALTER TABLE Lines ALTER COLUMN Unit SET DefaultValue = '\"pcs\"'",
        "ALTER TABLE Lines ALTER COLUMN Shipped SET DefaultValue = '#2001-01-31#'",
        "ALTER TABLE Lines ALTER COLUMN Gift SET DefaultValue = 'Yes'",
        "ALTER TABLE Lines ALTER COLUMN Price SET DefaultValue = '-2.5'",
        "ALTER TABLE Lines ALTER COLUMN Remark SET DefaultValue = 'Null'",
    });
    addRelationship(path, {"CustomersOrders", "Orders", "Customers", {"CustomerID"}, {"ID"}});
    addRelationship(path, {"OrdersLines", "Lines", "Orders", {"OrderID"}, {"OrderID"}});
    return path;
}

}  // namespace vantrel::test
