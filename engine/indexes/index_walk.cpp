#include "index_walk.h"

#include <unordered_set>

namespace vantrel::jet {

std::vector<IndexEntry> indexPageEntries(const Layout& l, Bytes page) {
    std::vector<IndexEntry> out;
    const size_t prefixLen = indexPagePrefixLength(l, page);
    const size_t maskBytes = l.indexFirstEntryAt - l.indexMaskAt;
    size_t start = l.indexFirstEntryAt;
    for (size_t i = 0; i < maskBytes; ++i) {
        uint8_t b = page.u8(l.indexMaskAt + i);
        if (!b) continue;
        for (int k = 0; k < 8; ++k) {
            if (!(b & (1u << k))) continue;
            // A set bit marks where the entry before it ends.
            size_t end = l.indexFirstEntryAt + i * 8 + size_t(k);
            if (end <= start || end > page.size()) throw FormatError("index entry bounds out of order");
            Bytes stored = page.sub(start, end - start);
            IndexEntry e;
            if (!out.empty() && prefixLen > 0) {
                if (out.front().bytes.size() < prefixLen) throw FormatError("index prefix longer than the first entry");
                e.bytes.assign(out.front().bytes.begin(), out.front().bytes.begin() + long(prefixLen));
            }
            e.bytes.insert(e.bytes.end(), stored.data(), stored.data() + stored.size());
            out.push_back(std::move(e));
            start = end;
        }
    }
    return out;
}

namespace {

// walkIndexEntries from page `pg`, which always names the page being read.
void walkFrom(PageFile& file, const Layout& l, uint32_t& pg, const std::function<void(Bytes entry)>& fn) {
    // Down the left edge to the first leaf.
    std::vector<uint32_t> ends;
    for (int depth = 0;; ++depth) {
        if (depth > 32) throw FormatError("index tree too deep");
        PageRef p = file.page(pg);
        Bytes pb(p->data(), p->size());
        uint8_t type = pb.u8(0);
        if (type == kPageIndexLeaf) break;
        if (type != kPageIndexNode) throw FormatError("not an index page", pg);
        IndexPageEntries::parse(l, pb, ends);
        if (ends.empty()) {
            // All children may hang off the tail pointer.
            pg = pb.u32(l.indexTailAt);
            if (pg == 0) return;
            continue;
        }
        const IndexPageEntries entries(l, pb, ends);
        if (entries.length(0) < 8) throw FormatError("index node entry too short");
        pg = entries.last4(0);
    }
    std::unordered_set<uint32_t> seen;
    std::vector<uint8_t> entry;
    while (pg != 0) {
        if (!seen.insert(pg).second) throw FormatError("index leaf pages form a cycle");
        PageRef p = file.page(pg);
        Bytes pb(p->data(), p->size());
        if (pb.u8(0) != kPageIndexLeaf) throw FormatError("not an index leaf", pg);
        IndexPageEntries::parse(l, pb, ends);
        const IndexPageEntries entries(l, pb, ends);
        for (size_t i = 0; i < entries.size(); ++i) {
            if (entries.length(i) < 4) throw FormatError("index entry too short");
            entry.clear();
            entries.appendTo(i, entry);
            fn(Bytes(entry.data(), entry.size()));
        }
        pg = pb.u32(l.indexNextAt);
    }
}

}  // namespace

void walkIndexEntries(PageFile& file, const Layout& l, uint32_t root, const std::function<void(Bytes entry)>& fn) {
    uint32_t pg = root;
    try {
        walkFrom(file, l, pg, fn);
    } catch (FormatError& e) {
        e.atPage(pg);
        throw;
    }
}

void walkIndex(PageFile& file, const Layout& l, uint32_t root,
               const std::function<void(Bytes key, RowPointer row)>& fn) {
    walkIndexEntries(file, l, root, [&](Bytes e) {
        fn(e.sub(0, e.size() - 4), RowPointer{e.be24(e.size() - 4), e.u8(e.size() - 1)});
    });
}

}  // namespace vantrel::jet
