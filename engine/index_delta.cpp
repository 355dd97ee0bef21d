#include "index_delta.h"

#include <algorithm>
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

// The entries of one index page in order, read as indexPageEntries reads
// them but into one reused buffer, so a seek allocates nothing per entry and
// stops where it finds its answer: calls fn(entry, size) until it returns
// true; returns whether it did. `at` says where to begin (a default one: at
// the first entry); when fn stops the scan it is left at the entry fn
// stopped at, so a later scan of the unchanged page can resume there.
template <class Fn>
bool scanPage(const Layout& l, Bytes page, std::vector<uint8_t>& entry, PageScan& at, Fn&& fn) {
    const size_t prefixLen = indexPagePrefixLength(l, page);
    const size_t maskBits = (l.indexFirstEntryAt - l.indexMaskAt) * 8;
    if (prefixLen > sizeof at.prefix) throw FormatError("index prefix too long");
    if (at.start == 0) {
        at.start = l.indexFirstEntryAt;
        at.first = true;
    }
    // A set bit marks where the entry before it ends.
    for (size_t bit = at.first ? 0 : at.start - l.indexFirstEntryAt + 1; bit < maskBits; ++bit) {
        const uint8_t b = page.u8(l.indexMaskAt + bit / 8);
        if (!(b >> (bit % 8))) {
            bit |= 7;  // no more bits in this byte
            continue;
        }
        if (!(b & (1u << (bit % 8)))) continue;
        const size_t end = l.indexFirstEntryAt + bit;
        if (end <= at.start || end > page.size()) throw FormatError("index entry bounds out of order");
        entry.clear();
        if (!at.first && prefixLen > 0) entry.insert(entry.end(), at.prefix, at.prefix + prefixLen);
        entry.insert(entry.end(), page.data() + at.start, page.data() + end);
        if (at.first && prefixLen > 0) {
            if (entry.size() < prefixLen) throw FormatError("index prefix longer than the first entry");
            std::copy(entry.begin(), entry.begin() + long(prefixLen), at.prefix);
        }
        if (fn(static_cast<const uint8_t*>(entry.data()), entry.size())) return true;
        at.start = end;
        at.first = false;
    }
    return false;
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
    if (it == pending_.end()) {
        pending_.emplace(std::move(whole), gained);
        return;
    }
    if (it->second == gained) throw std::logic_error(gained ? "an index entry gained twice" : "an index entry lost twice");
    pending_.erase(it);  // gained and lost again, or the other way round
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
        uint32_t child = 0;
        PageScan at;
        scanPage(l_, pb, entry_, at, [&](const uint8_t* e, size_t n) {
            if (n < 8) throw FormatError("index node entry too short");
            if (compareBytes(e, n - 4, kb, key.size()) < 0) return false;
            child = uint32_t(e[n - 4]) << 24 | uint32_t(e[n - 3]) << 16 | uint32_t(e[n - 2]) << 8 | e[n - 1];
            return true;
        });
        if (child == 0) child = pb.u32(l_.indexTailAt);
        if (child == 0) return 0;
        pg = child;
    }
}

bool IndexDelta::hasEntry(const std::vector<uint8_t>& key, RowPointer row) {
    const std::string whole = wholeEntry(key, row);
    if (auto it = pending_.find(whole); it != pending_.end()) return it->second;
    const auto* wb = reinterpret_cast<const uint8_t*>(whole.data());
    int found = -1;  // the first entry not below the one sought: 1 it, 0 another
    auto seek = [&](const uint8_t* e, size_t n) {
        const int c = compareBytes(e, n, wb, whole.size());
        if (c < 0) return false;
        found = c == 0;
        return true;
    };
    // Rows are mostly sought in the order of their entries (a null-fill
    // scans the rows in storage order, and rows with equal keys follow it):
    // every entry before where the last seek stopped is below that seek's
    // entry, so a later one not below it goes on from there on that leaf.
    if (cache_.valid && whole >= cache_.sought) {
        PageRef p = file_.page(cache_.page);
        Bytes pb(p->data(), p->size());
        if (scanPage(l_, pb, entry_, cache_.at, seek)) {
            cache_.sought = whole;
            return found == 1;
        }
    }
    cache_.valid = false;
    for (uint32_t pg = firstLeaf(whole), steps = 0; pg != 0; ++steps) {
        if (steps > file_.pageCount()) throw FormatError("index leaf pages form a cycle");
        PageRef p = file_.page(pg);
        Bytes pb(p->data(), p->size());
        if (pb.u8(0) != kPageIndexLeaf) throw FormatError("page " + std::to_string(pg) + " is not an index leaf");
        PageScan at;
        if (scanPage(l_, pb, entry_, at, seek)) {
            cache_ = {true, pg, at, whole};
            return found == 1;
        }
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
        int answer = -1;  // 1 held, 0 past the key
        PageScan at;
        scanPage(l_, pb, entry_, at, [&](const uint8_t* e, size_t n) {
            if (n < 4) throw FormatError("index entry too short");
            if (compareBytes(e, n, kb, key.size()) < 0) return false;
            if (n < key.size() || std::memcmp(e, kb, key.size()) != 0) {
                answer = 0;  // past the key
                return true;
            }
            if (n != key.size() + 4) return false;
            const uint64_t row = packed(rowOf(e, n));
            if (row == packed(self) || std::find(leaving.begin(), leaving.end(), row) != leaving.end()) return false;
            answer = 1;
            return true;
        });
        if (answer >= 0) return answer == 1;
        pg = pb.u32(l_.indexNextAt);
    }
    return false;
}

void IndexDelta::apply() {
    if (pending_.empty()) return;
    cache_.valid = false;  // the pages are rewritten
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
}

}  // namespace vantrel::jet
