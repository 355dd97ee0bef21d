#include <cstdio>
#include <sstream>

#include "commands.h"
#include "dao.h"
#include "files.h"

namespace vantrel {

namespace {

// A small shop: customers, products and orders, with the Nulls a real
// database collects (text, memo, numbers, dates), a unique index that lets
// only one of them become '', and Chinese text outside the indexes.
const char* const kDemoSql = R"sql(
CREATE TABLE Customers (
  CustomerID TEXT(5) CONSTRAINT PrimaryKey PRIMARY KEY,
  CompanyName TEXT(40) NOT NULL,
  ContactName TEXT(30),
  City TEXT(15),
  Phone TEXT(24) CONSTRAINT Phone UNIQUE,
  Notes MEMO)
CREATE INDEX City ON Customers (City)
CREATE TABLE Products (
  ProductID COUNTER CONSTRAINT PrimaryKey PRIMARY KEY,
  ProductName TEXT(40) NOT NULL,
  UnitPrice CURRENCY,
  UnitsInStock SHORT,
  Discontinued BIT,
  Weight DOUBLE,
  Added DATETIME)
CREATE UNIQUE INDEX ProductName ON Products (ProductName)
CREATE TABLE Orders (
  OrderID COUNTER CONSTRAINT PrimaryKey PRIMARY KEY,
  CustomerID TEXT(5),
  ProductID LONG,
  Quantity SHORT,
  OrderDate DATETIME,
  Freight CURRENCY,
  ShipCity TEXT(15),
  Comment MEMO)
CREATE INDEX CustomerID ON Orders (CustomerID)
CREATE INDEX OrderDate ON Orders (OrderDate DESC)
INSERT INTO Customers VALUES ('ALFKI', 'Alfreds Futterkiste', 'Maria Anders', 'Berlin', '030-0074321', 'Pays on time.')
INSERT INTO Customers VALUES ('BOLID', 'Bólido Comidas preparadas', 'Martín Sommer', 'Madrid', NULL, NULL)
INSERT INTO Customers VALUES ('DRACD', 'Drachenblut Delikatessen', NULL, 'Aachen', NULL, 'Ask for Sven.')
INSERT INTO Customers (CustomerID, CompanyName, ContactName) VALUES ('SHANG', 'Shanghai Trading Co.', '王小明')
INSERT INTO Customers VALUES ('QUICK', 'QUICK-Stop', 'Horst Kloss', NULL, '0372-035188', NULL)
INSERT INTO Customers VALUES ('TORTU', 'Tortuga Restaurante', 'Miguel Angel Paolino', 'México D.F.', '(5) 555-2933', '')
INSERT INTO Products (ProductName, UnitPrice, UnitsInStock, Discontinued, Weight, Added) VALUES ('Chai', 18, 39, False, 0.5, #2024-01-15#)
INSERT INTO Products (ProductName, UnitPrice, UnitsInStock, Discontinued, Weight, Added) VALUES ('Chang', 19, NULL, False, NULL, #2024-02-01 09:30:00#)
INSERT INTO Products (ProductName, UnitPrice, UnitsInStock, Discontinued) VALUES ('Aniseed Syrup', 10, 13, True)
INSERT INTO Products (ProductName, UnitPrice) VALUES ('Chef Anton''s Cajun Seasoning', 22)
INSERT INTO Products (ProductName) VALUES ('Grandma''s Boysenberry Spread')
INSERT INTO Products (ProductName, UnitPrice, UnitsInStock, Weight, Added) VALUES ('Uncle Bob''s Organic Dried Pears', 30, 15, 1.25, #2024-03-31#)
INSERT INTO Orders (CustomerID, ProductID, Quantity, OrderDate, Freight, ShipCity, Comment) VALUES ('ALFKI', 1, 12, #2024-04-02#, 29.46, 'Berlin', 'Leave at the door.')
INSERT INTO Orders (CustomerID, ProductID, Quantity, OrderDate, Freight) VALUES ('ALFKI', 3, 5, #2024-04-09#, 1.61)
INSERT INTO Orders (CustomerID, ProductID, Quantity, OrderDate) VALUES ('BOLID', 2, 20, #2024-05-14#)
INSERT INTO Orders (CustomerID, ProductID, OrderDate, ShipCity) VALUES ('SHANG', 6, #2024-05-20#, 'Shanghai')
INSERT INTO Orders (CustomerID, ProductID, Quantity) VALUES ('QUICK', 4, 40)
INSERT INTO Orders (ProductID, Quantity, Comment) VALUES (5, 1, '上海 warehouse pick-up')
INSERT INTO Orders (CustomerID) VALUES ('TORTU')
)sql";

}  // namespace

int runCreateFrom(const std::string& db, const std::string& password, std::istream& sql, bool quiet);

int runDemo(const std::string& dir) {
    platform::MakeFolder(dir);  // may exist already
    const char sep = platform::FolderSeparator();
    const std::string db = (dir.empty() || dir.back() == '/' || dir.back() == sep ? dir : dir + sep) + "demo.mdb";
    std::istringstream sql(kDemoSql);
    const int rc = runCreateFrom(db, kFixedPassword, sql, true);
    std::printf("%s\n", db.c_str());
    return rc;
}

}  // namespace vantrel
