// Which tables a command works on, and how a failure inside one is named.
#pragma once

#include <string>
#include <vector>

#include "dao.h"

namespace vantrel {

// The user tables in the engine's order, or the named ones in the order
// given (an exact name first, else the name in another case; 3265 naming the
// table when there is none).
std::vector<TableDef> chosenTables(Database& db, const std::vector<std::string>& only);

// The rows of all the tables, as their definitions count them.
long totalRows(const std::vector<TableDef>& tables);

// "Customers.Balance: type 20 (Decimal), row 3: Error Number [13] Error
// Description [Type mismatch]"; the column and the row when known.
std::string failureText(const std::string& table, const Field* field, long row, const JetError& e);

}  // namespace vantrel
