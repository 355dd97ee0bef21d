// Cutting a script into statements: each ends at ";" or at the end of its
// line, unless a parenthesis or a quote is still open there. Blank lines and
// lines starting with "--" are skipped.
#pragma once

#include <string>
#include <vector>

namespace vantrel {

struct SqlStatement {
    std::string text;
    int line = 0;  // where it starts, from 1
};

std::vector<SqlStatement> splitSql(const std::string& script);

}  // namespace vantrel
