#include "value_decode.h"

#include "long_value.h"
#include "text_codec.h"

namespace vantrel::jet {

namespace {
void decodeTextInto(PageFile& file, const Layout& l, const uint8_t* p, size_t n, Variant& out) {
    std::string& text = out.bytesFor(VarType::Text);
    if (l.jet3) appendCodePage(text, p, n, file.header().codePage);
    else appendJet4Text(text, p, n);
}

// 17 bytes: a sign byte (0x80 negative) and a 128-bit magnitude stored as four
// little-endian 32-bit words, most significant word first.
void decodeNumeric(Bytes d, uint8_t scale, Variant& out) {
    uint128 m = 0;
    for (int w = 0; w < 4; ++w) m = (m << 32) | d.u32(1 + 4 * size_t(w));
    out.setDecimal(m, d.u8(0) & 0x80, scale);
}
}  // namespace

void decodeValueInto(PageFile& file, const Layout& l, const ColumnDef& c, const ColumnSlice& s, Variant& out) {
    if (c.type == kBool) {
        out.setInteger(VarType::Boolean, s.present ? -1 : 0);
        return;
    }
    if (!s.present) {
        out.setNull();
        return;
    }
    const Bytes& d = s.data;
    switch (c.type) {
        case kByte: out.setInteger(VarType::Byte, d.u8(0)); break;
        case kInt: out.setInteger(VarType::Integer, d.i16(0)); break;
        case kLong: out.setInteger(VarType::Long, d.i32(0)); break;
        case kMoney: out.setInteger(VarType::Currency, d.i64(0)); break;
        case kFloat: out.setReal(VarType::Single, d.f32(0)); break;
        case kDouble: out.setReal(VarType::Double, d.f64(0)); break;
        case kDateTime: out.setReal(VarType::Date, d.f64(0)); break;
        case kBinary: out.bytesFor(VarType::Binary).assign(reinterpret_cast<const char*>(d.data()), d.size()); break;
        case kText: decodeTextInto(file, l, d.data(), d.size(), out); break;
        case kGuid: {
            Bytes g = d.sub(0, 16);
            out.bytesFor(VarType::Guid).assign(reinterpret_cast<const char*>(g.data()), 16);
            break;
        }
        case kNumeric: decodeNumeric(d, c.scale, out); break;
        case kBigInt: {
            int64_t v = d.i64(0);
            out.setDecimal(magnitudeOf(v), v < 0, 0);
            break;
        }
        case kOle: {
            std::string& bytes = out.bytesFor(VarType::Binary);
            readLongValueParts(file, l, d, [&](Bytes b) { bytes.append(reinterpret_cast<const char*>(b.data()), b.size()); });
            break;
        }
        case kMemo: {
            // Text is decoded whole (compressed text switches modes across
            // pieces): a value in one piece straight from its page, a chain
            // once gathered.
            if (d.size() >= 12 && (d.u32(0) & (kLvalInline | kLvalSinglePage))) {
                readLongValueParts(file, l, d, [&](Bytes b) { decodeTextInto(file, l, b.data(), b.size(), out); });
            } else {
                std::vector<uint8_t> chain;
                readLongValueParts(file, l, d, [&](Bytes b) { chain.insert(chain.end(), b.data(), b.data() + b.size()); });
                decodeTextInto(file, l, chain.data(), chain.size(), out);
            }
            break;
        }
        default: out.setNull();
    }
}

Variant decodeValue(PageFile& file, const Layout& l, const ColumnDef& c, const ColumnSlice& s) {
    Variant v;
    decodeValueInto(file, l, c, s, v);
    return v;
}

}  // namespace vantrel::jet
