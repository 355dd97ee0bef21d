#include "index_page_entries.h"

#include <bit>

namespace vantrel::jet {

size_t indexPagePrefixLength(const Layout& l, Bytes page) {
    return l.jet3 ? page.u8(l.indexPrefixLenAt) : page.u16(l.indexPrefixLenAt);
}

void IndexPageEntries::parse(const Layout& l, Bytes page, std::vector<uint32_t>& ends) {
    ends.clear();
    const size_t first = l.indexFirstEntryAt;
    size_t start = first;
    const size_t maskBytes = l.indexFirstEntryAt - l.indexMaskAt;
    if (page.size() < l.indexFirstEntryAt) throw FormatError("index page too short");
    const uint8_t* mask = page.data() + l.indexMaskAt;
    for (size_t i = 0; i < maskBytes; ++i) {
        if (i % 8 == 0 && i + 8 <= maskBytes) {
            uint64_t word;
            std::memcpy(&word, mask + i, 8);
            if (word == 0) {  // most of a page's mask is empty
                i += 7;
                continue;
            }
        }
        uint8_t b = mask[i];
        while (b) {
            const size_t end = first + i * 8 + size_t(std::countr_zero(b));
            b &= uint8_t(b - 1);
            if (end <= start || end > page.size()) throw FormatError("index entry bounds out of order");
            ends.push_back(uint32_t(end));
            start = end;
        }
    }
    if (ends.size() > 1 && ends[0] - first < indexPagePrefixLength(l, page)) throw FormatError("index prefix longer than the first entry");
}

int IndexPageEntries::compare(size_t i, const uint8_t* k, size_t kn, size_t drop) const {
    size_t n = length(i);
    if (n < drop) throw FormatError("index entry too short");
    n -= drop;
    const size_t pre = std::min(shared(i), n);
    const size_t m = std::min(pre, kn);
    if (m > 0)
        if (const int c = std::memcmp(base_ + first_, k, m); c != 0) return c;
    if (kn <= pre) return n > kn ? 1 : 0;
    return compareBytes(base_ + startOf(i), n - pre, k + pre, kn - pre);
}

size_t IndexPageEntries::lowerBound(const uint8_t* k, size_t kn, size_t drop) const {
    size_t lo = 0, hi = size();
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (compare(mid, k, kn, drop) < 0) lo = mid + 1;
        else hi = mid;
    }
    return lo;
}

uint32_t IndexPageEntries::last4(size_t i) const {
    const size_t n = length(i);
    if (n < 4) throw FormatError("index entry too short");
    return uint32_t(at(i, n - 4)) << 24 | uint32_t(at(i, n - 3)) << 16 | uint32_t(at(i, n - 2)) << 8 | at(i, n - 1);
}

}  // namespace vantrel::jet
