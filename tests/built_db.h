// Databases the tests make for themselves: a new file, the given statements
// run in it, closed again.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "dao.h"

namespace vantrel::test {

inline std::filesystem::path buildDb(const std::filesystem::path& path, const std::vector<std::string>& statements,
                                     const std::string& password = "bluefinchtea") {
    Database db = DBEngine::Default().CreateDatabase(path.string(), std::string(dbLangGeneral) + ";pwd=" + password);
    for (const auto& s : statements) db.Execute(s);
    db.Close();
    return path;
}

// A shop's tables with Nulls in text, memo, number, date and Yes/No columns,
// a unique index over a nullable column and a descending one.
inline std::vector<std::string> shopStatements() {
    return {
        "CREATE TABLE Customers (ID TEXT(5) CONSTRAINT PrimaryKey PRIMARY KEY, [Name] TEXT(40) NOT NULL, City TEXT(20), "
        "Phone TEXT(24) CONSTRAINT Phone UNIQUE, Notes MEMO, Since DATETIME, Credit CURRENCY, Vip BIT)",
        "CREATE INDEX City ON Customers (City DESC)",
        "INSERT INTO Customers VALUES ('ALFKI', 'Alfreds Futterkiste', 'Berlin', '030-0074321', 'Pays on time.', #1999-03-01#, 1200.5, True)",
        "INSERT INTO Customers (ID, [Name]) VALUES ('BOLID', 'Bólido Comidas')",
        "INSERT INTO Customers (ID, [Name], City) VALUES ('DRACD', 'Drachenblut', 'Aachen')",
        "INSERT INTO Customers (ID, [Name], City, Phone) VALUES ('QUICK', 'QUICK-Stop', 'Cunewalde', '0372-035188')",
        "CREATE TABLE Orders (OrderID COUNTER PRIMARY KEY, CustomerID TEXT(5), Amount DOUBLE, Quantity SHORT, Shipped DATETIME)",
        "CREATE INDEX CustomerID ON Orders (CustomerID)",
        "INSERT INTO Orders (CustomerID, Amount, Quantity) VALUES ('ALFKI', 10.25, 3)",
        "INSERT INTO Orders (CustomerID, Amount) VALUES ('ALFKI', 99.5)",
        "INSERT INTO Orders (CustomerID, Quantity, Shipped) VALUES ('QUICK', 7, #2024-05-01 10:30:00#)",
        "INSERT INTO Orders (Amount) VALUES (1)",
    };
}

// One table with a few Nulls.
inline std::vector<std::string> projectStatements() {
    return {
        "CREATE TABLE Projects (ID COUNTER PRIMARY KEY, Title TEXT(50), Budget CURRENCY, Notes MEMO)",
        "INSERT INTO Projects (Title, Budget) VALUES ('Pocket inventory', 1200)",
        "INSERT INTO Projects (Notes) VALUES ('no title yet')",
    };
}

// Tables whose names look like system tables, each with one Null: only a
// name whose first four characters, upper-cased, are MSYS marks one.
inline std::vector<std::string> systemLookingStatements() {
    std::vector<std::string> out;
    for (const char* t : {"MSysLocal", "msysNotes", "MSY", "My_SYS", "Msys", "Orders"}) {
        out.push_back(std::string("CREATE TABLE [") + t + "] (ID LONG, Note TEXT(10))");
        out.push_back(std::string("INSERT INTO [") + t + "] (ID) VALUES (1)");
    }
    return out;
}
inline const std::vector<std::string> kUserTablesOfSystemLooking = {"MSY", "My_SYS", "Orders"};

}  // namespace vantrel::test
