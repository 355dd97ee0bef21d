// One index page's entries, located but not copied: where each ends (read
// from the page's mask) and the bytes every entry after the first shares
// with it. Entries compare in place, so a seek binary-searches a page, and
// a walk copies each entry once, into storage it reuses.
//
// Invariants: parse() accepts only bounds that rise, lie inside the page and
// leave the first entry at least as long as the shared prefix; every
// accessor after it stays inside the page (an entry too short for what is
// asked of it is FormatError).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "bytes.h"
#include "error.h"
#include "layout.h"

namespace vantrel::jet {

// How many leading bytes every entry after the first shares with the first:
// one byte in Jet3 (the byte after it is set on node pages), two in Jet4.
size_t indexPagePrefixLength(const Layout& l, Bytes page);

// Byte strings compared as unsigned bytes, as an index orders its entries
// (keys are short and share long beginnings: equal words are passed eight
// bytes at a time, the first differing bytes decide).
inline int compareBytes(const uint8_t* a, size_t an, const uint8_t* b, size_t bn) {
    const size_t m = std::min(an, bn);
    size_t i = 0;
    for (; i + 8 <= m; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        if (x != y) break;
    }
    for (; i < m; ++i)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return an < bn ? -1 : an > bn ? 1 : 0;
}

class IndexPageEntries {
public:
    // Where each entry of an index page ends, from the page's mask (a set
    // bit marks where the entry before it ends).
    static void parse(const Layout& l, Bytes page, std::vector<uint32_t>& ends);

    // `ends` as parse() gave it for this page; it must outlive the view.
    IndexPageEntries(const Layout& l, Bytes page, const std::vector<uint32_t>& ends)
        : base_(page.data()), first_(l.indexFirstEntryAt), prefixLen_(indexPagePrefixLength(l, page)), ends_(ends) {}

    size_t size() const { return ends_.size(); }
    size_t length(size_t i) const { return shared(i) + ends_[i] - startOf(i); }
    void appendTo(size_t i, std::vector<uint8_t>& out) const {
        const size_t pre = shared(i);
        out.insert(out.end(), base_ + first_, base_ + first_ + pre);
        out.insert(out.end(), base_ + startOf(i), base_ + ends_[i]);
    }
    uint8_t at(size_t i, size_t pos) const { return pos < shared(i) ? base_[first_ + pos] : base_[startOf(i) + pos - shared(i)]; }
    // Entry i without its last `drop` bytes against k, as unsigned bytes.
    int compare(size_t i, const uint8_t* k, size_t kn, size_t drop = 0) const;
    // The first entry (without its last `drop` bytes) not below k; size() when none.
    size_t lowerBound(const uint8_t* k, size_t kn, size_t drop = 0) const;
    bool startsWith(size_t i, const uint8_t* k, size_t kn) const { return length(i) >= kn && compare(i, k, kn, length(i) - kn) == 0; }
    // The entry's last four bytes, big-endian: a node entry's child page, a
    // leaf entry's row pointer.
    uint32_t last4(size_t i) const;

private:
    size_t shared(size_t i) const { return i ? prefixLen_ : 0; }
    size_t startOf(size_t i) const { return i ? ends_[i - 1] : first_; }
    const uint8_t* base_;
    size_t first_, prefixLen_;
    const std::vector<uint32_t>& ends_;
};

}  // namespace vantrel::jet
