#include "index_key.h"

#include <algorithm>
#include <cstring>

#include "ace_keys.h"
#include "run_key.h"
#include "text_codec.h"
#include "text_key.h"
#include "text_key_jet3.h"
#include "text_key_2010.h"

namespace vantrel::jet {

std::vector<KeyColumn> keyColumns(const TableDefData& t, const RealIndexDef& r) {
    std::vector<KeyColumn> out;
    for (const auto& c : r.columns) {
        const ColumnDef* col = t.columnByNumber(c.number);
        if (!col) throw FormatError("index names a missing column " + std::to_string(c.number));
        out.push_back({col, c.ascending});
    }
    return out;
}

namespace {

size_t fixedSize(uint8_t type) {
    switch (type) {
        case kByte: return 1;
        case kBool: return 1;
        case kInt: return 2;
        case kLong: case kFloat: return 4;
        case kMoney: case kDouble: case kDateTime: case kBigInt: return 8;
        case kNumeric: return 17;
        default: return 0;
    }
}

// Big-endian bytes of a number, the sign bit turned so that bytes sort as
// numbers do; floating point negatives have all bits turned.
void sortableNumber(const KeyColumn& k, const uint8_t* le, size_t n, std::vector<uint8_t>& out) {
    std::vector<uint8_t> be(le, le + n);
    std::reverse(be.begin(), be.end());
    const uint8_t t = k.column->type;
    const bool floating = t == kFloat || t == kDouble || t == kDateTime;
    if (t == kByte) {
        if (!k.ascending)
            for (auto& b : be) b = uint8_t(~b);
    } else if (floating) {
        const bool negative = be[0] & 0x80;
        if (!negative) be[0] ^= 0x80;
        if (negative == k.ascending)
            for (auto& b : be) b = uint8_t(~b);
    } else {
        be[0] ^= 0x80;
        if (!k.ascending)
            for (auto& b : be) b = uint8_t(~b);
    }
    out.insert(out.end(), be.begin(), be.end());
}

}  // namespace

size_t segmentLength(const KeyColumn& k, bool jet3, Bytes entry, size_t at) {
    if (aceKeyKind(k.column->type)) return aceSegmentLength(k, entry, at);
    const uint8_t flag = entry.u8(at);
    if (segmentIsNull(k, flag)) return 1;
    if (flag != (k.ascending ? kKeyAscStart : kKeyDescStart)) throw FormatError("index segment has an unknown flag");
    const uint8_t t = k.column->type;
    if (size_t n = fixedSize(t)) {
        entry.need(at, 1 + n);
        return 1 + n;
    }
    if (t == kText || t == kMemo) {
        // Sort codes run to a terminating zero byte (Jet3 descending keys
        // have every byte turned, the terminator too).
        const uint8_t end = (jet3 && !k.ascending) ? 0xFF : 0x00;
        size_t p = at + 1;
        while (entry.u8(p) != end) ++p;
        return p + 1 - at;
    }
    if (t == kBinary || t == kGuid || t == kOle) return 1 + runKeyLength(entry, at + 1);
    throw FormatError("index over a column type the engine does not know");
}

bool encodeSegment(const KeyColumn& k, bool jet3, const Variant& v, std::vector<uint8_t>& out) {
    if (aceKeyKind(k.column->type)) return encodeAceSegment(k, v, out);
    if (v.isNull()) {
        out.push_back(k.ascending ? kKeyAscNull : kKeyDescNull);
        return true;
    }
    const uint8_t t = k.column->type;
    auto start = [&] { out.push_back(k.ascending ? kKeyAscStart : kKeyDescStart); };
    uint8_t le[8];
    auto number = [&](int64_t x, size_t n) {
        for (size_t i = 0; i < n; ++i) le[i] = uint8_t(uint64_t(x) >> (8 * i));
        start();
        sortableNumber(k, le, n, out);
        return true;
    };
    switch (t) {
        case kByte: return v.isNumeric() && number(int64_t(v.asInt()), 1);
        case kInt: return v.isNumeric() && number(int64_t(v.asInt()), 2);
        case kLong: return v.isNumeric() && number(int64_t(v.asInt()), 4);
        case kMoney: return v.type() == VarType::Currency && number(v.asInt(), 8);
        case kBool: {
            start();
            const bool yes = v.boolValue();
            out.push_back(uint8_t((yes == k.ascending) ? 0x00 : 0xFF));
            return true;
        }
        case kFloat: case kDouble: case kDateTime: {
            if (!v.isNumeric()) return false;
            if (t == kFloat) {
                float f = float(v.asDouble());
                std::memcpy(le, &f, 4);
            } else {
                double d = v.asDouble();
                std::memcpy(le, &d, 8);
            }
            start();
            sortableNumber(k, le, t == kFloat ? 4 : 8, out);
            return true;
        }
        case kText: case kMemo: {
            if (v.type() != VarType::Text) return false;
            if (jet3) {
                // Codes known for the General order of code page 1252 only.
                if (!v.str().empty() && (k.column->sortOrder != kGeneralSortOrder || k.column->codePage != 1252)) return false;
                const size_t at = out.size();
                start();
                if (!encodeGeneral97Text(utf8ToUtf16(v.str()), k.ascending, out)) {
                    out.resize(at);
                    return false;
                }
                return true;
            }
            if (k.column->sortOrder != kGeneralSortOrder || k.column->sortVersion > kGeneral2010SortVersion) return false;
            const size_t at = out.size();
            start();
            const std::string& text = v.str();
            const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return uint8_t(c) < 0x80; });
            const bool v2010 = k.column->sortVersion == kGeneral2010SortVersion;
            const bool encoded = ascii ? (v2010 ? encodeGeneral2010Text(std::string_view(text), k.ascending, out)
                                                : encodeGeneralText(std::string_view(text), k.ascending, out))
                                       : (v2010 ? encodeGeneral2010Text(utf8ToUtf16(text), k.ascending, out)
                                                : encodeGeneralText(utf8ToUtf16(text), k.ascending, out));
            if (!encoded) {
                out.resize(at);
                return false;
            }
            return true;
        }
        case kNumeric: {
            // A sign byte (FF positive, 00 negative), then the magnitude at
            // the column's scale as 16 big-endian bytes, turned for negatives.
            // A descending key turns the magnitude once more but keeps the
            // sign byte, as Access writes it.
            if (v.type() != VarType::Decimal || v.decimalScale() != k.column->scale) return false;
            const bool negative = v.decimalNegative() && v.decimalMagnitude() != 0;
            const uint8_t turn = negative != !k.ascending ? 0xFF : 0x00;
            start();
            out.push_back(negative ? 0x00 : 0xFF);
            for (int i = 15; i >= 0; --i) out.push_back(uint8_t(uint8_t(v.decimalMagnitude() >> (8 * i)) ^ turn));
            return true;
        }
        case kGuid: {
            if (v.type() != VarType::Guid || v.str().size() != 16) return false;
            // The GUID in the order its text reads (the first three groups
            // turned big-endian), as two runs of eight bytes.
            const char* g = v.str().data();
            const char ordered[16] = {g[3], g[2], g[1], g[0], g[5], g[4], g[7], g[6],
                                      g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]};
            start();
            appendRunKey(k.ascending, std::string_view(ordered, 16), out);
            return true;
        }
        case kBinary: {
            // Jet3 descending binary keys have not been seen.
            if (v.type() != VarType::Binary || (jet3 && !k.ascending)) return false;
            start();
            appendRunKey(k.ascending, v.str(), out);
            return true;
        }
        default: return false;
    }
}

}  // namespace vantrel::jet
