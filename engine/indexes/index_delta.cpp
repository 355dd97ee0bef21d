#include "index_delta.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <deque>
#include <functional>
#include <stdexcept>

#include "index_page_entries.h"
#include "index_tree_builder.h"
#include "index_walk.h"
#include "index_write.h"
#include "page_alloc.h"

namespace vantrel::jet {

namespace {


void appendEntry(std::vector<uint8_t>& out, const std::vector<uint8_t>& key, RowPointer row) {
    out.insert(out.end(), key.begin(), key.end());
    out.push_back(uint8_t(row.page >> 16));
    out.push_back(uint8_t(row.page >> 8));
    out.push_back(uint8_t(row.page));
    out.push_back(uint8_t(row.row));
}

size_t hashOf(std::span<const uint8_t> b) {
    return std::hash<std::string_view>()(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
}

bool same(std::span<const uint8_t> a, std::span<const uint8_t> b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size()) == 0;
}

RowPointer rowOf(const uint8_t* entry, size_t size) {
    const uint8_t* p = entry + size - 4;
    return {uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2], p[3]};
}

uint32_t childOf(const std::vector<uint8_t>& nodeEntry) {
    const size_t n = nodeEntry.size();
    return uint32_t(nodeEntry[n - 4]) << 24 | uint32_t(nodeEntry[n - 3]) << 16 | uint32_t(nodeEntry[n - 2]) << 8 | nodeEntry[n - 1];
}

// The pages of an old tree: its node pages, and its leaves in key order.
struct OldPages {
    std::vector<uint32_t> nodes, leaves;
};

OldPages listPages(PageFile& file, const Layout& l, uint32_t root) {
    OldPages out;
    std::vector<bool> seen(file.pageCount());  // a bit a page of the file: less than a set of the tree's pages
    std::vector<std::pair<uint32_t, int>> stack{{root, 0}};
    while (!stack.empty()) {
        auto [pg, depth] = stack.back();
        stack.pop_back();
        if (depth > 32 || (pg < seen.size() && seen[pg])) throw FormatError("index pages form a cycle", pg);
        PageRef p = file.page(pg);  // FormatError past the end of the file
        seen[pg] = true;
        Bytes pb(p->data(), p->size());
        if (pb.u8(0) == kPageIndexLeaf) {
            out.leaves.push_back(pg);
            continue;
        }
        if (pb.u8(0) != kPageIndexNode) throw FormatError("not an index page", pg);
        out.nodes.push_back(pg);
        std::vector<uint32_t> children;
        for (const auto& e : onPage(pg, [&] { return indexPageEntries(l, pb); })) {
            if (e.bytes.size() < 8) throw FormatError("index node entry too short", pg);
            children.push_back(childOf(e.bytes));
        }
        if (uint32_t tail = pb.u32(l.indexTailAt)) children.push_back(tail);
        for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back({*it, depth + 1});
    }
    return out;
}

// The old leaf entries in key order, leaf by leaf; a leaf read is handed to
// `freed` (its bytes are in memory from then on).
class OldEntries {
public:
    using View = std::span<const uint8_t>;
    OldEntries(PageFile& file, const Layout& l, std::vector<uint32_t> leaves, std::function<void(uint32_t)> freed)
        : file_(file), l_(l), leaves_(std::move(leaves)), freed_(std::move(freed)) {}

    // The next entry (valid until it is popped), empty at the end.
    View peek() {
        while (!read_.empty() && read_.front().head == read_.front().at.size()) read_.pop_front();
        while (read_.empty() && readNext()) {
            if (read_.back().at.empty()) read_.pop_back();
        }
        if (read_.empty()) return {};
        const Leaf& f = read_.front();
        return {f.bytes.data() + f.at[f.head].first, f.at[f.head].second};
    }
    void pop() {
        Leaf& f = read_.front();
        held_ -= f.at[f.head].second;
        ++f.head;
    }
    // Reads one more leaf ahead, unless a few pages already wait.
    bool readAhead() { return held_ < 2 * size_t(l_.pageSize) && readNext(); }

private:
    // A leaf's entries; a leaf read ahead never moves the bytes of another.
    struct Leaf {
        std::vector<uint8_t> bytes;
        std::vector<std::pair<uint32_t, uint32_t>> at;  // where each entry starts in bytes, and its length
        size_t head = 0;
    };

    bool readNext() {
        if (next_ >= leaves_.size()) return false;
        const uint32_t pg = leaves_[next_++];
        onPage(pg, [&] {
            PageRef p = file_.page(pg);
            Bytes pb(p->data(), p->size());
            if (pb.u8(0) != kPageIndexLeaf) throw FormatError("not an index leaf", pg);
            const uint32_t want = next_ < leaves_.size() ? leaves_[next_] : 0;
            if (pb.u32(l_.indexNextAt) != want) throw FormatError("index leaf chain disagrees with the tree");
            IndexPageEntries::parse(l_, pb, ends_);
            const IndexPageEntries entries(l_, pb, ends_);
            Leaf& leaf = read_.emplace_back();
            leaf.at.reserve(entries.size());
            for (size_t i = 0; i < entries.size(); ++i) {
                const size_t n = entries.length(i);
                if (n < 4) throw FormatError("index entry too short");
                leaf.at.emplace_back(uint32_t(leaf.bytes.size()), uint32_t(n));
                entries.appendTo(i, leaf.bytes);
                held_ += n;
            }
        });
        freed_(pg);
        return true;
    }

    PageFile& file_;
    const Layout& l_;
    std::vector<uint32_t> leaves_;
    std::function<void(uint32_t)> freed_;
    size_t next_ = 0;
    std::deque<Leaf> read_;  // leaves read, their entries not all taken
    size_t held_ = 0;
    std::vector<uint32_t> ends_;
};

}  // namespace

IndexDelta::IndexDelta(PageFile& file, const Layout& l, const TableDefData& t, size_t realIndex)
    : file_(file), l_(l), t_(t), realIndex_(realIndex) {
    if (realIndex >= t.realIndexes.size()) throw err::internal("no such index");
    root_ = t.realIndexes[realIndex].rootPage;
    usedPages_ = t.realIndexes[realIndex].usedPages;
}

size_t IndexDelta::findWhole(View w) const {
    if (byWhole_.empty()) return SIZE_MAX;
    const size_t mask = byWhole_.size() - 1;
    for (size_t slot = hashOf(w) & mask;; slot = (slot + 1) & mask) {
        const uint32_t c = byWhole_[slot];
        if (c == 0) return SIZE_MAX;
        if (same(whole(changes_[c - 1]), w)) return c - 1;
    }
}

size_t IndexDelta::slotOfKey(View key) const {
    const size_t mask = byKey_.size() - 1;
    for (size_t slot = hashOf(key) & mask;; slot = (slot + 1) & mask) {
        const uint32_t c = byKey_[slot];
        if (c == 0 || same(keyOf(changes_[c - 1]), key)) return slot;
    }
}

void IndexDelta::grow() {
    const size_t n = std::max<size_t>(64, byWhole_.size() * 2);
    byWhole_.assign(n, 0);
    byKey_.assign(n, 0);
    for (size_t i = 0; i < indexed_; ++i) {
        if (changes_[i].folded) continue;
        size_t slot = hashOf(whole(changes_[i])) & (n - 1);
        while (byWhole_[slot]) slot = (slot + 1) & (n - 1);
        byWhole_[slot] = uint32_t(i + 1);
        changes_[i].nextSameKey = 0;
    }
    // Chains by key, rebuilt newest first as catchUp() builds them.
    for (size_t i = 0; i < indexed_; ++i) {
        if (changes_[i].folded) continue;
        uint32_t& head = byKey_[slotOfKey(keyOf(changes_[i]))];
        changes_[i].nextSameKey = head;
        head = uint32_t(i + 1);
    }
}

void IndexDelta::note(View w, bool gained) {
    if (w.size() < 4 || arena_.size() + w.size() > UINT32_MAX || changes_.size() + 1 >= UINT32_MAX / 2)
        throw err::internal("an index change out of bounds");
    changes_.push_back(Change{uint32_t(arena_.size()), uint32_t(w.size()), 0, gained, true, false});
    arena_.insert(arena_.end(), w.begin(), w.end());
    bytes_ += w.size() + kBytesPerChange;
}

void IndexDelta::catchUp() {
    for (; indexed_ < changes_.size(); ++indexed_) {
        const size_t i = indexed_;
        if (const size_t found = findWhole(whole(changes_[i])); found != SIZE_MAX) {
            // The entry was named before: the older change takes this one in.
            Change& c = changes_[found];
            const bool gained = changes_[i].gained;
            if (c.live && c.gained == gained) throw err::internal(gained ? "an index entry gained twice" : "an index entry lost twice");
            c.live = !c.live;  // gained and lost again (or the other way round), or named once more
            c.gained = gained;
            changes_[i].live = false;
            changes_[i].folded = true;
            continue;
        }
        if ((tabled_ + 1) * 2 > byWhole_.size()) grow();
        const uint32_t id = uint32_t(i + 1);
        const size_t mask = byWhole_.size() - 1;
        size_t slot = hashOf(whole(changes_[i])) & mask;
        while (byWhole_[slot]) slot = (slot + 1) & mask;
        byWhole_[slot] = id;
        uint32_t& head = byKey_[slotOfKey(keyOf(changes_[i]))];
        changes_[i].nextSameKey = head;
        head = id;
        ++tabled_;
    }
}

void IndexDelta::change(RowPointer row, const std::vector<uint8_t>* oldKey, const std::vector<uint8_t>* newKey) {
    if (oldKey && newKey && *oldKey == *newKey) return;
    std::vector<uint8_t>& w = scratchEntry_;
    if (oldKey) {
        w.clear();
        appendEntry(w, *oldKey, row);
        note(w, false);
    }
    if (newKey) {
        w.clear();
        appendEntry(w, *newKey, row);
        note(w, true);
    }
}

const std::vector<uint32_t>& IndexDelta::endsOf(uint32_t page, Bytes bytes) {
    if (auto it = parsed_.find(page); it != parsed_.end()) return it->second;
    if (parsedBytes_ > kParsedPagesBytes) {
        parsed_.clear();
        parsedBytes_ = 0;
    }
    IndexPageEntries::parse(l_, bytes, scratchEnds_);
    parsedBytes_ += scratchEnds_.size() * 4 + 64;
    return parsed_.emplace(page, scratchEnds_).first->second;
}

bool IndexDelta::holds(const std::vector<uint8_t>& key, RowPointer self) {
    catchUp();
    const View k(key.data(), key.size());
    std::vector<uint64_t> leaving;  // rows whose entry with this key is lost
    if (!byKey_.empty())
        for (uint32_t c = byKey_[slotOfKey(k)]; c != 0; c = changes_[c - 1].nextSameKey) {
            const Change& ch = changes_[c - 1];
            if (!ch.live) continue;
            const RowPointer rp = rowOf(arena_.data() + ch.at, ch.size);
            if (!ch.gained) leaving.push_back(rp.packed());
            else if (rp.packed() != self.packed()) return true;
        }
    return treeHolds(k, self, leaving);
}

uint32_t IndexDelta::firstLeaf(View key) {
    // Down to the first leaf that may hold an entry >= key: the first child
    // whose last entry is not below the key, else the tail. 0: none.
    uint32_t pg = root_;
    for (int depth = 0;; ++depth) {
        if (depth > 32) throw FormatError("index tree too deep", pg);
        PageRef p = file_.page(pg);
        Bytes pb(p->data(), p->size());
        if (pb.u8(0) == kPageIndexLeaf) return pg;
        if (pb.u8(0) != kPageIndexNode) throw FormatError("not an index page", pg);
        const IndexPageEntries entries(l_, pb, onPage(pg, [&]() -> decltype(auto) { return endsOf(pg, pb); }));
        uint32_t child = 0;
        if (const size_t i = entries.lowerBound(key.data(), key.size(), 4); i < entries.size()) {
            if (entries.length(i) < 8) throw FormatError("index node entry too short", pg);
            child = entries.last4(i);
        }
        if (child == 0) child = pb.u32(l_.indexTailAt);
        if (child == 0) return 0;
        pg = child;
    }
}

bool IndexDelta::hasEntry(const std::vector<uint8_t>& key, RowPointer row) {
    catchUp();
    std::vector<uint8_t>& w = scratchEntry_;
    w.clear();
    appendEntry(w, key, row);
    if (const size_t found = findWhole(w); found != SIZE_MAX && changes_[found].live) return changes_[found].gained;
    for (uint32_t pg = firstLeaf(w), steps = 0; pg != 0; ++steps) {
        if (steps > file_.pageCount()) throw FormatError("index leaf pages form a cycle", pg);
        PageRef p = file_.page(pg);
        Bytes pb(p->data(), p->size());
        if (pb.u8(0) != kPageIndexLeaf) throw FormatError("not an index leaf", pg);
        const IndexPageEntries entries(l_, pb, onPage(pg, [&]() -> decltype(auto) { return endsOf(pg, pb); }));
        // The first entry not below the one sought is it, or it is not there.
        if (const size_t i = entries.lowerBound(w.data(), w.size()); i < entries.size()) return entries.compare(i, w.data(), w.size()) == 0;
        pg = pb.u32(l_.indexNextAt);
    }
    return false;
}

bool IndexDelta::treeHolds(View key, RowPointer self, const std::vector<uint64_t>& leaving) {
    const uint8_t* kb = key.data();
    uint32_t pg = firstLeaf(key);
    // Along the leaves while the entries start with the key.
    for (uint32_t steps = 0; pg != 0; ++steps) {
        if (steps > file_.pageCount()) throw FormatError("index leaf pages form a cycle", pg);
        PageRef p = file_.page(pg);
        Bytes pb(p->data(), p->size());
        if (pb.u8(0) != kPageIndexLeaf) throw FormatError("not an index leaf", pg);
        const IndexPageEntries entries(l_, pb, onPage(pg, [&]() -> decltype(auto) { return endsOf(pg, pb); }));
        for (size_t i = entries.lowerBound(kb, key.size()); i < entries.size(); ++i) {
            if (!entries.startsWith(i, kb, key.size())) return false;  // past the key
            if (entries.length(i) != key.size() + 4) continue;  // a longer key starting with this one
            const uint32_t tail = entries.last4(i);
            const uint64_t row = RowPointer{tail >> 8, uint16_t(tail & 0xFF)}.packed();
            if (row != self.packed() && std::find(leaving.begin(), leaving.end(), row) == leaving.end()) return true;
        }
        pg = pb.u32(l_.indexNextAt);
    }
    return false;
}

// The changes in the order of their entries, each entry once with the net
// of what was noted of it (changes not yet taken in by catchUp() are folded
// here: they alternate, so an odd run leaves its first kind, an even one
// nothing). Entries are ordered by their first 16 bytes as two numbers
// before any byte comparison.
std::vector<uint32_t> IndexDelta::netChanges() const {
    struct Item {
        uint64_t hi, lo;
        uint32_t change;
    };
    std::vector<Item> items;
    items.reserve(changes_.size());
    for (size_t i = 0; i < changes_.size(); ++i) {
        if (!changes_[i].live) continue;
        const View w = whole(changes_[i]);
        uint8_t head[16] = {};
        std::memcpy(head, w.data(), std::min<size_t>(16, w.size()));
        uint64_t hi = 0, lo = 0;
        for (int b = 0; b < 8; ++b) {
            hi = hi << 8 | head[b];
            lo = lo << 8 | head[8 + b];
        }
        items.push_back({hi, lo, uint32_t(i)});
    }
    std::sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
        if (a.hi != b.hi) return a.hi < b.hi;
        if (a.lo != b.lo) return a.lo < b.lo;
        const View x = whole(changes_[a.change]), y = whole(changes_[b.change]);
        if (const int c = compareBytes(x.data(), x.size(), y.data(), y.size()); c != 0) return c < 0;
        return a.change < b.change;  // the order they were noted in
    });
    std::vector<uint32_t> out;
    out.reserve(items.size());
    for (size_t i = 0; i < items.size();) {
        const View w = whole(changes_[items[i].change]);
        size_t j = i + 1;
        while (j < items.size() && same(whole(changes_[items[j].change]), w)) {
            if (changes_[items[j].change].gained == changes_[items[j - 1].change].gained)
                throw err::internal(changes_[items[j].change].gained ? "an index entry gained twice" : "an index entry lost twice");
            ++j;
        }
        if ((j - i) % 2 == 1) out.push_back(items[i].change);
        i = j;
    }
    return out;
}

void IndexDelta::apply() {
    if (changes_.empty()) return;
    // The page bounds kept for seeks describe the tree being replaced.
    parsed_.clear();
    parsedBytes_ = 0;
    const std::vector<uint32_t> order = netChanges();
    if (order.empty()) {
        clear();
        return;
    }
    const OldPages old = listPages(file_, l_, root_);

    // Pages whose old bytes are in memory or were never needed again, oldest
    // first: leaves go back to leaves in key order, nodes to nodes.
    std::deque<uint32_t> leaves, nodes;
    for (uint32_t n : old.nodes)
        if (n != root_) nodes.push_back(n);
    OldEntries reader(file_, l_, old.leaves, [&](uint32_t pg) {
        if (pg != root_) leaves.push_back(pg);
    });
    auto takePage = [&](bool leaf) -> uint32_t {
        if (leaf && leaves.empty()) reader.readAhead();
        for (std::deque<uint32_t>* pool : {leaf ? &leaves : &nodes, leaf ? &nodes : &leaves}) {
            if (pool->empty()) continue;
            const uint32_t n = pool->front();
            pool->pop_front();
            return n;
        }
        if (!leaf && reader.readAhead() && !leaves.empty()) {
            const uint32_t n = leaves.front();
            leaves.pop_front();
            return n;
        }
        const uint32_t n = allocatePage(file_, l_);
        usageMapAdd(file_, l_, usedPages_, n);
        return n;
    };
    IndexTreeBuilder builder(file_, l_, t_.page, root_, takePage);
    auto missing = [&](View e) {
        const RowPointer rp = rowOf(e.data(), e.size());
        return FormatError("index " + std::to_string(realIndex_) + " of the table on page " + std::to_string(t_.page) +
                           " has no entry of the row at page " + std::to_string(rp.page) + " slot " + std::to_string(rp.row) +
                           " to remove");
    };

    size_t next = 0;
    for (View o = reader.peek(); !o.empty(); o = reader.peek()) {
        int c = 1;
        for (; next < order.size(); ++next) {
            const Change& ch = changes_[order[next]];
            const View w = whole(ch);
            c = compareBytes(w.data(), w.size(), o.data(), o.size());
            if (c >= 0) break;
            if (!ch.gained) throw missing(w);
            builder.add(w);
        }
        if (next < order.size() && c == 0) {
            if (changes_[order[next]].gained) throw FormatError("an index entry to add is already in the index");
            ++next;  // lost: left out
        } else {
            builder.add(o);
        }
        reader.pop();
    }
    for (; next < order.size(); ++next) {
        const Change& ch = changes_[order[next]];
        if (!ch.gained) throw missing(whole(ch));
        builder.add(whole(ch));
    }
    builder.finish();
    // Pages the smaller tree no longer needs stay the index's, as empty leaves.
    for (const auto* pool : {&leaves, &nodes})
        for (uint32_t n : *pool) initEmptyIndexPage(file_, l_, n, t_.page);
    writeDistinctKeyCount(file_, l_, t_, realIndex_, builder.distinctKeys());
    clear();
}

void IndexDelta::clear() {
    arena_.clear();
    changes_.clear();
    byWhole_.clear();
    byKey_.clear();
    indexed_ = tabled_ = 0;
    bytes_ = 0;
}

}  // namespace vantrel::jet
