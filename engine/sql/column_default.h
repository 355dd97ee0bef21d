// A column's DefaultValue: the text Access keeps in the column's properties
// (an expression such as 0, "n/a", #2001-01-31#, No, Null, =Date()), which
// Jet fills in when a new row does not name the column.
// Only constants and Date()/Now() are evaluated; any other default makes
// value() fail with 3251 instead of guessing what Access would compute.
#pragma once

#include <memory>
#include <string>

#include "sql_ast.h"
#include "variant.h"

namespace vantrel::jet {

class ColumnDefault {
public:
    ColumnDefault() = default;
    ColumnDefault(std::string column, const std::string& text);
    ColumnDefault(ColumnDefault&&) noexcept = default;
    ColumnDefault& operator=(ColumnDefault&&) noexcept = default;

    // Whether the column has a default at all.
    bool present() const { return present_; }
    // The value for a new row; Null when there is no default. `today` is an
    // OLE date (for Date() and Now()).
    Variant value(double today) const;

private:
    bool present_ = false;
    std::string column_, text_;
    std::unique_ptr<Expr> expr_;  // null when it cannot be evaluated here
};

}  // namespace vantrel::jet
