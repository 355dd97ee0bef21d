#include "sql_parser.h"

#include <algorithm>
#include <charconv>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "error.h"
#include "sql_reserved.h"
#include "sql_word_chars.h"
#include "table_def.h"
#include "text_codec.h"

namespace vantrel::jet {

void collectColumns(const Expr& e, std::vector<std::string>& out) {
    if (e.kind == Expr::Kind::Column) out.push_back(e.name);
    for (const auto& a : e.args) collectColumns(*a, out);
}

namespace {

struct ParseError {};
// Nested deeper, or longer, than the engine takes: refused before the parser
// (or, later, the evaluator and the tree's destructor) could run out of stack.
struct TooComplex {};

struct Token {
    enum class Type { End, Word, Bracketed, Number, String, Date, Symbol, Hex } type = Type::End;
    std::string text;
};

bool isWordStart(const std::string& s, size_t i) { return nameCharLength(s, i, true) != 0; }
bool isWordChar(const std::string& s, size_t i) { return nameCharLength(s, i, false) != 0; }

std::vector<Token> tokenize(const std::string& s) {
    std::vector<Token> out;
    out.reserve(s.size() / 4 + 2);
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = s[i];
        if (c == ' ' || std::isspace(c)) {
            ++i;
        } else if (isWordStart(s, i)) {
            size_t j = i;
            for (;;) {
                // ASCII letters, digits and '_' continue a name; other ASCII ends it.
                const unsigned char ch = static_cast<unsigned char>(j < s.size() ? s[j] : 0);
                if (ch != 0 && ch < 0x80) {
                    if (!((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '_')) break;
                    ++j;
                } else if (size_t n = nameCharLength(s, j, false)) {
                    j += n;
                } else {
                    break;
                }
            }
            out.push_back({Token::Type::Word, s.substr(i, j - i)});
            i = j;
        } else if (c == '0' && i + 1 < s.size() && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
            // 0x... : bytes for binary columns.
            size_t j = i + 2;
            while (j < s.size() && std::isxdigit(static_cast<unsigned char>(s[j]))) ++j;
            if ((j - i) % 2 != 0 || (j < s.size() && isWordChar(s, j))) throw ParseError{};
            out.push_back({Token::Type::Hex, s.substr(i + 2, j - i - 2)});
            i = j;
        } else if (std::isdigit(c) || (c == '.' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
            size_t j = i;
            while (j < s.size() && (std::isdigit(static_cast<unsigned char>(s[j])) || s[j] == '.')) ++j;
            if (j < s.size() && (s[j] == 'e' || s[j] == 'E')) {
                size_t k = j + 1;
                if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
                if (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k]))) {
                    j = k;
                    while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
                }
            }
            // A number glued to letters ("1abc") is no token of ours.
            if (j < s.size() && isWordStart(s, j)) throw ParseError{};
            out.push_back({Token::Type::Number, s.substr(i, j - i)});
            i = j;
        } else if (c == '[') {
            size_t j = s.find(']', i + 1);
            if (j == std::string::npos || j == i + 1) throw ParseError{};
            out.push_back({Token::Type::Bracketed, s.substr(i + 1, j - i - 1)});
            i = j + 1;
        } else if (c == '\'' || c == '"') {
            // Quotes inside are doubled.
            std::string text;
            size_t j = i + 1;
            for (;;) {
                const size_t q = s.find(char(c), j);
                if (q == std::string::npos) throw ParseError{};
                text.append(s, j, q - j);
                if (q + 1 < s.size() && s[q + 1] == char(c)) {
                    text += char(c);
                    j = q + 2;
                    continue;
                }
                j = q;
                break;
            }
            out.push_back({Token::Type::String, std::move(text)});
            i = j + 1;
        } else if (c == '#') {
            size_t j = s.find('#', i + 1);
            if (j == std::string::npos) throw ParseError{};
            out.push_back({Token::Type::Date, s.substr(i + 1, j - i - 1)});
            i = j + 1;
        } else {
            if (c == 0 || !std::strchr("=<>(),;-+*.&", c)) throw ParseError{};
            // Two-character symbols: <> <= >=.
            const char after = i + 1 < s.size() ? s[i + 1] : 0;
            const size_t len = (c == '<' && (after == '>' || after == '=')) || (c == '>' && after == '=') ? 2 : 1;
            out.push_back({Token::Type::Symbol, s.substr(i, len)});
            i += len;
        }
    }
    out.push_back({Token::Type::End, ""});
    return out;
}

// Keywords are ASCII: only a-z need folding (a byte past ASCII never equals one).
char upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

bool iequals(const std::string& a, const char* b) {
    size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

// A date literal Jet would not read: refused with 3075 naming the literal.
struct DateError {
    std::string text;
};

// Digits at p (at most nine), moving p past them; -1 when there are none.
int digitsAt(const char*& p, int& count) {
    int v = 0;
    count = 0;
    while (*p >= '0' && *p <= '9' && count < 9) v = v * 10 + (*p++ - '0'), ++count;
    return count ? v : -1;
}

int daysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : days[m - 1];
}

// #YYYY-MM-DD#, #M/D/YYYY# (US order) or #M/D/YY#, then an optional time
// H:MM[:SS] [AM|PM]; or a time alone (a day of 1899-12-30). A year written
// with one or two digits is 1930-2029; any other year must be 100-9999, the
// day one its month has, the time one a clock shows. Anything else is refused.
Variant parseDate(const std::string& text) {
    const DateError bad{text};
    const char* p = text.c_str();
    while (*p == ' ') ++p;
    int n1 = 0, n2 = 0, n3 = 0;
    const char* at = p;
    const int a = digitsAt(p, n1);
    double days = 0;
    if (a >= 0 && (*p == '-' || *p == '/')) {
        const char sep = *p++;
        const int b = digitsAt(p, n2);
        if (b < 0 || *p++ != sep) throw bad;
        const int c = digitsAt(p, n3);
        if (c < 0) throw bad;
        const bool yearFirst = n1 > 2 || a > 31;
        int y = yearFirst ? a : c;
        const int yearDigits = yearFirst ? n1 : n3, mo = yearFirst ? b : a, d = yearFirst ? c : b;
        if (yearDigits <= 2) y += y < 30 ? 2000 : 1900;
        if (y < 100 || y > 9999 || mo < 1 || mo > 12 || d < 1 || d > daysInMonth(y, mo)) throw bad;
        days = oleDay(y, mo, d);
        while (*p == ' ') ++p;
    } else {
        p = at;
        if (!*p) throw bad;  // neither a day nor a time
    }
    int hh = 0, mm = 0, ss = 0;
    if (*p) {
        int count = 0;
        hh = digitsAt(p, count);
        if (hh < 0 || *p++ != ':') throw bad;
        mm = digitsAt(p, count);
        if (mm < 0) throw bad;
        if (*p == ':') {
            ++p;
            ss = digitsAt(p, count);
            if (ss < 0) throw bad;
        }
        while (*p == ' ') ++p;
        const bool pm = iequals(std::string(p).substr(0, 2), "PM"), am = iequals(std::string(p).substr(0, 2), "AM");
        if (pm || am) {
            if (hh > 12) throw bad;
            if (pm && hh < 12) hh += 12;
            if (am && hh == 12) hh = 0;
            p += 2;
            while (*p == ' ') ++p;
        }
        if (*p || hh > 23 || mm > 59 || ss > 59) throw bad;
    }
    double frac = (hh * 3600.0 + mm * 60.0 + ss) / 86400.0;
    return Variant::date(days >= 0 ? days + frac : days - frac);
}

Variant parseNumber(const std::string& text, bool negative) {
    if (text.find_first_of(".eE") == std::string::npos) {
        if (text.size() <= 18) {
            long long v = std::strtoll(text.c_str(), nullptr, 10);
            if (negative) v = -v;
            if (v >= INT16_MIN && v <= INT16_MAX) return Variant::integer(int16_t(v));
            if (v >= INT32_MIN && v <= INT32_MAX) return Variant::longInt(int32_t(v));
        }
    }
    // More digits than a Double holds: kept exact, as a decimal.
    if (text.find_first_of("eE") == std::string::npos) {
        std::string digits;
        size_t scale = 0;
        bool point = false;
        for (char c : text) {
            if (c == '.') point = true;
            else digits += c, scale += point;
        }
        const size_t lead = digits.find_first_not_of('0');
        const size_t significant = lead == std::string::npos ? 0 : digits.size() - lead;
        if (significant > 15 && significant <= 28 && scale <= 28) {
            uint128 mag = 0;
            for (char c : digits) mag = mag * 10 + uint128(c - '0');
            return Variant::decimal(mag, negative, uint8_t(scale));
        }
    }
    // from_chars reads as strtod does in the C locale (whatever locale the
    // program runs in); out of range it leaves the reading to strtod, which
    // gives the infinity or the tiny value.
    double d = 0;
    if (std::from_chars(text.data(), text.data() + text.size(), d).ec != std::errc()) d = std::strtod(text.c_str(), nullptr);
    // Beyond a Double's range: Jet's Overflow, never an infinity stored.
    if (!std::isfinite(d)) throw err::overflow();
    return Variant::dbl(negative ? -d : d);
}

class Parser {
public:
    Parser(std::vector<Token> toks, bool implicitField) : t_(std::move(toks)), implicit_(implicitField) {}

    const Token& peek(size_t k = 0) const { return t_[std::min(pos_ + k, t_.size() - 1)]; }
    const Token& next() { return t_[std::min(pos_++, t_.size() - 1)]; }
    // The next token, to be taken over: the parser never goes back.
    Token& take() { return t_[std::min(pos_++, t_.size() - 1)]; }
    bool atWord(const char* w) const { return peek().type == Token::Type::Word && iequals(peek().text, w); }
    bool atSymbol(const char* s) const { return peek().type == Token::Type::Symbol && peek().text == s; }
    void expectWord(const char* w) {
        if (!atWord(w)) throw ParseError{};
        ++pos_;
    }
    void expectSymbol(const char* s) {
        if (!atSymbol(s)) throw ParseError{};
        ++pos_;
    }
    bool atEnd() const { return peek().type == Token::Type::End || (atSymbol(";") && peek(1).type == Token::Type::End); }

    // A table or column name: plain (not reserved) or in brackets.
    std::string identifier() {
        const Token& tok = next();
        if (tok.type == Token::Type::Bracketed) return tok.text;
        if (tok.type == Token::Type::Word && !isReservedWord(tok.text)) return tok.text;
        throw ParseError{};
    }

    // A value to store: a literal, or text joined from quoted pieces and
    // Chr(n) / ChrW(n) with '&' (how control characters are written).
    std::optional<Variant> value() {
        std::optional<Variant> first = textPiece();
        if (!first) first = literal();
        if (!first || first->type() != VarType::Text || !atSymbol("&")) return first;
        std::string text = first->str();
        while (atSymbol("&")) {
            next();
            auto piece = textPiece();
            if (!piece) {
                if (peek().type != Token::Type::String) throw ParseError{};
                piece = Variant::text(std::move(take().text));
            }
            text += piece->str();
        }
        return Variant::text(std::move(text));
    }

    // Chr(n) or ChrW(n): the character of code n.
    std::optional<Variant> textPiece() {
        if (!(atWord("CHR") || atWord("CHRW")) || !(peek(1).type == Token::Type::Symbol && peek(1).text == "(")) return std::nullopt;
        const bool wide = atWord("CHRW");
        pos_ += 2;
        Token n = next();
        if (n.type != Token::Type::Number || n.text.find_first_not_of("0123456789") != std::string::npos || n.text.size() > 5)
            throw ParseError{};
        const unsigned code = unsigned(std::stoul(n.text));
        if (code > (wide ? 0xFFFFu : 0xFFu) || (code >= 0xD800 && code <= 0xDFFF)) throw ParseError{};
        expectSymbol(")");
        std::string out;
        appendUtf8(out, char32_t(code));
        return Variant::text(std::move(out));
    }

    std::optional<Variant> literal() {
        bool negative = false;
        if (atSymbol("-") && peek(1).type == Token::Type::Number) {
            negative = true;
            ++pos_;
        }
        const Token& tok = peek();
        switch (tok.type) {
            case Token::Type::Number: ++pos_; return parseNumber(tok.text, negative);
            case Token::Type::String: return Variant::text(std::move(take().text));
            case Token::Type::Date: ++pos_; return parseDate(tok.text);
            case Token::Type::Hex: {
                ++pos_;
                std::vector<uint8_t> bytes;
                for (size_t i = 0; i < tok.text.size(); i += 2) bytes.push_back(uint8_t(std::strtoul(tok.text.substr(i, 2).c_str(), nullptr, 16)));
                return Variant::binary(std::move(bytes));
            }
            case Token::Type::Word:
                if (iequals(tok.text, "NULL")) { ++pos_; return Variant(); }
                if (iequals(tok.text, "TRUE") || iequals(tok.text, "YES") || iequals(tok.text, "ON")) { ++pos_; return Variant::boolean(true); }
                if (iequals(tok.text, "FALSE") || iequals(tok.text, "NO") || iequals(tok.text, "OFF")) { ++pos_; return Variant::boolean(false); }
                return std::nullopt;
            default: return std::nullopt;
        }
    }

    std::unique_ptr<Expr> expression() {
        Nest nest(*this);
        return orExpr();
    }

    std::unique_ptr<Expr> orExpr() { return chain("OR", Expr::Kind::Or, &Parser::andExpr); }
    std::unique_ptr<Expr> andExpr() { return chain("AND", Expr::Kind::And, &Parser::notExpr); }

    // operand {word operand}, left to right.
    std::unique_ptr<Expr> chain(const char* word, Expr::Kind kind, std::unique_ptr<Expr> (Parser::*operand)()) {
        auto left = (this->*operand)();
        const size_t depthBefore = depth_;
        while (atWord(word)) {
            ++pos_;
            deeper();
            auto e = std::make_unique<Expr>();
            e->kind = kind;
            e->args.push_back(std::move(left));
            e->args.push_back((this->*operand)());
            left = std::move(e);
        }
        depth_ = depthBefore;
        return left;
    }

    std::unique_ptr<Expr> notExpr() {
        if (atWord("NOT")) {
            ++pos_;
            Nest nest(*this);
            auto e = std::make_unique<Expr>();
            e->kind = Expr::Kind::Not;
            e->args.push_back(notExpr());
            return e;
        }
        return predicate();
    }

    bool atPredicateOperator() const {
        if (peek().type == Token::Type::Symbol) {
            const std::string& s = peek().text;
            return s == "=" || s == "<>" || s == "<" || s == ">" || s == "<=" || s == ">=";
        }
        return atWord("IS") || atWord("BETWEEN") || atWord("IN") || atWord("LIKE") ||
               (atWord("NOT") && (peek(1).type == Token::Type::Word &&
                                  (iequals(peek(1).text, "BETWEEN") || iequals(peek(1).text, "IN") || iequals(peek(1).text, "LIKE"))));
    }

    std::unique_ptr<Expr> predicate() {
        std::unique_ptr<Expr> left;
        if (implicit_ && atPredicateOperator()) {
            left = std::make_unique<Expr>();
            left->kind = Expr::Kind::Implicit;
        } else {
            left = operand();
        }
        if (peek().type == Token::Type::Symbol && atPredicateOperator()) {
            auto e = std::make_unique<Expr>();
            e->kind = Expr::Kind::Compare;
            e->op = next().text;
            e->args.push_back(std::move(left));
            e->args.push_back(operand());
            return e;
        }
        if (atWord("IS")) {
            ++pos_;
            auto e = std::make_unique<Expr>();
            e->kind = Expr::Kind::IsNull;
            if (atWord("NOT")) {
                ++pos_;
                e->negate = true;
            }
            expectWord("NULL");
            e->args.push_back(std::move(left));
            return e;
        }
        bool negate = false;
        if (atWord("NOT") && atPredicateOperator()) {
            ++pos_;
            negate = true;
        }
        if (atWord("BETWEEN")) {
            ++pos_;
            auto e = std::make_unique<Expr>();
            e->kind = Expr::Kind::Between;
            e->negate = negate;
            e->args.push_back(std::move(left));
            e->args.push_back(operand());
            expectWord("AND");
            e->args.push_back(operand());
            return e;
        }
        if (atWord("IN")) {
            ++pos_;
            auto e = std::make_unique<Expr>();
            e->kind = Expr::Kind::In;
            e->negate = negate;
            e->args.push_back(std::move(left));
            expectSymbol("(");
            e->args.push_back(operand());
            while (atSymbol(",")) {
                ++pos_;
                e->args.push_back(operand());
            }
            expectSymbol(")");
            return e;
        }
        if (atWord("LIKE")) {
            ++pos_;
            auto e = std::make_unique<Expr>();
            e->kind = Expr::Kind::Like;
            e->negate = negate;
            e->args.push_back(std::move(left));
            e->args.push_back(operand());
            return e;
        }
        if (negate) throw ParseError{};
        return left;
    }

    std::unique_ptr<Expr> operand() {
        if (atSymbol("(")) {
            ++pos_;
            auto e = expression();
            expectSymbol(")");
            return e;
        }
        if (auto v = literal()) {
            auto e = std::make_unique<Expr>();
            e->kind = Expr::Kind::Literal;
            e->value = *v;
            return e;
        }
        // A function call: name(...)
        if (peek().type == Token::Type::Word && peek(1).type == Token::Type::Symbol && peek(1).text == "(") {
            auto e = std::make_unique<Expr>();
            e->kind = Expr::Kind::Function;
            e->name = next().text;
            ++pos_;
            if (!atSymbol(")")) {
                e->args.push_back(expression());
                while (atSymbol(",")) {
                    ++pos_;
                    e->args.push_back(expression());
                }
            }
            expectSymbol(")");
            if (iequals(e->name, "ISNULL")) {
                if (e->args.size() != 1) throw ParseError{};
                e->kind = Expr::Kind::IsNull;
            }
            return e;
        }
        auto e = std::make_unique<Expr>();
        e->kind = Expr::Kind::Column;
        e->name = identifier();
        return e;
    }

private:
    // One level deeper in the expression tree, for as long as it lives.
    struct Nest {
        explicit Nest(Parser& p) : p_(p) { p_.deeper(); }
        ~Nest() { --p_.depth_; }
        Parser& p_;
    };
    void deeper() {
        if (++depth_ > kMaxExpressionDepth) throw TooComplex{};
    }

    std::vector<Token> t_;
    size_t pos_ = 0;
    size_t depth_ = 0;
    bool implicit_;
};

UpdateStatement updateStatement(Parser& p) {
    UpdateStatement st;
    p.expectWord("UPDATE");
    st.table = p.identifier();
    p.expectWord("SET");
    do {
        Assignment a;
        a.column = p.identifier();
        p.expectSymbol("=");
        auto v = p.value();
        if (!v) throw ParseError{};
        a.value = *v;
        st.assignments.push_back(std::move(a));
        if (!p.atSymbol(",")) break;
        p.next();
    } while (true);
    if (p.atWord("WHERE")) {
        p.next();
        st.where = p.expression();
    }
    if (!p.atEnd()) throw ParseError{};
    return st;
}

InsertStatement insertStatement(Parser& p) {
    InsertStatement st;
    p.expectWord("INSERT");
    p.expectWord("INTO");
    st.table = p.identifier();
    if (p.atSymbol("(")) {
        p.next();
        st.columns.push_back(p.identifier());
        while (p.atSymbol(",")) {
            p.next();
            st.columns.push_back(p.identifier());
        }
        p.expectSymbol(")");
    }
    p.expectWord("VALUES");
    p.expectSymbol("(");
    for (;;) {
        auto v = p.value();
        if (!v) throw ParseError{};
        st.values.push_back(std::move(*v));
        if (!p.atSymbol(",")) break;
        p.next();
    }
    p.expectSymbol(")");
    if (!p.atEnd()) throw ParseError{};
    return st;
}

DeleteStatement deleteStatement(Parser& p) {
    DeleteStatement st;
    p.expectWord("DELETE");
    if (p.atSymbol("*")) p.next();
    p.expectWord("FROM");
    st.table = p.identifier();
    if (p.atWord("WHERE")) {
        p.next();
        st.where = p.expression();
    }
    if (!p.atEnd()) throw ParseError{};
    return st;
}

unsigned number(Parser& p) {
    Token t = p.next();
    if (t.type != Token::Type::Number || t.text.find_first_not_of("0123456789") != std::string::npos || t.text.size() > 5) throw ParseError{};
    return unsigned(std::stoul(t.text));
}

// A column's type: Jet's names and their synonyms, with a size where it takes one.
ColumnSpec columnType(Parser& p, ColumnSpec c) {
    Token t = p.next();
    if (t.type != Token::Type::Word) throw ParseError{};
    auto is = [&](std::initializer_list<const char*> names) {
        for (const char* n : names)
            if (iequals(t.text, n)) return true;
        return false;
    };
    auto size = [&](unsigned dflt) {
        if (!p.atSymbol("(")) return dflt;
        p.next();
        unsigned n = number(p);
        p.expectSymbol(")");
        return n;
    };
    if (is({"BIT", "YESNO", "LOGICAL", "LOGICAL1", "BOOLEAN"})) c.type = kBool;
    else if (is({"BYTE", "TINYINT", "INTEGER1"})) c.type = kByte;
    else if (is({"SHORT", "SMALLINT", "INTEGER2"})) c.type = kInt;
    else if (is({"LONG", "INT", "INTEGER", "INTEGER4"})) c.type = kLong;
    else if (is({"COUNTER", "AUTOINCREMENT", "IDENTITY"})) {
        c.type = kLong;
        c.autoNumber = true;
        if (p.atSymbol("(")) {
            // COUNTER(seed, increment): only the plain counter is supported.
            p.next();
            if (number(p) != 1) throw err::notSupported("a counter that does not start at 1");
            p.expectSymbol(",");
            if (number(p) != 1) throw err::notSupported("a counter that does not count by 1");
            p.expectSymbol(")");
        }
    } else if (is({"SINGLE", "REAL", "FLOAT4", "IEEESINGLE"})) c.type = kFloat;
    else if (is({"DOUBLE", "FLOAT", "FLOAT8", "IEEEDOUBLE", "NUMBER"})) c.type = kDouble;
    else if (is({"CURRENCY", "MONEY"})) c.type = kMoney;
    else if (is({"DATETIME", "DATE", "TIME", "TIMESTAMP"})) c.type = kDateTime;
    else if (is({"TEXT", "CHAR", "VARCHAR", "ALPHANUMERIC", "STRING", "CHARACTER", "NVARCHAR", "NCHAR"})) {
        // CHAR, CHARACTER and NCHAR declare fixed-length text, the others variable.
        c.type = kText;
        c.fixedLength = is({"CHAR", "CHARACTER", "NCHAR"});
        const unsigned n = size(255);
        if (n < 1 || n > 255) throw err::syntaxInFieldDefinition();
        c.length = uint16_t(n * 2);
    } else if (is({"MEMO", "LONGTEXT", "LONGCHAR", "NOTE", "NTEXT"})) c.type = kMemo;
    else if (is({"LONGBINARY", "OLEOBJECT", "GENERAL", "IMAGE"})) c.type = kOle;
    else if (is({"BINARY", "VARBINARY"})) {
        c.type = kBinary;
        const unsigned n = size(510);
        if (n < 1 || n > 510) throw err::syntaxInFieldDefinition();
        c.length = uint16_t(n);
    } else if (is({"GUID", "UNIQUEIDENTIFIER"})) c.type = kGuid;
    else if (is({"DECIMAL", "NUMERIC", "DEC"})) {
        c.type = kNumeric;
        c.precision = 18;
        if (p.atSymbol("(")) {
            p.next();
            c.precision = uint8_t(std::min(number(p), 255u));
            if (p.atSymbol(",")) {
                p.next();
                c.scale = uint8_t(std::min(number(p), 255u));
            }
            p.expectSymbol(")");
        }
        if (c.precision < 1 || c.precision > 28 || c.scale > c.precision) throw err::syntaxInFieldDefinition();
    } else {
        throw err::invalidFieldType();
    }
    return c;
}

std::vector<std::pair<std::string, bool>> keyColumns(Parser& p, bool orders) {
    std::vector<std::pair<std::string, bool>> cols;
    p.expectSymbol("(");
    for (;;) {
        std::string name = p.identifier();
        bool asc = true;
        if (orders && p.atWord("ASC")) p.next();
        else if (orders && p.atWord("DESC")) {
            p.next();
            asc = false;
        }
        cols.emplace_back(name, asc);
        if (!p.atSymbol(",")) break;
        p.next();
    }
    p.expectSymbol(")");
    return cols;
}

// [CONSTRAINT name] {PRIMARY KEY | UNIQUE} [(columns)]: `column` is the
// column it follows, or "" at table level, where the list is required.
bool constraint(Parser& p, const std::string& column, std::vector<KeySpec>& keys) {
    KeySpec k;
    if (p.atWord("CONSTRAINT")) {
        p.next();
        k.name = p.identifier();
    } else if (!p.atWord("PRIMARY") && !p.atWord("UNIQUE")) {
        return false;
    }
    if (p.atWord("PRIMARY")) {
        p.next();
        p.expectWord("KEY");
        k.primary = true;
    } else {
        p.expectWord("UNIQUE");
        k.unique = true;
    }
    if (column.empty()) k.columns = keyColumns(p, true);
    else k.columns = {{column, true}};
    keys.push_back(std::move(k));
    return true;
}

CreateTableStatement createTable(Parser& p) {
    CreateTableStatement st;
    p.expectWord("CREATE");
    p.expectWord("TABLE");
    st.table = p.identifier();
    p.expectSymbol("(");
    for (;;) {
        if (!constraint(p, "", st.keys)) {
            ColumnSpec c;
            c.name = p.identifier();
            c = columnType(p, c);
            for (;;) {
                if (p.atWord("NOT")) {
                    p.next();
                    p.expectWord("NULL");
                    c.notNull = true;
                } else if (p.atWord("NULL")) {
                    p.next();
                } else if (!constraint(p, c.name, st.keys)) {
                    break;
                }
            }
            st.columns.push_back(std::move(c));
        }
        if (!p.atSymbol(",")) break;
        p.next();
    }
    p.expectSymbol(")");
    if (!p.atEnd()) throw ParseError{};
    return st;
}

CreateIndexStatement createIndex(Parser& p) {
    CreateIndexStatement st;
    p.expectWord("CREATE");
    if (p.atWord("UNIQUE")) {
        p.next();
        st.index.unique = true;
    }
    p.expectWord("INDEX");
    st.index.name = p.identifier();
    p.expectWord("ON");
    st.table = p.identifier();
    st.index.columns = keyColumns(p, true);
    if (p.atWord("WITH")) {
        p.next();
        do {
            if (p.atWord("PRIMARY")) {
                p.next();
                st.index.primary = true;
            } else if (p.atWord("DISALLOW")) {
                p.next();
                p.expectWord("NULL");
                st.index.required = true;
            } else if (p.atWord("IGNORE")) {
                p.next();
                p.expectWord("NULL");
                st.index.ignoreNulls = true;
            } else {
                throw ParseError{};
            }
        } while (!p.atEnd());
    }
    if (!p.atEnd()) throw ParseError{};
    return st;
}

SetPropertyStatement setProperty(Parser& p) {
    SetPropertyStatement st;
    p.expectWord("ALTER");
    p.expectWord("TABLE");
    st.table = p.identifier();
    if (p.atWord("ALTER")) {
        p.next();
        p.expectWord("COLUMN");
        st.column = p.identifier();
    }
    p.expectWord("SET");
    Token name = p.next();
    if (name.type != Token::Type::Word && name.type != Token::Type::Bracketed) throw ParseError{};
    st.name = name.text;
    p.expectSymbol("=");
    auto v = p.literal();
    if (!v) throw ParseError{};
    st.value = *v;
    if (!p.atEnd()) throw ParseError{};
    return st;
}

}  // namespace

Statement parseStatement(const std::string& sql) {
    if (sql.size() > kMaxStatementLength) throw err::tooComplex();
    std::vector<Token> toks;
    bool lexed = true;
    try {
        toks = tokenize(sql);
    } catch (const ParseError&) {
        lexed = false;
    }
    // The statement's first two words say what kind it is, even when the
    // rest does not lex.
    std::vector<std::string> words;
    for (size_t i = 0; i < sql.size() && words.size() < 2;) {
        if (std::isspace(static_cast<unsigned char>(sql[i]))) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j < sql.size() && std::isalpha(static_cast<unsigned char>(sql[j]))) ++j;
        if (j == i) break;
        words.push_back(sql.substr(i, j - i));
        i = j;
    }
    const std::string first = words.empty() ? std::string() : words[0];
    auto isFirst = [&](const char* w) { return !words.empty() && iequals(words[0], w); };
    auto second = [&](const char* w) { return words.size() > 1 && iequals(words[1], w); };
    JetError err{3129, "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'."};
    if (isFirst("UPDATE")) err = err::syntaxInUpdate();
    else if (isFirst("INSERT")) err = err::syntaxInInsert();
    else if (isFirst("DELETE")) err = err::syntaxInFrom();
    else if (isFirst("CREATE") && (second("INDEX") || second("UNIQUE"))) err = err::syntaxInCreateTable();
    else if (isFirst("CREATE") && second("TABLE")) err = err::syntaxInCreateTable();
    else if (isFirst("ALTER") && second("TABLE") && lexed &&
             std::any_of(toks.begin(), toks.end(), [](const Token& t) { return t.type == Token::Type::Word && iequals(t.text, "SET"); }))
        err = err::syntaxInAlterTable();
    else {
        for (const char* kind : {"SELECT", "CREATE", "ALTER", "DROP", "TRANSFORM", "PARAMETERS"})
            if (isFirst(kind)) throw err::notSupported(first + " statements are not supported yet");
        throw err;
    }
    if (!lexed) throw err;
    const int kind = isFirst("UPDATE") ? 0 : isFirst("INSERT") ? 1 : isFirst("DELETE") ? 2 : isFirst("ALTER") ? 5 : second("TABLE") ? 3 : 4;
    Parser p(std::move(toks), false);
    try {
        switch (kind) {
            case 0: return updateStatement(p);
            case 1: return insertStatement(p);
            case 2: return deleteStatement(p);
            case 3: return createTable(p);
            case 5: return setProperty(p);
            default: return createIndex(p);
        }
    } catch (const ParseError&) {
        throw err;
    } catch (const DateError& e) {
        throw err::dateSyntax(e.text);
    } catch (const TooComplex&) {
        throw err::tooComplex();
    }
}

UpdateStatement parseUpdate(const std::string& sql) {
    Statement st = parseStatement(sql);
    if (auto* u = std::get_if<UpdateStatement>(&st)) return std::move(*u);
    const char* kind = std::holds_alternative<InsertStatement>(st) ? "INSERT" : std::holds_alternative<DeleteStatement>(st) ? "DELETE" : "CREATE";
    throw err::notSupported(std::string(kind) + " statements are not supported here");
}

std::unique_ptr<Expr> parseRule(const std::string& text, bool implicitField) {
    if (text.size() > kMaxStatementLength) throw err::tooComplex();
    try {
        Parser p(tokenize(text), implicitField);
        auto e = p.expression();
        if (!p.atEnd()) return nullptr;
        return e;
    } catch (const ParseError&) {
        return nullptr;
    } catch (const DateError&) {
        return nullptr;
    } catch (const TooComplex&) {
        throw err::tooComplex();
    }
}

}  // namespace vantrel::jet
