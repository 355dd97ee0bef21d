#include "long_value.h"

#include <unordered_set>

#include "data_page.h"

namespace vantrel::jet {

void readLongValueParts(PageFile& file, const Layout& l, Bytes ref, FunctionRef<void(Bytes)> part) {
    if (ref.size() < 12) throw FormatError("long value reference is " + std::to_string(ref.size()) + " bytes");
    const uint32_t word = ref.u32(0);
    const uint32_t len = word & kLvalLengthMask;
    if (word & kLvalInline) {
        part(ref.sub(12, len));
        return;
    }
    if (word & kLvalSinglePage) {
        RowBytes r = rowAt(file, l, RowPointer::fromPacked(ref.u32(4)));
        part(r.bytes.sub(0, len));
        return;
    }
    // A chain: each row starts with the pointer to the next one. Every hop
    // must add bytes, and no row may come twice: a chain that loops would
    // otherwise be read round and round to the declared length.
    size_t got = 0;
    uint32_t next = ref.u32(4);
    std::unordered_set<uint32_t> seen;
    while (got < len) {
        if (next == 0) throw FormatError("long value chain ends after " + std::to_string(got) + " of " + std::to_string(len) + " bytes");
        const RowPointer at = RowPointer::fromPacked(next);
        if (!seen.insert(next).second)
            throw FormatError("long value chain comes back to page " + std::to_string(at.page) + " row " + std::to_string(at.row) +
                              " after " + std::to_string(got) + " of " + std::to_string(len) + " bytes");
        RowBytes r = rowAt(file, l, at);
        next = r.bytes.u32(0);
        size_t take = std::min<size_t>(r.bytes.size() - 4, len - got);
        if (take == 0) throw FormatError("empty row in a long value chain");
        part(r.bytes.sub(4, take));
        got += take;
    }
}

std::vector<uint8_t> readLongValue(PageFile& file, const Layout& l, Bytes ref) {
    std::vector<uint8_t> out;
    readLongValueParts(file, l, ref, [&](Bytes b) { out.insert(out.end(), b.data(), b.data() + b.size()); });
    return out;
}

}  // namespace vantrel::jet
