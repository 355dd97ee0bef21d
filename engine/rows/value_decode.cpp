#include "value_decode.h"

#include "long_value.h"
#include "text_codec.h"

namespace vantrel::jet {

namespace {
Variant decodeText(PageFile& file, const Layout& l, const uint8_t* p, size_t n) {
    return Variant::text(l.jet3 ? decodeCodePage(p, n, file.header().codePage) : decodeJet4Text(p, n));
}

// 17 bytes: a sign byte (0x80 negative) and a 128-bit magnitude stored as four
// little-endian 32-bit words, most significant word first.
Variant decodeNumeric(Bytes d, uint8_t scale) {
    uint128 m = 0;
    for (int w = 0; w < 4; ++w) m = (m << 32) | d.u32(1 + 4 * size_t(w));
    return Variant::decimal(m, d.u8(0) & 0x80, scale);
}
}  // namespace

Variant decodeValue(PageFile& file, const Layout& l, const ColumnDef& c, const ColumnSlice& s) {
    if (c.type == kBool) return Variant::boolean(s.present);
    if (!s.present) return Variant::null();
    const Bytes& d = s.data;
    switch (c.type) {
        case kByte: return Variant::byte(d.u8(0));
        case kInt: return Variant::integer(d.i16(0));
        case kLong: return Variant::longInt(d.i32(0));
        case kMoney: return Variant::currency(d.i64(0));
        case kFloat: return Variant::single(d.f32(0));
        case kDouble: return Variant::dbl(d.f64(0));
        case kDateTime: return Variant::date(d.f64(0));
        case kBinary: return Variant::binary({d.data(), d.data() + d.size()});
        case kText: return decodeText(file, l, d.data(), d.size());
        case kGuid: {
            Bytes g = d.sub(0, 16);
            return Variant::guid(g.data());
        }
        case kNumeric: return decodeNumeric(d, c.scale);
        case kBigInt: {
            int64_t v = d.i64(0);
            bool neg = v < 0;
            uint128 m = neg ? (uint128)(-(int128)v) : (uint128)v;
            return Variant::decimal(m, neg, 0);
        }
        case kOle: return Variant::binary(readLongValue(file, l, d));
        case kMemo: {
            std::vector<uint8_t> raw = readLongValue(file, l, d);
            return decodeText(file, l, raw.data(), raw.size());
        }
        default: return Variant::null();
    }
}

}  // namespace vantrel::jet
