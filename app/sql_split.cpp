#include "sql_split.h"

namespace vantrel {

std::vector<SqlStatement> splitSql(const std::string& script) {
    std::vector<SqlStatement> out;
    std::string cur;
    int line = 1, start = 1, depth = 0;
    char quote = 0;  // ' " [ or # while inside one
    auto finish = [&] {
        size_t a = cur.find_first_not_of(" \t\r\n");
        if (a != std::string::npos) {
            size_t b = cur.find_last_not_of(" \t\r\n");
            out.push_back({cur.substr(a, b - a + 1), start});
        }
        cur.clear();
    };
    for (size_t i = 0; i < script.size(); ++i) {
        const char c = script[i];
        if (cur.find_first_not_of(" \t\r\n") == std::string::npos) {
            start = line;
            // A comment line.
            if (!quote && c == '-' && i + 1 < script.size() && script[i + 1] == '-') {
                while (i < script.size() && script[i] != '\n') ++i;
                ++line;
                cur.clear();
                continue;
            }
        }
        if (quote) {
            cur += c;
            if (c == '\n') ++line;
            if ((quote == '[' && c == ']') || (quote != '[' && c == quote)) quote = 0;
            continue;
        }
        if (c == '\'' || c == '"' || c == '[' || c == '#') quote = c;
        if (c == '(') ++depth;
        if (c == ')' && depth > 0) --depth;
        if (c == ';' && depth == 0) {
            finish();
            continue;
        }
        if (c == '\n') {
            ++line;
            if (depth == 0) {
                finish();
                continue;
            }
        }
        cur += c;
    }
    finish();
    return out;
}

}  // namespace vantrel
