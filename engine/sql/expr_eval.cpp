#include "expr_eval.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "error.h"
#include "text_codec.h"

namespace vantrel::jet {

namespace {

std::u16string folded(const std::string& s) {
    std::u16string u = utf8ToUtf16(s);
    for (auto& c : u)
        if (c < 0x80) c = char16_t(std::tolower(int(c)));
    return u;
}

bool numberFromText(const std::string& s, double& out) {
    if (s.empty()) return false;
    char* end = nullptr;
    out = std::strtod(s.c_str(), &end);
    while (end && *end == ' ') ++end;
    return end && *end == 0;
}

// Access's LIKE: * any run, ? one character, # one digit, [..] a set.
bool likeMatch(const std::u16string& s, size_t i, const std::u16string& p, size_t j) {
    while (j < p.size()) {
        char16_t c = p[j];
        if (c == u'*') {
            for (size_t k = i; k <= s.size(); ++k)
                if (likeMatch(s, k, p, j + 1)) return true;
            return false;
        }
        if (i >= s.size()) return false;
        if (c == u'?') {
            ++i, ++j;
        } else if (c == u'#') {
            if (s[i] < u'0' || s[i] > u'9') return false;
            ++i, ++j;
        } else if (c == u'[') {
            size_t close = p.find(u']', j + 1);
            if (close == std::u16string::npos) return false;
            bool neg = j + 1 < close && p[j + 1] == u'!';
            bool hit = false;
            for (size_t k = j + 1 + (neg ? 1 : 0); k < close; ++k) {
                if (k + 2 < close && p[k + 1] == u'-') {
                    if (s[i] >= p[k] && s[i] <= p[k + 2]) hit = true;
                    k += 2;
                } else if (s[i] == p[k]) {
                    hit = true;
                }
            }
            if (hit == neg) return false;
            ++i;
            j = close + 1;
        } else {
            if (s[i] != c) return false;
            ++i, ++j;
        }
    }
    return i == s.size();
}

Variant fromBool(bool b) { return Variant::boolean(b); }

}  // namespace

bool isTrue(const Variant& v) {
    if (v.isNull()) return false;
    if (v.isNumeric()) return v.asDouble() != 0;
    if (v.type() == VarType::Text) {
        double d;
        if (numberFromText(v.str(), d)) return d != 0;
        throw err::criteriaMismatch();
    }
    return false;
}

int compareValues(const Variant& a, const Variant& b) {
    if (a.isNumeric() && b.isNumeric()) {
        double x = a.asDouble(), y = b.asDouble();
        return x < y ? -1 : x > y ? 1 : 0;
    }
    if (a.type() == VarType::Text && b.type() == VarType::Text) {
        auto x = folded(a.str()), y = folded(b.str());
        return x < y ? -1 : x > y ? 1 : 0;
    }
    // Text against a number: only text that reads as a number compares.
    double d;
    if (a.type() == VarType::Text && b.isNumeric() && numberFromText(a.str(), d)) return compareValues(Variant::dbl(d), b);
    if (b.type() == VarType::Text && a.isNumeric() && numberFromText(b.str(), d)) return compareValues(a, Variant::dbl(d));
    if ((a.type() == VarType::Guid || a.type() == VarType::Binary) && a.type() == b.type()) return a.str().compare(b.str());
    throw err::criteriaMismatch();
}

Variant evaluate(const Expr& e, const EvalContext& ctx) {
    using K = Expr::Kind;
    switch (e.kind) {
        case K::Literal: return e.value;
        case K::Column: return e.column >= 0 && ctx.columnAt ? ctx.columnAt(e.column) : ctx.column(e.name);
        case K::Implicit: return ctx.implicit;
        case K::IsNull: {
            bool isNull = evaluate(*e.args[0], ctx).isNull();
            return fromBool(e.negate ? !isNull : isNull);
        }
        case K::Compare: {
            Variant a = evaluate(*e.args[0], ctx), b = evaluate(*e.args[1], ctx);
            if (a.isNull() || b.isNull()) return {};
            int c = compareValues(a, b);
            const std::string& op = e.op;
            return fromBool(op == "=" ? c == 0 : op == "<>" ? c != 0 : op == "<" ? c < 0 : op == ">" ? c > 0 : op == "<=" ? c <= 0 : c >= 0);
        }
        case K::Between: {
            Variant v = evaluate(*e.args[0], ctx), lo = evaluate(*e.args[1], ctx), hi = evaluate(*e.args[2], ctx);
            if (v.isNull() || lo.isNull() || hi.isNull()) return {};
            bool in = compareValues(v, lo) >= 0 && compareValues(v, hi) <= 0;
            return fromBool(e.negate ? !in : in);
        }
        case K::In: {
            Variant v = evaluate(*e.args[0], ctx);
            if (v.isNull()) return {};
            bool sawNull = false;
            for (size_t i = 1; i < e.args.size(); ++i) {
                Variant x = evaluate(*e.args[i], ctx);
                if (x.isNull()) {
                    sawNull = true;
                    continue;
                }
                if (compareValues(v, x) == 0) return fromBool(!e.negate);
            }
            if (sawNull) return {};
            return fromBool(e.negate);
        }
        case K::Like: {
            Variant v = evaluate(*e.args[0], ctx), p = evaluate(*e.args[1], ctx);
            if (v.isNull() || p.isNull()) return {};
            if (v.type() != VarType::Text || p.type() != VarType::Text) throw err::criteriaMismatch();
            bool m = likeMatch(folded(v.str()), 0, folded(p.str()), 0);
            return fromBool(e.negate ? !m : m);
        }
        case K::And: {
            Variant a = evaluate(*e.args[0], ctx), b = evaluate(*e.args[1], ctx);
            if ((!a.isNull() && !isTrue(a)) || (!b.isNull() && !isTrue(b))) return fromBool(false);
            if (a.isNull() || b.isNull()) return {};
            return fromBool(true);
        }
        case K::Or: {
            Variant a = evaluate(*e.args[0], ctx), b = evaluate(*e.args[1], ctx);
            if ((!a.isNull() && isTrue(a)) || (!b.isNull() && isTrue(b))) return fromBool(true);
            if (a.isNull() || b.isNull()) return {};
            return fromBool(false);
        }
        case K::Not: {
            Variant a = evaluate(*e.args[0], ctx);
            if (a.isNull()) return {};
            return fromBool(!isTrue(a));
        }
        case K::Function: {
            std::string name;
            for (char c : e.name) name += char(std::toupper(static_cast<unsigned char>(c)));
            if ((name == "DATE" || name == "NOW") && e.args.empty())
                return Variant::date(name == "DATE" ? std::floor(ctx.today) : ctx.today);
            if (name == "LEN" && e.args.size() == 1) {
                Variant v = evaluate(*e.args[0], ctx);
                if (v.isNull()) return {};
                if (v.type() != VarType::Text) throw err::criteriaMismatch();
                return Variant::longInt(int32_t(utf8ToUtf16(v.str()).size()));
            }
            if (name == "TRIM" && e.args.size() == 1) {
                Variant v = evaluate(*e.args[0], ctx);
                if (v.isNull() || v.type() != VarType::Text) return v;
                const std::string& s = v.str();
                size_t a = s.find_first_not_of(' '), z = s.find_last_not_of(' ');
                return Variant::text(a == std::string::npos ? "" : s.substr(a, z - a + 1));
            }
            throw err::undefinedFunction(e.name);
        }
    }
    return {};
}

}  // namespace vantrel::jet
