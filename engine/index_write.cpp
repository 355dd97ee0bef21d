#include "index_write.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "index_walk.h"
#include "page_alloc.h"

namespace vantrel::jet {

std::vector<EntryView> EntryArena::sorted() const {
    std::vector<EntryView> out;
    out.reserve(refs.size());
    for (size_t i = 0; i < refs.size(); ++i) out.push_back(at(i));
    std::sort(out.begin(), out.end(), [](EntryView a, EntryView b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
    });
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
        if (depth > 32 || !seen.insert(pg).second) throw FormatError("index pages form a cycle");
        tree.pages.push_back(pg);
        PageRef p = file.page(pg);
        Bytes pb(p->data(), p->size());
        if (pb.u8(0) == kPageIndexLeaf) {
            leavesByTree.push_back(pg);
            continue;
        }
        if (pb.u8(0) != kPageIndexNode) throw FormatError("page " + std::to_string(pg) + " is not an index page");
        std::vector<uint32_t> children;
        for (const auto& e : indexPageEntries(l, pb)) {
            if (e.bytes.size() < 8) throw FormatError("index node entry too short");
            children.push_back(Bytes(e.bytes.data(), e.bytes.size()).be32(e.bytes.size() - 4));
        }
        if (uint32_t tail = pb.u32(l.indexTailAt)) children.push_back(tail);
        for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back({*it, depth + 1});
    }
    // The leaf chain must visit the same leaves in the same order.
    std::vector<uint32_t> chain;
    std::vector<uint8_t> whole;
    walkIndex(file, l, root, [&](Bytes key, RowPointer rp) {
        whole.assign(key.data(), key.data() + key.size());
        auto ptr = entryRowPointer(rp);
        whole.insert(whole.end(), ptr.begin(), ptr.end());
        tree.entries.add(whole);
    });
    if (!leavesByTree.empty()) {
        uint32_t pg = leavesByTree.front();
        std::set<uint32_t> guard;
        while (pg != 0 && guard.insert(pg).second) {
            chain.push_back(pg);
            pg = Bytes(file.page(pg)->data(), l.pageSize).u32(l.indexNextAt);
        }
    }
    if (chain != leavesByTree) throw FormatError("index leaf chain disagrees with the tree");
    tree.leafPages = leavesByTree.size();
    return tree;
}

namespace {

// Jet3 keeps a page's prefix length in one byte.
size_t commonPrefix(EntryView a, EntryView b, size_t maxPrefix) {
    size_t n = std::min({a.size(), b.size(), maxPrefix});
    size_t i = 0;
    while (i < n && a[i] == b[i]) ++i;
    return i;
}

struct PageContent {
    std::vector<EntryView> entries;
    size_t prefix = 0;
    size_t bytes = 0;  // as stored
};

size_t storedSize(const std::vector<EntryView>& es, size_t maxPrefix, size_t& prefix) {
    if (es.empty()) {
        prefix = 0;
        return 0;
    }
    prefix = es.size() > 1 ? commonPrefix(es.front(), es.back(), maxPrefix) : 0;
    size_t total = es.front().size();
    for (size_t i = 1; i < es.size(); ++i) total += es[i].size() - prefix;
    return total;
}

// Packs entries onto pages in order; a page is closed once it reaches
// `target` bytes or would pass `capacity`. Entries are sorted, so the prefix
// all entries of a page share is the one its first and last share.
std::vector<PageContent> pack(const std::vector<EntryView>& entries, size_t capacity, size_t target, size_t maxPrefix) {
    std::vector<PageContent> pages;
    PageContent cur;
    size_t sum = 0;  // plain sizes of the entries on the current page
    auto sizeWith = [&](EntryView last, size_t count, size_t total, size_t& prefix) {
        prefix = count > 1 ? commonPrefix(cur.entries.front(), last, maxPrefix) : 0;
        return total - (count - 1) * prefix;
    };
    auto close = [&] {
        cur.bytes = storedSize(cur.entries, maxPrefix, cur.prefix);
        pages.push_back(std::move(cur));
        cur = PageContent{};
        sum = 0;
    };
    for (const auto& e : entries) {
        size_t prefix;
        if (!cur.entries.empty() && sizeWith(e, cur.entries.size() + 1, sum + e.size(), prefix) > capacity) close();
        cur.entries.push_back(e);
        sum += e.size();
        const size_t size = sizeWith(e, cur.entries.size(), sum, prefix);
        if (size > capacity) throw unsupportedChange("an index entry is larger than a page");
        if (size >= target) close();
    }
    if (!cur.entries.empty() || pages.empty()) close();
    return pages;
}

void put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

void writePage(PageFile& file, const Layout& l, uint32_t pg, bool leaf, uint32_t owner, uint32_t prev, uint32_t next,
               const PageContent& c, uint32_t tail = 0) {
    PageBuf& b = file.modify(pg);
    std::fill(b.begin(), b.end(), 0);
    b[0] = leaf ? kPageIndexLeaf : kPageIndexNode;
    b[1] = 0x01;
    put32(b.data() + l.indexOwnerAt, owner);
    put32(b.data() + l.indexPrevAt, prev);
    put32(b.data() + l.indexNextAt, next);
    put32(b.data() + l.indexTailAt, tail);
    if (l.jet3) {
        b[l.indexPrefixLenAt] = uint8_t(c.prefix);
        b[l.indexPrefixLenAt + 1] = leaf ? 0 : 1;  // Access marks node pages so
    } else {
        put16(b.data() + l.indexPrefixLenAt, uint16_t(c.prefix));
        b[l.indexPrefixLenAt + 2] = leaf ? 0 : 1;
    }
    size_t at = l.indexFirstEntryAt;
    size_t total = 0;
    for (size_t i = 0; i < c.entries.size(); ++i) {
        const EntryView e = c.entries[i];
        const size_t skip = i == 0 ? 0 : c.prefix;
        std::memcpy(b.data() + at, e.data() + skip, e.size() - skip);
        at += e.size() - skip;
        total += e.size() - skip;
        b[l.indexMaskAt + total / 8] |= uint8_t(1u << (total % 8));
    }
    put16(b.data() + 2, uint16_t(l.pageSize - at));
}

// Every node page gets at least two children (one entry and the tail): a
// last page left with one takes the entry before it, when both still fit.
void keepTwoChildren(std::vector<PageContent>& pages, size_t capacity, size_t maxPrefix) {
    if (pages.size() < 2 || pages.back().entries.size() != 1 || pages[pages.size() - 2].entries.size() < 3) return;
    PageContent before = pages[pages.size() - 2], last = pages.back();
    last.entries.insert(last.entries.begin(), before.entries.back());
    before.entries.pop_back();
    last.bytes = storedSize(last.entries, maxPrefix, last.prefix);
    before.bytes = storedSize(before.entries, maxPrefix, before.prefix);
    if (last.bytes > capacity) return;
    pages[pages.size() - 2] = std::move(before);
    pages.back() = std::move(last);
}

}  // namespace

void writeDistinctKeyCount(PageFile& file, const Layout& l, const TableDefData& t, size_t realIndex,
                           const std::vector<EntryView>& sorted) {
    uint32_t distinct = 0;
    for (size_t i = 0; i < sorted.size(); ++i)
        if (i == 0 || !std::equal(sorted[i].begin(), sorted[i].end() - 4, sorted[i - 1].begin(), sorted[i - 1].end() - 4)) ++distinct;
    const size_t at = l.tdefBlockEnd + realIndex * l.realIndexSlotSize + 4;
    if (at + 4 <= l.pageSize) put32(file.modify(t.page).data() + at, distinct);
}

void initEmptyIndexPage(PageFile& file, const Layout& l, uint32_t page, uint32_t owner) {
    writePage(file, l, page, true, owner, 0, 0, PageContent{});
}

void writeIndexTree(PageFile& file, const Layout& l, const TableDefData& t, size_t realIndex, const IndexTree& old,
                    const std::vector<EntryView>& entries) {
    const uint32_t root = old.pages.front();
    const size_t maskBits = (l.indexFirstEntryAt - l.indexMaskAt) * 8;
    const size_t capacity = std::min<size_t>(l.pageSize - l.indexFirstEntryAt, maskBits - 1);

    // Leaves: at least as many as before, so that the tree keeps its pages.
    size_t total = 0;
    for (const auto& e : entries) total += e.size();
    const size_t maxPrefix = l.jet3 ? 0xFF : 0xFFFF;
    std::vector<PageContent> leaves = pack(entries, capacity, capacity, maxPrefix);
    if (leaves.empty()) leaves.emplace_back();  // an empty index is one empty leaf
    if (leaves.size() < old.leafPages && entries.size() >= old.leafPages)
        leaves = pack(entries, capacity, std::max<size_t>(1, total / old.leafPages), maxPrefix);

    std::vector<std::vector<PageContent>> levels{leaves};
    std::vector<std::vector<std::vector<uint8_t>>> nodeEntries;  // keeps node entry bytes alive
    nodeEntries.reserve(40);

    // Page numbers: the root keeps its page, the rest reuse the old pages in
    // order, then new ones.
    std::vector<uint32_t> pool(old.pages.begin() + 1, old.pages.end());
    std::sort(pool.begin(), pool.end());
    size_t poolNext = 0;
    auto takePage = [&]() {
        if (poolNext < pool.size()) return pool[poolNext++];
        uint32_t n = allocatePage(file, l);
        usageMapAdd(file, l, t.realIndexes[realIndex].usedPages, n);
        return n;
    };

    std::vector<std::vector<uint32_t>> numbers;
    for (size_t level = 0;; ++level) {
        const auto& pages = levels[level];
        std::vector<uint32_t> nums(pages.size());
        if (pages.size() == 1) {
            nums[0] = root;
            numbers.push_back(nums);
            break;
        }
        for (auto& n : nums) n = takePage();
        numbers.push_back(nums);
        // The level above: one entry per page, its last entry and the page number.
        std::vector<std::vector<uint8_t>> up;
        for (size_t i = 0; i < pages.size(); ++i) {
            const EntryView lastEntry = pages[i].entries.back();
            std::vector<uint8_t> e(lastEntry.begin(), lastEntry.end());
            if (level > 0) e.resize(e.size() - 4);  // a node's last entry carries its own child pointer
            e.push_back(uint8_t(nums[i] >> 24));
            e.push_back(uint8_t(nums[i] >> 16));
            e.push_back(uint8_t(nums[i] >> 8));
            e.push_back(uint8_t(nums[i]));
            up.push_back(std::move(e));
        }
        nodeEntries.push_back(std::move(up));
        std::vector<EntryView> views(nodeEntries.back().begin(), nodeEntries.back().end());
        levels.push_back(pack(views, capacity, capacity, maxPrefix));
        keepTwoChildren(levels.back(), capacity, maxPrefix);
    }

    for (size_t level = 0; level < levels.size(); ++level) {
        const auto& pages = levels[level];
        for (size_t i = 0; i < pages.size(); ++i) {
            uint32_t prev = i > 0 ? numbers[level][i - 1] : 0;
            uint32_t next = i + 1 < pages.size() ? numbers[level][i + 1] : 0;
            if (level == 0) {
                writePage(file, l, numbers[level][i], true, t.page, prev, next, pages[i]);
                continue;
            }
            // As Access does, a node's last child hangs off its tail pointer, not an entry.
            PageContent c = pages[i];
            const EntryView last = c.entries.back();
            const uint32_t tail = Bytes(last.data(), last.size()).be32(last.size() - 4);
            c.entries.pop_back();
            c.bytes = storedSize(c.entries, maxPrefix, c.prefix);
            writePage(file, l, numbers[level][i], false, t.page, prev, next, c, tail);
        }
    }
    // Pages the smaller tree no longer needs stay the index's, as empty leaves.
    for (; poolNext < pool.size(); ++poolNext) writePage(file, l, pool[poolNext], true, t.page, 0, 0, PageContent{});
}

}  // namespace vantrel::jet
