// Evaluating expressions over one row, with SQL's three-valued logic: a
// comparison involving Null is Null, and Null is not true.
#pragma once

#include <functional>

#include "sql_ast.h"
#include "variant.h"

namespace vantrel::jet {

struct EvalContext {
    // The value of a column in the row, by index once resolved, else by name.
    std::function<Variant(int)> columnAt;
    std::function<Variant(const std::string&)> column;
    // The value a column validation rule checks.
    Variant implicit;
    // Today, as an OLE date (for Date() and Now()).
    double today = 0;
};

// Null, a Boolean or another value. JetError 3464 for values that cannot be
// compared, 3085 for an unknown function.
Variant evaluate(const Expr& e, const EvalContext& ctx);

// True only for a definite true.
bool isTrue(const Variant& v);

// Jet's order of two non-Null values: negative, zero or positive. JetError
// 3464 when they cannot be compared.
int compareValues(const Variant& a, const Variant& b);

}  // namespace vantrel::jet
