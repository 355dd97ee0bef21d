#include "usage_map.h"

#include "data_page.h"

namespace vantrel::jet {

namespace {
void addBits(Bytes bits, uint64_t firstPage, uint64_t pageCount, std::vector<uint32_t>& out) {
    for (size_t i = 0; i < bits.size(); ++i) {
        uint8_t b = bits.data()[i];
        if (!b) continue;
        for (int k = 0; k < 8; ++k) {
            if (!(b & (1u << k))) continue;
            uint64_t pg = firstPage + i * 8 + size_t(k);
            if (pg < pageCount) out.push_back(uint32_t(pg));
        }
    }
}

std::vector<uint32_t> mapPages(PageFile& file, const Layout& l, uint32_t packedPtr, PastTheEnd pastTheEnd) {
    const uint64_t limit = pastTheEnd == PastTheEnd::Kept ? uint64_t(1) << 32 : file.pageCount();
    RowBytes map = rowAt(file, l, RowPointer::fromPacked(packedPtr));
    Bytes m = map.bytes;
    std::vector<uint32_t> pages;
    switch (m.u8(0)) {
        case 0: {
            uint32_t start = m.u32(1);
            addBits(m.sub(5, m.size() - 5), start, limit, pages);
            break;
        }
        case 1: {
            const uint64_t perPage = uint64_t(l.pageSize - 4) * 8;
            for (size_t at = 1, j = 0; at + 4 <= m.size(); at += 4, ++j) {
                uint32_t mapPage = m.u32(at);
                if (mapPage == 0) continue;
                PageRef p = file.page(mapPage);
                Bytes pb(p->data(), p->size());
                if (pb.u8(0) != kPageUsageMap) throw FormatError("a usage map page has the wrong type", mapPage);
                addBits(pb.sub(4, pb.size() - 4), j * perPage, limit, pages);
            }
            break;
        }
        default:
            throw FormatError("unknown usage map type " + std::to_string(m.u8(0)));
    }
    return pages;
}

}  // namespace

std::vector<uint32_t> usageMapPages(PageFile& file, const Layout& l, uint32_t packedPtr, PastTheEnd pastTheEnd) {
    // Damage in the map lies on the page that holds it unless a page it names is at fault.
    return onPage(RowPointer::fromPacked(packedPtr).page, [&] { return mapPages(file, l, packedPtr, pastTheEnd); });
}

}  // namespace vantrel::jet
