// What `script` says on standard error: where it wrote, and when a table
// cannot be written, which table, column and type and what is left.
#pragma once

#include <string>

#include "dao.h"

namespace vantrel {

// "Customers.Balance: type 20 (Decimal) has no script form: Error Number [13]
// Error Description [Type mismatch]"; the table alone when no column explains
// the error.
std::string scriptFailureText(const TableDef& table, const JetError& e);

// "12 lines" / "1 line".
std::string lineCount(long n);

}  // namespace vantrel
