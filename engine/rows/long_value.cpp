#include "long_value.h"

#include "data_page.h"

namespace vantrel::jet {

std::vector<uint8_t> readLongValue(PageFile& file, const Layout& l, Bytes ref) {
    if (ref.size() < 12) throw FormatError("long value reference is " + std::to_string(ref.size()) + " bytes");
    const uint32_t word = ref.u32(0);
    const uint32_t len = word & kLvalLengthMask;
    if (word & kLvalInline) {
        Bytes d = ref.sub(12, len);
        return {d.data(), d.data() + d.size()};
    }
    if (word & kLvalSinglePage) {
        RowBytes r = rowAt(file, l, RowPointer::fromPacked(ref.u32(4)));
        Bytes d = r.bytes.sub(0, len);
        return {d.data(), d.data() + d.size()};
    }
    // A chain: each row starts with the pointer to the next one.
    std::vector<uint8_t> out;
    uint32_t next = ref.u32(4);
    // Every hop must add bytes, so the chain is no longer than the value
    // needs pages; a cycle or a runaway chain ends there.
    uint64_t hops = 0, maxHops = uint64_t(file.pageCount()) * 256;
    while (out.size() < len) {
        if (next == 0) throw FormatError("long value chain ends after " + std::to_string(out.size()) + " of " + std::to_string(len) + " bytes");
        if (++hops > maxHops) throw FormatError("long value chain does not end");
        RowBytes r = rowAt(file, l, RowPointer::fromPacked(next));
        next = r.bytes.u32(0);
        size_t take = std::min<size_t>(r.bytes.size() - 4, len - out.size());
        if (take == 0) throw FormatError("empty row in a long value chain");
        out.insert(out.end(), r.bytes.data() + 4, r.bytes.data() + 4 + take);
    }
    return out;
}

}  // namespace vantrel::jet
