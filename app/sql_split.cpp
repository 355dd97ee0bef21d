#include "sql_split.h"

#include <sstream>

#include "error.h"
#include "sql_parser.h"

namespace vantrel {

namespace {
bool blank(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
}  // namespace

const size_t SqlReader::kDefaultMaxLength = jet::kMaxStatementLength;

int SqlReader::get() {
    const int c = in_.sbumpc();
    if (c == '\n') ++line_;
    return c;
}

bool SqlReader::next(SqlStatement& out) {
    out.text.clear();
    int depth = 0;
    char quote = 0;  // ' " [ or # while inside one
    for (;;) {
        int c = get();
        if (c == EOF) break;
        if (out.text.empty()) {
            if (blank(c) || c == ';') continue;
            // A comment line.
            if (c == '-' && peek() == '-') {
                while (c != EOF && c != '\n') c = get();
                continue;
            }
            out.line = line_ - (c == '\n');
        }
        if (quote) {
            out.text += char(c);
            if ((quote == '[' && c == ']') || (quote != '[' && c == quote)) quote = 0;
            continue;
        }
        if (c == '\'' || c == '"' || c == '[' || c == '#') quote = char(c);
        if (c == '(') ++depth;
        if (c == ')' && depth > 0) --depth;
        if ((c == ';' || c == '\n') && depth == 0) break;
        out.text += char(c);
        // Longer than any statement the engine takes: refused here, before
        // an unclosed parenthesis draws the rest of the input into memory.
        if (out.text.size() > maxLength_) throw JetError(3360, "Query is too complex. (the statement starting at line " + std::to_string(out.line) + " is too long)");
    }
    while (!out.text.empty() && blank(static_cast<unsigned char>(out.text.back()))) out.text.pop_back();
    return !out.text.empty();
}

std::vector<SqlStatement> splitSql(const std::string& script) {
    std::istringstream in(script);
    SqlReader reader(in);
    std::vector<SqlStatement> out;
    SqlStatement s;
    while (reader.next(s)) out.push_back(s);
    return out;
}

}  // namespace vantrel
