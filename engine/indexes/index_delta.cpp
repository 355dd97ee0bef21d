#include "index_delta.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <deque>
#include <functional>
#include <stdexcept>

#include "index_tree_builder.h"
#include "index_walk.h"
#include "index_write.h"
#include "page_alloc.h"

namespace vantrel::jet {

namespace {

uint64_t packed(RowPointer p) { return (uint64_t(p.page) << 8) | p.row; }

std::string wholeEntry(const std::vector<uint8_t>& key, RowPointer row) {
    std::string out(key.begin(), key.end());
    out += char(uint8_t(row.page >> 16));
    out += char(uint8_t(row.page >> 8));
    out += char(uint8_t(row.page));
    out += char(uint8_t(row.row));
    return out;
}

RowPointer rowOf(const uint8_t* entry, size_t size) {
    const uint8_t* p = entry + size - 4;
    return {uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2], p[3]};
}

// Whole entries compared as unsigned bytes, as the index orders them.
int compareBytes(const uint8_t* a, size_t an, const uint8_t* b, size_t bn) {
    const int c = std::memcmp(a, b, std::min(an, bn));
    if (c != 0) return c;
    return an < bn ? -1 : an > bn ? 1 : 0;
}

uint32_t childOf(const std::vector<uint8_t>& nodeEntry) {
    const size_t n = nodeEntry.size();
    return uint32_t(nodeEntry[n - 4]) << 24 | uint32_t(nodeEntry[n - 3]) << 16 | uint32_t(nodeEntry[n - 2]) << 8 | nodeEntry[n - 1];
}

// One index page's entries, located but not copied: where each ends (read
// from the page's mask, as indexPageEntries reads it) and the bytes every
// entry after the first shares with it. Entries compare in place, so a seek
// binary-searches a page instead of reading every entry of it.
class PageEntries {
public:
    PageEntries(const Layout& l, Bytes page, std::vector<uint32_t>& ends)
        : base_(page.data()), first_(l.indexFirstEntryAt), prefixLen_(indexPagePrefixLength(l, page)), ends_(ends) {
        ends_.clear();
        size_t start = first_;
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
                // A set bit marks where the entry before it ends.
                const size_t end = first_ + i * 8 + size_t(std::countr_zero(b));
                b &= uint8_t(b - 1);
                if (end <= start || end > page.size()) throw FormatError("index entry bounds out of order");
                ends_.push_back(uint32_t(end));
                start = end;
            }
        }
        if (ends_.size() > 1 && ends_[0] - first_ < prefixLen_) throw FormatError("index prefix longer than the first entry");
    }
    size_t size() const { return ends_.size(); }
    size_t length(size_t i) const { return shared(i) + ends_[i] - startOf(i); }
    uint8_t at(size_t i, size_t pos) const {
        return pos < shared(i) ? base_[first_ + pos] : base_[startOf(i) + pos - shared(i)];
    }
    // Entry i without its last `drop` bytes against k, as unsigned bytes.
    int compare(size_t i, const uint8_t* k, size_t kn, size_t drop = 0) const {
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
    // The first entry (without its last `drop` bytes) not below k; size() when none.
    size_t lowerBound(const uint8_t* k, size_t kn, size_t drop = 0) const {
        size_t lo = 0, hi = size();
        while (lo < hi) {
            const size_t mid = lo + (hi - lo) / 2;
            if (compare(mid, k, kn, drop) < 0) lo = mid + 1;
            else hi = mid;
        }
        return lo;
    }
    bool startsWith(size_t i, const uint8_t* k, size_t kn) const { return length(i) >= kn && compare(i, k, kn, length(i) - kn) == 0; }
    uint32_t last4(size_t i) const {
        const size_t n = length(i);
        if (n < 4) throw FormatError("index entry too short");
        return uint32_t(at(i, n - 4)) << 24 | uint32_t(at(i, n - 3)) << 16 | uint32_t(at(i, n - 2)) << 8 | at(i, n - 1);
    }

private:
    size_t shared(size_t i) const { return i ? prefixLen_ : 0; }
    size_t startOf(size_t i) const { return i ? ends_[i - 1] : first_; }
    const uint8_t* base_;
    size_t first_, prefixLen_;
    std::vector<uint32_t>& ends_;
};

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
        if (depth > 32 || (pg < seen.size() && seen[pg])) throw FormatError("index pages form a cycle");
        PageRef p = file.page(pg);  // FormatError past the end of the file
        seen[pg] = true;
        Bytes pb(p->data(), p->size());
        if (pb.u8(0) == kPageIndexLeaf) {
            out.leaves.push_back(pg);
            continue;
        }
        if (pb.u8(0) != kPageIndexNode) throw FormatError("page " + std::to_string(pg) + " is not an index page");
        out.nodes.push_back(pg);
        std::vector<uint32_t> children;
        for (const auto& e : indexPageEntries(l, pb)) {
            if (e.bytes.size() < 8) throw FormatError("index node entry too short");
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
    OldEntries(PageFile& file, const Layout& l, std::vector<uint32_t> leaves, std::function<void(uint32_t)> freed)
        : file_(file), l_(l), leaves_(std::move(leaves)), freed_(std::move(freed)) {}

    // The next entry, nullptr at the end.
    const std::string* peek() {
        while (buffered_.empty() && readNext()) {
        }
        return buffered_.empty() ? nullptr : &buffered_.front();
    }
    void pop() {
        bytes_ -= buffered_.front().size();
        buffered_.pop_front();
    }
    // Reads one more leaf ahead, unless a few pages already wait.
    bool readAhead() { return bytes_ < 2 * size_t(l_.pageSize) && readNext(); }

private:
    bool readNext() {
        if (next_ >= leaves_.size()) return false;
        const uint32_t pg = leaves_[next_++];
        {
            PageRef p = file_.page(pg);
            Bytes pb(p->data(), p->size());
            if (pb.u8(0) != kPageIndexLeaf) throw FormatError("page " + std::to_string(pg) + " is not an index leaf");
            const uint32_t want = next_ < leaves_.size() ? leaves_[next_] : 0;
            if (pb.u32(l_.indexNextAt) != want) throw FormatError("index leaf chain disagrees with the tree");
            for (auto& e : indexPageEntries(l_, pb)) {
                if (e.bytes.size() < 4) throw FormatError("index entry too short");
                bytes_ += e.bytes.size();
                buffered_.emplace_back(e.bytes.begin(), e.bytes.end());
            }
        }
        freed_(pg);
        return true;
    }

    PageFile& file_;
    const Layout& l_;
    std::vector<uint32_t> leaves_;
    std::function<void(uint32_t)> freed_;
    size_t next_ = 0;
    std::deque<std::string> buffered_;
    size_t bytes_ = 0;
};

}  // namespace

IndexDelta::IndexDelta(PageFile& file, const Layout& l, const TableDefData& t, size_t realIndex)
    : file_(file), l_(l), t_(t), realIndex_(realIndex) {
    if (realIndex >= t.realIndexes.size()) throw std::logic_error("no such index");
    root_ = t.realIndexes[realIndex].rootPage;
    usedPages_ = t.realIndexes[realIndex].usedPages;
}

void IndexDelta::note(std::string whole, bool gained) {
    auto it = pending_.find(whole);
    const size_t cost = whole.size() + kBytesPerChange;
    if (it == pending_.end()) {
        pending_.emplace(std::move(whole), gained);
        bytes_ += cost;
        return;
    }
    if (it->second == gained) throw std::logic_error(gained ? "an index entry gained twice" : "an index entry lost twice");
    pending_.erase(it);  // gained and lost again, or the other way round
    bytes_ -= cost;
}

void IndexDelta::change(RowPointer row, std::optional<std::vector<uint8_t>> oldKey, std::optional<std::vector<uint8_t>> newKey) {
    if (oldKey && newKey && *oldKey == *newKey) return;
    if (oldKey) note(wholeEntry(*oldKey, row), false);
    if (newKey) note(wholeEntry(*newKey, row), true);
}

bool IndexDelta::holds(const std::vector<uint8_t>& key, RowPointer self) {
    const std::string k(key.begin(), key.end());
    std::vector<uint64_t> leaving;  // rows whose entry with this key is lost
    for (auto it = pending_.lower_bound(k); it != pending_.end() && it->first.compare(0, k.size(), k) == 0; ++it) {
        if (it->first.size() != k.size() + 4) continue;  // a longer key starting with this one
        const RowPointer rp = rowOf(reinterpret_cast<const uint8_t*>(it->first.data()), it->first.size());
        if (!it->second) leaving.push_back(packed(rp));
        else if (packed(rp) != packed(self)) return true;
    }
    return treeHolds(k, self, leaving);
}

uint32_t IndexDelta::firstLeaf(const std::string& key) {
    const auto* kb = reinterpret_cast<const uint8_t*>(key.data());
    // Down to the first leaf that may hold an entry >= key: the first child
    // whose last entry is not below the key, else the tail. 0: none.
    uint32_t pg = root_;
    for (int depth = 0;; ++depth) {
        if (depth > 32) throw FormatError("index tree too deep");
        PageRef p = file_.page(pg);
        Bytes pb(p->data(), p->size());
        if (pb.u8(0) == kPageIndexLeaf) return pg;
        if (pb.u8(0) != kPageIndexNode) throw FormatError("page " + std::to_string(pg) + " is not an index page");
        const PageEntries entries(l_, pb, ends_);
        uint32_t child = 0;
        if (const size_t i = entries.lowerBound(kb, key.size(), 4); i < entries.size()) {
            if (entries.length(i) < 8) throw FormatError("index node entry too short");
            child = entries.last4(i);
        }
        if (child == 0) child = pb.u32(l_.indexTailAt);
        if (child == 0) return 0;
        pg = child;
    }
}

bool IndexDelta::hasEntry(const std::vector<uint8_t>& key, RowPointer row) {
    const std::string whole = wholeEntry(key, row);
    if (auto it = pending_.find(whole); it != pending_.end()) return it->second;
    const auto* wb = reinterpret_cast<const uint8_t*>(whole.data());
    for (uint32_t pg = firstLeaf(whole), steps = 0; pg != 0; ++steps) {
        if (steps > file_.pageCount()) throw FormatError("index leaf pages form a cycle");
        PageRef p = file_.page(pg);
        Bytes pb(p->data(), p->size());
        if (pb.u8(0) != kPageIndexLeaf) throw FormatError("page " + std::to_string(pg) + " is not an index leaf");
        const PageEntries entries(l_, pb, ends_);
        // The first entry not below the one sought is it, or it is not there.
        if (const size_t i = entries.lowerBound(wb, whole.size()); i < entries.size()) return entries.compare(i, wb, whole.size()) == 0;
        pg = pb.u32(l_.indexNextAt);
    }
    return false;
}

bool IndexDelta::treeHolds(const std::string& key, RowPointer self, const std::vector<uint64_t>& leaving) {
    const auto* kb = reinterpret_cast<const uint8_t*>(key.data());
    uint32_t pg = firstLeaf(key);
    // Along the leaves while the entries start with the key.
    for (uint32_t steps = 0; pg != 0; ++steps) {
        if (steps > file_.pageCount()) throw FormatError("index leaf pages form a cycle");
        PageRef p = file_.page(pg);
        Bytes pb(p->data(), p->size());
        if (pb.u8(0) != kPageIndexLeaf) throw FormatError("page " + std::to_string(pg) + " is not an index leaf");
        const PageEntries entries(l_, pb, ends_);
        for (size_t i = entries.lowerBound(kb, key.size()); i < entries.size(); ++i) {
            if (!entries.startsWith(i, kb, key.size())) return false;  // past the key
            if (entries.length(i) != key.size() + 4) continue;  // a longer key starting with this one
            const uint32_t tail = entries.last4(i);
            const uint64_t row = packed({tail >> 8, uint16_t(tail & 0xFF)});
            if (row != packed(self) && std::find(leaving.begin(), leaving.end(), row) == leaving.end()) return true;
        }
        pg = pb.u32(l_.indexNextAt);
    }
    return false;
}

void IndexDelta::apply() {
    if (pending_.empty()) return;
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
    auto add = [&](const std::string& e) { builder.add({reinterpret_cast<const uint8_t*>(e.data()), e.size()}); };
    auto missing = [&](const std::string& e) {
        const RowPointer rp = rowOf(reinterpret_cast<const uint8_t*>(e.data()), e.size());
        return FormatError("index " + std::to_string(realIndex_) + " of the table on page " + std::to_string(t_.page) +
                           " has no entry of the row at page " + std::to_string(rp.page) + " slot " + std::to_string(rp.row) +
                           " to remove");
    };

    auto change = pending_.begin();
    while (const std::string* o = reader.peek()) {
        while (change != pending_.end() && change->first < *o) {
            if (!change->second) throw missing(change->first);
            add(change->first);
            ++change;
        }
        if (change != pending_.end() && change->first == *o) {
            if (change->second) throw FormatError("an index entry to add is already in the index");
            ++change;  // lost: left out
        } else {
            add(*o);
        }
        reader.pop();
    }
    for (; change != pending_.end(); ++change) {
        if (!change->second) throw missing(change->first);
        add(change->first);
    }
    builder.finish();
    // Pages the smaller tree no longer needs stay the index's, as empty leaves.
    for (const auto* pool : {&leaves, &nodes})
        for (uint32_t n : *pool) initEmptyIndexPage(file_, l_, n, t_.page);
    writeDistinctKeyCount(file_, l_, t_, realIndex_, builder.distinctKeys());
    pending_.clear();
    bytes_ = 0;
}

}  // namespace vantrel::jet
