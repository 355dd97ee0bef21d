#include "ace_keys.h"

#include "run_key.h"

namespace vantrel::jet {

bool aceKeyKind(uint8_t type) { return type == kComplex || type == kExtDateTime || type == kBigInt; }

Variant aceKeyValue(const ColumnDef& c, const ColumnSlice& s) {
    if (!s.present) return Variant::null();
    if (c.type == kComplex) return Variant::longInt(s.data.i32(0));
    if (c.type == kBigInt) {
        const int64_t x = s.data.i64(0);
        const uint64_t magnitude = x < 0 ? uint64_t(0) - uint64_t(x) : uint64_t(x);
        return Variant::decimal(uint128(magnitude), x < 0, 0);
    }
    return Variant::binary({s.data.data(), s.data.data() + s.data.size()});
}

size_t aceSegmentLength(const KeyColumn& k, Bytes entry, size_t at) {
    const uint8_t flag = entry.u8(at);
    if (segmentIsNull(k, flag)) return 1;
    if (flag != (k.ascending ? kKeyAscStart : kKeyDescStart)) throw FormatError("index segment has an unknown flag");
    if (k.column->type == kComplex) {
        entry.need(at, 5);
        return 5;
    }
    if (k.column->type == kBigInt) {
        entry.need(at, 9);
        return 9;
    }
    return 1 + runKeyLength(entry, at + 1);
}

bool encodeAceSegment(const KeyColumn& k, const Variant& v, std::vector<uint8_t>& out) {
    if (v.isNull()) {
        out.push_back(k.ascending ? kKeyAscNull : kKeyDescNull);
        return true;
    }
    if (k.column->type == kComplex) {
        // Access makes these indexes itself, ascending; no other form has been seen.
        if (v.type() != VarType::Long || !k.ascending) return false;
        const uint32_t id = uint32_t(v.asInt()) ^ 0x80000000u;
        out.push_back(k.ascending ? kKeyAscStart : kKeyDescStart);
        for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(id >> s));
        return true;
    }
    if (k.column->type == kBigInt) {
        // Big-endian with the sign bit turned, like the other integers; only
        // ascending keys of this kind have been seen.
        if (v.type() != VarType::Decimal || v.decimalScale() != 0 || !k.ascending) return false;
        const uint128 m = v.decimalMagnitude();
        if (m > (v.decimalNegative() ? uint128(1) << 63 : (uint128(1) << 63) - 1)) return false;
        const uint64_t x = (v.decimalNegative() ? uint64_t(0) - uint64_t(m) : uint64_t(m)) ^ (uint64_t(1) << 63);
        out.push_back(kKeyAscStart);
        for (int s = 56; s >= 0; s -= 8) out.push_back(uint8_t(x >> s));
        return true;
    }
    if (k.column->type != kExtDateTime || v.type() != VarType::Binary || v.str().empty()) return false;
    out.push_back(k.ascending ? kKeyAscStart : kKeyDescStart);
    appendRunKey(k.ascending, v.str(), out);
    return true;
}

}  // namespace vantrel::jet
