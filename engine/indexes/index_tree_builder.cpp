#include "index_tree_builder.h"

#include <algorithm>
#include <cstring>

#include "index_page_entries.h"
#include "page_alloc.h"

namespace vantrel::jet {

namespace {

size_t maxPrefixOf(const Layout& l) { return l.jet3 ? 0xFF : 0xFFFF; }

// Jet3 keeps a page's prefix length in one byte.
size_t commonPrefix(EntryView a, EntryView b, size_t maxPrefix) {
    size_t n = std::min({a.size(), b.size(), maxPrefix});
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y) break;
    }
    while (i < n && a[i] == b[i]) ++i;
    return i;
}

// The entries of one page being filled, end to end in one buffer.
struct OwnedPage {
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> ends;
    uint32_t number = 0;

    size_t count() const { return ends.size(); }
    EntryView at(size_t i) const {
        const size_t start = i == 0 ? 0 : ends[i - 1];
        return {bytes.data() + start, ends[i] - start};
    }
    void add(EntryView e) {
        bytes.insert(bytes.end(), e.begin(), e.end());
        ends.push_back(uint32_t(bytes.size()));
    }
    std::vector<EntryView> views() const {
        std::vector<EntryView> out;
        for (size_t i = 0; i < count(); ++i) out.push_back(at(i));
        return out;
    }
};

// Stored size of sorted entries on one page, and the prefix they share.
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

// The stored size of page `p` with `e` appended. Entries are sorted, so the
// prefix all entries of a page share is the one its first and last share.
size_t sizeWith(const OwnedPage& p, EntryView e, size_t maxPrefix) {
    const size_t count = p.count() + 1;
    const size_t prefix = count > 1 ? commonPrefix(p.at(0), e, maxPrefix) : 0;
    return p.bytes.size() + e.size() - (count - 1) * prefix;
}

void put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
uint32_t be32At(EntryView e, size_t at) {
    return uint32_t(e[at]) << 24 | uint32_t(e[at + 1]) << 16 | uint32_t(e[at + 2]) << 8 | uint32_t(e[at + 3]);
}

}  // namespace

void writeIndexPage(PageFile& file, const Layout& l, uint32_t pg, bool leaf, uint32_t owner, uint32_t prev, uint32_t next,
                    const std::vector<EntryView>& entries, size_t prefix, uint32_t tail) {
    PageBuf& b = file.overwrite(pg);
    b[0] = leaf ? kPageIndexLeaf : kPageIndexNode;
    b[1] = 0x01;
    put32(b.data() + l.indexOwnerAt, owner);
    put32(b.data() + l.indexPrevAt, prev);
    put32(b.data() + l.indexNextAt, next);
    put32(b.data() + l.indexTailAt, tail);
    if (l.jet3) {
        b[l.indexPrefixLenAt] = uint8_t(prefix);
        b[l.indexPrefixLenAt + 1] = leaf ? 0 : 1;  // Access marks node pages so
    } else {
        put16(b.data() + l.indexPrefixLenAt, uint16_t(prefix));
        b[l.indexPrefixLenAt + 2] = leaf ? 0 : 1;
    }
    size_t at = l.indexFirstEntryAt;
    size_t total = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        const EntryView e = entries[i];
        const size_t skip = i == 0 ? 0 : prefix;
        std::memcpy(b.data() + at, e.data() + skip, e.size() - skip);
        at += e.size() - skip;
        total += e.size() - skip;
        b[l.indexMaskAt + total / 8] |= uint8_t(1u << (total % 8));
    }
    put16(b.data() + 2, uint16_t(l.pageSize - at));
}

struct IndexTreeBuilder::Level {
    bool leaf = true;
    OwnedPage open;
    std::vector<OwnedPage> closed;  // closed, not yet written: at most two once a call returns
    size_t closedCount = 0;
    uint32_t lastWritten = 0;       // the previous page of the next one written
};

size_t IndexTreeBuilder::capacity(const Layout& l) {
    const size_t maskBits = (l.indexFirstEntryAt - l.indexMaskAt) * 8;
    return std::min<size_t>(l.pageSize - l.indexFirstEntryAt, maskBits - 1);
}

size_t IndexTreeBuilder::leafPagesFor(const Layout& l, const std::vector<EntryView>& sorted, size_t target) {
    const size_t cap = capacity(l), maxPrefix = maxPrefixOf(l);
    if (target == 0) target = cap;
    size_t pages = 0;
    OwnedPage p;
    for (const EntryView e : sorted) {
        if (p.count() && sizeWith(p, e, maxPrefix) > cap) p = {}, ++pages;
        const size_t size = sizeWith(p, e, maxPrefix);
        p.add(e);
        if (size >= target) p = {}, ++pages;
    }
    return pages + (p.count() || pages == 0 ? 1 : 0);
}

IndexTreeBuilder::IndexTreeBuilder(PageFile& file, const Layout& l, uint32_t owner, uint32_t root, PageSource takePage,
                                   size_t leafTarget)
    : file_(file), l_(l), owner_(owner), root_(root), takePage_(std::move(takePage)), leafTarget_(leafTarget) {
    levels_.push_back(std::make_unique<Level>());
}

IndexTreeBuilder::~IndexTreeBuilder() = default;

void IndexTreeBuilder::add(EntryView whole) {
    if (finished_) throw err::internal("index tree already written");
    if (whole.size() < 4) throw FormatError("index entry too short");
    if (entries_ > 0) {
        if (compareBytes(last_.data(), last_.size(), whole.data(), whole.size()) >= 0) throw FormatError("index entries out of key order");
        if (last_.size() != whole.size() || std::memcmp(last_.data(), whole.data(), whole.size() - 4) != 0) ++distinct_;
    } else {
        distinct_ = 1;
    }
    last_.assign(whole.begin(), whole.end());
    ++entries_;
    push(0, whole);
}

void IndexTreeBuilder::push(size_t level, EntryView entry) {
    Level& lv = *levels_[level];
    const size_t cap = capacity(l_), maxPrefix = maxPrefixOf(l_);
    const size_t target = lv.leaf && leafTarget_ ? leafTarget_ : cap;
    if (lv.open.count() && sizeWith(lv.open, entry, maxPrefix) > cap) close(level);
    const size_t size = sizeWith(lv.open, entry, maxPrefix);
    if (size > cap) throw err::notSupported("an index entry is larger than a page");
    lv.open.add(entry);
    if (size >= target) close(level);
}

void IndexTreeBuilder::close(size_t level) {
    Level& lv = *levels_[level];
    lv.closed.push_back(std::move(lv.open));
    lv.open = OwnedPage{};
    // The first page of a level may turn out to be the only one: the root.
    if (++lv.closedCount == 2) lv.closed.front().number = takePage_(lv.leaf);
    if (lv.closedCount >= 2) lv.closed.back().number = takePage_(lv.leaf);
    while (lv.closed.size() > 2) {
        write(level, 0, lv.closed[1].number);
        lv.closed.erase(lv.closed.begin());
    }
}

void IndexTreeBuilder::write(size_t level, size_t i, uint32_t next) {
    Level& lv = *levels_[level];
    const OwnedPage& p = lv.closed[i];
    std::vector<EntryView> es = p.views();
    const bool top = p.number == root_;
    if (es.empty()) {  // only the root of an empty index has no entries
        writeIndexPage(file_, l_, p.number, true, owner_, 0, 0, es, 0);
        return;
    }
    const EntryView last = es.back();
    size_t prefix = 0;
    if (lv.leaf) {
        storedSize(es, maxPrefixOf(l_), prefix);
        writeIndexPage(file_, l_, p.number, true, owner_, lv.lastWritten, next, es, prefix);
    } else {
        // As Access does, a node's last child hangs off its tail pointer, not an entry.
        const uint32_t tail = be32At(last, last.size() - 4);
        es.pop_back();
        storedSize(es, maxPrefixOf(l_), prefix);
        writeIndexPage(file_, l_, p.number, false, owner_, lv.lastWritten, next, es, prefix, tail);
    }
    lv.lastWritten = p.number;
    if (top) return;
    // The level above: this page's last leaf entry and its number.
    std::vector<uint8_t> up(last.begin(), last.end() - (lv.leaf ? 0 : 4));
    for (int s = 24; s >= 0; s -= 8) up.push_back(uint8_t(p.number >> s));
    if (levels_.size() == level + 1) {
        levels_.push_back(std::make_unique<Level>());
        levels_.back()->leaf = false;
    }
    push(level + 1, up);
}

void IndexTreeBuilder::finish() {
    if (finished_) return;
    finished_ = true;
    const size_t cap = capacity(l_), maxPrefix = maxPrefixOf(l_);
    for (size_t level = 0; level < levels_.size(); ++level) {
        Level& lv = *levels_[level];
        if (lv.open.count() || lv.closedCount == 0) close(level);  // an empty index is one empty leaf
        if (lv.closedCount == 1) {
            lv.closed.front().number = root_;
            write(level, 0, 0);
            return;
        }
        // Every node page gets at least two children (one entry and the tail):
        // a last page left with one takes the entry before it, when both still fit.
        OwnedPage &before = lv.closed[0], &lastPage = lv.closed[1];
        if (!lv.leaf && lastPage.count() == 1 && before.count() >= 3) {
            OwnedPage b, a;
            b.number = before.number;
            a.number = lastPage.number;
            for (size_t i = 0; i + 1 < before.count(); ++i) b.add(before.at(i));
            a.add(before.at(before.count() - 1));
            a.add(lastPage.at(0));
            size_t prefix;
            if (storedSize(a.views(), maxPrefix, prefix) <= cap) {
                before = std::move(b);
                lastPage = std::move(a);
            }
        }
        write(level, 0, lv.closed[1].number);
        write(level, 1, 0);
        lv.closed.clear();
    }
    throw err::internal("index tree without a top page");
}

}  // namespace vantrel::jet
