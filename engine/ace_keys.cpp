#include "ace_keys.h"

namespace vantrel::jet {

namespace {
constexpr size_t kRun = 8;
constexpr uint8_t kMoreRuns = 9;
}  // namespace

bool aceKeyKind(uint8_t type) { return type == kComplex || type == kExtDateTime; }

Variant aceKeyValue(const ColumnDef& c, const ColumnSlice& s) {
    if (!s.present) return Variant::null();
    if (c.type == kComplex) return Variant::longInt(s.data.i32(0));
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
    size_t p = at + 1;
    for (;;) {
        const uint8_t count = entry.u8(p + kRun);
        p += kRun + 1;
        if (count != kMoreRuns) break;
    }
    return p - at;
}

bool encodeAceSegment(const KeyColumn& k, const Variant& v, std::vector<uint8_t>& out) {
    if (v.isNull()) {
        out.push_back(k.ascending ? kKeyAscNull : kKeyDescNull);
        return true;
    }
    const uint8_t turn = k.ascending ? 0x00 : 0xFF;
    if (k.column->type == kComplex) {
        // Access makes these indexes itself, ascending; no other form has been seen.
        if (v.type() != VarType::Long || !k.ascending) return false;
        const uint32_t id = uint32_t(v.asInt()) ^ 0x80000000u;
        out.push_back(k.ascending ? kKeyAscStart : kKeyDescStart);
        for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(uint8_t(id >> s) ^ turn));
        return true;
    }
    if (k.column->type != kExtDateTime || v.type() != VarType::Binary || v.str().empty()) return false;
    const std::string& b = v.str();
    out.push_back(k.ascending ? kKeyAscStart : kKeyDescStart);
    for (size_t at = 0; at < b.size(); at += kRun) {
        const size_t n = std::min(kRun, b.size() - at);
        for (size_t i = 0; i < kRun; ++i) out.push_back(uint8_t((i < n ? uint8_t(b[at + i]) : 0) ^ turn));
        out.push_back(at + kRun < b.size() ? kMoreRuns : uint8_t(n ^ turn));
    }
    return true;
}

}  // namespace vantrel::jet
