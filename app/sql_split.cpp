#include "sql_split.h"

#include <algorithm>
#include <cstring>
#include <sstream>

#include "error.h"
#include "sql_parser.h"

namespace vantrel {

namespace {
bool blank(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
JetError tooLong(int line) { return err::tooComplex("the statement starting at line " + std::to_string(line) + " is too long"); }
}  // namespace

const size_t SqlReader::kDefaultMaxLength = jet::kMaxStatementLength;

bool SqlReader::fill() {
    if (pos_ < end_) return true;
    const std::streamsize n = in_.sgetn(buf_.data(), std::streamsize(buf_.size()));
    pos_ = 0;
    end_ = n > 0 ? size_t(n) : 0;
    return end_ > 0;
}

int SqlReader::get() {
    if (!fill()) return EOF;
    const char c = buf_[pos_++];
    if (c == '\n') ++line_;
    return static_cast<unsigned char>(c);
}

void SqlReader::copyPlain(std::string& out) {
    // Up to the next character the cutting looks at: a quote, a bracket, a
    // parenthesis, a semicolon or the end of a line.
    size_t to = pos_;
    while (to < end_) {
        const char ch = buf_[to];
        if (ch == '\'' || ch == '"' || ch == '[' || ch == '#' || ch == '(' || ch == ')' || ch == ';' || ch == '\n') break;
        ++to;
    }
    out.append(buf_.data() + pos_, buf_.data() + to);
    pos_ = to;
}

void SqlReader::copyQuoted(char close, std::string& out) {
    const char* from = buf_.data() + pos_;
    const char* to = static_cast<const char*>(std::memchr(from, close, end_ - pos_));
    if (!to) to = buf_.data() + end_;
    line_ += int(std::count(from, to, '\n'));
    out.append(from, to);
    pos_ = size_t(to - buf_.data());
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
            else copyQuoted(quote == '[' ? ']' : quote, out.text);
            if (out.text.size() > maxLength_) throw tooLong(out.line);
            continue;
        }
        if (c == '\'' || c == '"' || c == '[' || c == '#') quote = char(c);
        if (c == '(') ++depth;
        if (c == ')' && depth > 0) --depth;
        if ((c == ';' || c == '\n') && depth == 0) break;
        out.text += char(c);
        if (!quote) copyPlain(out.text);
        // Longer than any statement the engine takes: refused here, before
        // an unclosed parenthesis draws the rest of the input into memory.
        if (out.text.size() > maxLength_) throw tooLong(out.line);
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
