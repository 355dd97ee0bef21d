CREATE TABLE Customers (ID TEXT(5) CONSTRAINT PrimaryKey PRIMARY KEY, [Name] TEXT(40) NOT NULL, City TEXT(20), Notes MEMO, Since DATETIME, Credit CURRENCY, Vip BIT);
CREATE INDEX City ON Customers (City DESC);
INSERT INTO Customers VALUES ('ALFKI', 'Alfreds', 'Berlin', 'Pays on time.', #1999-03-01#, 1200.5, True);
INSERT INTO Customers (ID, [Name]) VALUES ('BOLID', 'Bólido' & Chr(9) & 'Comidas');
DELETE FROM Customers WHERE City IS NULL;
UPDATE Customers SET City='' WHERE City IS NULL;
