#include "column_default.h"

#include "error.h"
#include "expr_eval.h"
#include "properties.h"
#include "sql_parser.h"

namespace vantrel::jet {

namespace {

// Constants, and the two clock functions, are all a default may hold here.
bool evaluable(const Expr& e) {
    if (e.kind == Expr::Kind::Literal) return true;
    if (e.kind != Expr::Kind::Function || !e.args.empty()) return false;
    const std::string name = upperAscii(e.name);
    return name == "DATE" || name == "NOW";
}

}  // namespace

ColumnDefault::ColumnDefault(std::string column, const std::string& text) : present_(true), column_(std::move(column)), text_(text) {
    std::string body = text;
    size_t at = body.find_first_not_of(" \t");
    if (at != std::string::npos && body[at] == '=') body.erase(0, at + 1);  // "=Date()" as the form stores it
    if (body.find_first_not_of(" \t") == std::string::npos) return;  // not text, or nothing to evaluate
    try {
        expr_ = parseRule(body, false);
    } catch (const JetError&) {
        expr_.reset();
    }
    if (expr_ && !evaluable(*expr_)) expr_.reset();
}

Variant ColumnDefault::value(double today) const {
    if (!present_) return {};
    if (!expr_) throw err::notSupported("the default value '" + text_ + "' of column " + column_ + " cannot be evaluated by this engine");
    EvalContext ctx;
    ctx.today = today;
    return evaluate(*expr_, ctx);
}

}  // namespace vantrel::jet
