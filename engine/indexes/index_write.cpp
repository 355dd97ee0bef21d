#include "index_write.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "index_page_entries.h"
#include "index_walk.h"
#include "page_alloc.h"

namespace vantrel::jet {

std::vector<EntryView> EntryArena::sorted() const {
    std::vector<EntryView> out;
    out.reserve(refs.size());
    for (size_t i = 0; i < refs.size(); ++i) out.push_back(at(i));
    std::sort(out.begin(), out.end(), [](EntryView a, EntryView b) { return compareBytes(a.data(), a.size(), b.data(), b.size()) < 0; });
    return out;
}

std::vector<uint8_t> entryRowPointer(RowPointer rp) {
    return {uint8_t(rp.page >> 16), uint8_t(rp.page >> 8), uint8_t(rp.page), uint8_t(rp.row)};
}

IndexTree loadIndexTree(PageFile& file, const Layout& l, uint32_t root) {
    IndexTree tree;
    std::set<uint32_t> seen;
    std::vector<uint32_t> leavesByTree;
    // Depth first, children in key order, so leaves come out left to right.
    std::vector<std::pair<uint32_t, int>> stack{{root, 0}};
    while (!stack.empty()) {
        auto [pg, depth] = stack.back();
        stack.pop_back();
        if (depth > 32 || !seen.insert(pg).second) throw FormatError("index pages form a cycle", pg);
        tree.pages.push_back(pg);
        PageRef p = file.page(pg);
        Bytes pb(p->data(), p->size());
        if (pb.u8(0) == kPageIndexLeaf) {
            leavesByTree.push_back(pg);
            continue;
        }
        if (pb.u8(0) != kPageIndexNode) throw FormatError("not an index page", pg);
        std::vector<uint32_t> children;
        for (const auto& e : onPage(pg, [&] { return indexPageEntries(l, pb); })) {
            if (e.bytes.size() < 8) throw FormatError("index node entry too short", pg);
            children.push_back(Bytes(e.bytes.data(), e.bytes.size()).be32(e.bytes.size() - 4));
        }
        if (uint32_t tail = pb.u32(l.indexTailAt)) children.push_back(tail);
        for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back({*it, depth + 1});
    }
    // The leaf chain must visit the same leaves in the same order.
    std::vector<uint32_t> chain;
    walkIndexEntries(file, l, root, [&](Bytes entry) { tree.entries.add(EntryView(entry.data(), entry.size())); });
    if (!leavesByTree.empty()) {
        uint32_t pg = leavesByTree.front();
        std::set<uint32_t> guard;
        while (pg != 0 && guard.insert(pg).second) {
            chain.push_back(pg);
            pg = Bytes(file.page(pg)->data(), l.pageSize).u32(l.indexNextAt);
        }
    }
    if (chain != leavesByTree) throw FormatError("index leaf chain disagrees with the tree", root);
    tree.leafPages = leavesByTree.size();
    return tree;
}

namespace {

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

}  // namespace

void writeDistinctKeyCount(PageFile& file, const Layout& l, const TableDefData& t, size_t realIndex, uint32_t distinct) {
    const size_t at = l.tdefBlockEnd + realIndex * l.realIndexSlotSize + 4;
    if (at + 4 <= l.pageSize) put32(file.modify(t.page).data() + at, distinct);
}

void writeDistinctKeyCount(PageFile& file, const Layout& l, const TableDefData& t, size_t realIndex,
                           const std::vector<EntryView>& sorted) {
    uint32_t distinct = 0;
    for (size_t i = 0; i < sorted.size(); ++i)
        if (i == 0 || !std::equal(sorted[i].begin(), sorted[i].end() - 4, sorted[i - 1].begin(), sorted[i - 1].end() - 4)) ++distinct;
    writeDistinctKeyCount(file, l, t, realIndex, distinct);
}

void initEmptyIndexPage(PageFile& file, const Layout& l, uint32_t page, uint32_t owner) {
    writeIndexPage(file, l, page, true, owner, 0, 0, {}, 0);
}

void writeIndexTree(PageFile& file, const Layout& l, const TableDefData& t, size_t realIndex, const IndexTree& old,
                    const std::vector<EntryView>& entries) {
    const uint32_t root = old.pages.front();

    // Leaves: at least as many as before, so that the tree keeps its pages.
    size_t target = 0;
    size_t leaves = IndexTreeBuilder::leafPagesFor(l, entries, 0);
    if (entries.size() >= old.leafPages && leaves < old.leafPages) {
        size_t total = 0;
        for (const auto& e : entries) total += e.size();
        target = std::max<size_t>(1, total / old.leafPages);
        leaves = IndexTreeBuilder::leafPagesFor(l, entries, target);
    }

    // Page numbers: the root keeps its page; the leaves take the old pages
    // in order (so that a walk reads them in runs), the node pages the ones
    // after them, then new ones.
    std::vector<uint32_t> pool(old.pages.begin() + 1, old.pages.end());
    std::sort(pool.begin(), pool.end());
    std::vector<bool> taken(pool.size());
    size_t nextLeaf = 0, nextNode = leaves > 1 ? leaves : 0;
    auto takePage = [&](bool leaf) {
        const size_t i = leaf ? nextLeaf++ : nextNode++;
        if (i < pool.size() && !taken[i]) {
            taken[i] = true;
            return pool[i];
        }
        uint32_t n = allocatePage(file, l);
        usageMapAdd(file, l, t.realIndexes[realIndex].usedPages, n);
        return n;
    };
    IndexTreeBuilder builder(file, l, t.page, root, takePage, target);
    for (const EntryView e : entries) builder.add(e);
    builder.finish();
    // Pages the smaller tree no longer needs stay the index's, as empty leaves.
    for (size_t i = 0; i < pool.size(); ++i)
        if (!taken[i]) initEmptyIndexPage(file, l, pool[i], t.page);
}

}  // namespace vantrel::jet
