// Cutting a script into statements: each ends at ";" or at the end of its
// line, unless a parenthesis or a quote is still open there. Blank lines and
// lines starting with "--" are skipped. Statements are read one at a time,
// so a script of any length costs the memory of its longest statement.
#pragma once

#include <cstddef>
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
    // `maxLength`: a statement longer than this is refused (JetError 3360)
    // as soon as it is read that far.
    explicit SqlReader(std::istream& in, size_t maxLength = kDefaultMaxLength) : in_(*in.rdbuf()), maxLength_(maxLength) {}
    // The next statement; false at the end of the script.
    bool next(SqlStatement& out);
    static const size_t kDefaultMaxLength;

private:
    int get();
    int peek() { return fill() ? static_cast<unsigned char>(buf_[pos_]) : EOF; }
    bool fill();  // false at the end of the input
    // Copies the rest of a quoted piece up to (not including) `close`, or to
    // the end of what is read ahead.
    void copyQuoted(char close, std::string& out);
    // Copies the characters that cannot end or open anything, up to the next
    // one that may, or to the end of what is read ahead.
    void copyPlain(std::string& out);
    std::streambuf& in_;
    std::vector<char> buf_ = std::vector<char>(size_t(64) << 10);  // read ahead of the statement being cut
    size_t pos_ = 0, end_ = 0;
    int line_ = 1;
    size_t maxLength_;
};

std::vector<SqlStatement> splitSql(const std::string& script);

}  // namespace vantrel
