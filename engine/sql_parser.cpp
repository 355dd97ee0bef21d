#include "sql_parser.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "error.h"
#include "sql_reserved.h"

namespace vantrel::jet {

void collectColumns(const Expr& e, std::vector<std::string>& out) {
    if (e.kind == Expr::Kind::Column) out.push_back(e.name);
    for (const auto& a : e.args) collectColumns(*a, out);
}

namespace {

struct ParseError {};

struct Token {
    enum class Type { End, Word, Bracketed, Number, String, Date, Symbol } type = Type::End;
    std::string text;
};

bool isWordStart(unsigned char c) { return std::isalpha(c) || c == '_' || c >= 0x80; }
bool isWordChar(unsigned char c) { return isWordStart(c) || std::isdigit(c); }

std::vector<Token> tokenize(const std::string& s) {
    std::vector<Token> out;
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = s[i];
        if (std::isspace(c)) {
            ++i;
        } else if (isWordStart(c)) {
            size_t j = i;
            while (j < s.size() && isWordChar(s[j])) ++j;
            out.push_back({Token::Type::Word, s.substr(i, j - i)});
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
            if (j < s.size() && isWordStart(static_cast<unsigned char>(s[j]))) throw ParseError{};
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
                if (j >= s.size()) throw ParseError{};
                if (s[j] == char(c)) {
                    if (j + 1 < s.size() && s[j + 1] == char(c)) {
                        text += char(c);
                        j += 2;
                        continue;
                    }
                    break;
                }
                text += s[j++];
            }
            out.push_back({Token::Type::String, text});
            i = j + 1;
        } else if (c == '#') {
            size_t j = s.find('#', i + 1);
            if (j == std::string::npos) throw ParseError{};
            out.push_back({Token::Type::Date, s.substr(i + 1, j - i - 1)});
            i = j + 1;
        } else {
            static const char* twoChar[] = {"<>", "<=", ">="};
            std::string sym(1, char(c));
            for (const char* t : twoChar)
                if (s.compare(i, 2, t) == 0) sym = t;
            if (std::string("=<>(),;-+*").find(char(c)) == std::string::npos) throw ParseError{};
            out.push_back({Token::Type::Symbol, sym});
            i += sym.size();
        }
    }
    out.push_back({Token::Type::End, ""});
    return out;
}

bool iequals(const std::string& a, const char* b) {
    size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

// Days since 1899-12-30 of a civil date.
double civilToOle(int y, int m, int d) {
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return double(era * 146097 + doe - 693899 + 0);
}

Variant parseDate(const std::string& text) {
    int a = 0, b = 0, c = 0, hh = 0, mm = 0, ss = 0;
    char sep1 = 0, sep2 = 0;
    const char* p = text.c_str();
    int n = 0;
    double days;
    if (std::sscanf(p, "%d%c%d%c%d%n", &a, &sep1, &b, &sep2, &c, &n) == 5 && sep1 == sep2 && (sep1 == '-' || sep1 == '/')) {
        // #YYYY-MM-DD# or #MM/DD/YYYY# (Jet reads US order).
        int y = a > 31 ? a : c, mo = a > 31 ? b : a, d = a > 31 ? c : b;
        if (mo < 1 || mo > 12 || d < 1 || d > 31) throw ParseError{};
        days = civilToOle(y, mo, d);
        p += n;
    } else {
        days = 0;
    }
    while (*p == ' ') ++p;
    if (*p) {
        int m = 0;
        if (std::sscanf(p, "%d:%d%n", &hh, &mm, &m) < 2) throw ParseError{};
        p += m;
        if (*p == ':') {
            int k = 0;
            if (std::sscanf(p, ":%d%n", &ss, &k) < 1) throw ParseError{};
            p += k;
        }
        while (*p == ' ') ++p;
        if (iequals(std::string(p).substr(0, 2), "PM") && hh < 12) hh += 12;
        if (iequals(std::string(p).substr(0, 2), "AM") && hh == 12) hh = 0;
    }
    double frac = (hh * 3600.0 + mm * 60.0 + ss) / 86400.0;
    return Variant::date(days >= 0 ? days + frac : days - frac);
}

Variant parseNumber(const std::string& text, bool negative) {
    if (text.find_first_of(".eE") == std::string::npos) {
        long long v = std::strtoll(text.c_str(), nullptr, 10);
        if (negative) v = -v;
        if (v >= INT16_MIN && v <= INT16_MAX) return Variant::integer(int16_t(v));
        if (v >= INT32_MIN && v <= INT32_MAX) return Variant::longInt(int32_t(v));
        return Variant::dbl(double(v));
    }
    double d = std::strtod(text.c_str(), nullptr);
    return Variant::dbl(negative ? -d : d);
}

class Parser {
public:
    Parser(std::vector<Token> toks, bool implicitField) : t_(std::move(toks)), implicit_(implicitField) {}

    const Token& peek(size_t k = 0) const { return t_[std::min(pos_ + k, t_.size() - 1)]; }
    Token next() { return t_[std::min(pos_++, t_.size() - 1)]; }
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
        Token tok = next();
        if (tok.type == Token::Type::Bracketed) return tok.text;
        if (tok.type == Token::Type::Word && !isReservedWord(tok.text)) return tok.text;
        throw ParseError{};
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
            case Token::Type::String: ++pos_; return Variant::text(tok.text);
            case Token::Type::Date: ++pos_; return parseDate(tok.text);
            case Token::Type::Word:
                if (iequals(tok.text, "NULL")) { ++pos_; return Variant(); }
                if (iequals(tok.text, "TRUE") || iequals(tok.text, "YES") || iequals(tok.text, "ON")) { ++pos_; return Variant::boolean(true); }
                if (iequals(tok.text, "FALSE") || iequals(tok.text, "NO") || iequals(tok.text, "OFF")) { ++pos_; return Variant::boolean(false); }
                return std::nullopt;
            default: return std::nullopt;
        }
    }

    std::unique_ptr<Expr> expression() { return orExpr(); }

    std::unique_ptr<Expr> orExpr() { return chain("OR", Expr::Kind::Or, &Parser::andExpr); }
    std::unique_ptr<Expr> andExpr() { return chain("AND", Expr::Kind::And, &Parser::notExpr); }

    // operand {word operand}, left to right.
    std::unique_ptr<Expr> chain(const char* word, Expr::Kind kind, std::unique_ptr<Expr> (Parser::*operand)()) {
        auto left = (this->*operand)();
        while (atWord(word)) {
            ++pos_;
            auto e = std::make_unique<Expr>();
            e->kind = kind;
            e->args.push_back(std::move(left));
            e->args.push_back((this->*operand)());
            left = std::move(e);
        }
        return left;
    }

    std::unique_ptr<Expr> notExpr() {
        if (atWord("NOT")) {
            ++pos_;
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
    std::vector<Token> t_;
    size_t pos_ = 0;
    bool implicit_;
};

JetError syntaxError() { return {3144, "Syntax error in UPDATE statement."}; }

}  // namespace

UpdateStatement parseUpdate(const std::string& sql) {
    std::vector<Token> toks;
    try {
        toks = tokenize(sql);
    } catch (const ParseError&) {
        throw syntaxError();
    }
    if (toks.front().type != Token::Type::Word || !iequals(toks.front().text, "UPDATE")) {
        const std::string& w = toks.front().text;
        for (const char* kind : {"SELECT", "INSERT", "DELETE", "CREATE", "ALTER", "DROP", "TRANSFORM", "PARAMETERS"})
            if (iequals(w, kind)) throw JetError(3251, "Operation is not supported for this type of object. (" + w + " statements are not supported yet)");
        throw JetError(3129, "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'.");
    }
    Parser p(std::move(toks), false);
    UpdateStatement st;
    try {
        p.expectWord("UPDATE");
        st.table = p.identifier();
        p.expectWord("SET");
        do {
            Assignment a;
            a.column = p.identifier();
            p.expectSymbol("=");
            auto v = p.literal();
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
    } catch (const ParseError&) {
        throw syntaxError();
    }
    return st;
}

std::unique_ptr<Expr> parseRule(const std::string& text, bool implicitField) {
    try {
        Parser p(tokenize(text), implicitField);
        auto e = p.expression();
        if (!p.atEnd()) return nullptr;
        return e;
    } catch (const ParseError&) {
        return nullptr;
    }
}

}  // namespace vantrel::jet
