// Cutting a script into statements: each ends at ";" or at the end of its
// line, unless a parenthesis or a quote is still open there. Blank lines and
// lines starting with "--" are skipped. Statements are read one at a time,
// so a script of any length costs the memory of its longest statement.
#pragma once

#include <istream>
#include <string>
#include <vector>

namespace vantrel {

struct SqlStatement {
    std::string text;
    int line = 0;  // where it starts, from 1
};

class SqlReader {
public:
    explicit SqlReader(std::istream& in) : in_(*in.rdbuf()) {}
    // The next statement; false at the end of the script.
    bool next(SqlStatement& out);

private:
    int get();
    int peek() { return in_.sgetc(); }
    std::streambuf& in_;
    int line_ = 1;
};

std::vector<SqlStatement> splitSql(const std::string& script);

}  // namespace vantrel
