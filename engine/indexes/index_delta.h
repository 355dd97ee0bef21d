// The changes a statement makes to one physical index of a table, kept
// apart from the index until they are applied to its pages at once. Memory
// grows with the changes, not with the entries of the index.
//
// INVARIANTS
// - A change is a whole entry (key + row pointer) the index gains or loses.
//   An entry gained and then lost again (or lost and gained) cancels out;
//   gaining an entry twice or losing one twice is a caller's mistake
//   (InternalError).
// - The changes live in one byte arena, appended as they come, with two
//   open-addressed tables over it (by whole entry, by key) that take them in
//   only when a lookup (holds(), hasEntry()) needs them: an index nobody
//   asks about costs an append a change. A change of an entry named before
//   folds into the older one there; apply() sorts the changes once and
//   folds the rest (the changes of one entry alternate between gained and
//   lost, so an odd run leaves its first kind, an even one nothing).
// - The entry bounds of an index page read by a seek are kept until apply()
//   (which is the only writer of this index's pages while the delta lives),
//   at most kParsedPagesBytes of them: a run of seeks reads the upper levels
//   of the tree once.
// - holds() never loads the index: it seeks down the B-tree and reads the
//   leaves holding the key, overlaying the pending changes. A node entry is
//   never below the leaf entries of its child (the trees this engine writes
//   carry the child's last entry; Access may leave one above it once that
//   entry is gone), and the last child hangs off the tail pointer; so the
//   first child whose entry is not below the key leads to the first leaf
//   that may hold it, or to one before it, and the leaf chain is followed on
//   from there.
// - apply() merges the old leaf entries, read leaf by leaf in key order,
//   with the sorted changes into IndexTreeBuilder (the one writer of index
//   pages); it counts distinct keys on the way and records the count in the
//   table definition. It holds the changes, the node and leaf page numbers
//   of the old tree (four bytes a page) and one bit a page of the file (to
//   find cycles), a few pages of old entries read ahead and, per level being
//   written, the open page and two closed ones. Leaves are packed full: an
//   index that lost entries may leave old pages over (see below).
//
// PAGE REUSE (why overwriting old pages in place cannot corrupt the walk)
// PageFile::modify() hands out a changed copy that every later page() read
// returns, so a page of the old tree must not be written while its old
// bytes are still to be read. apply() keeps that order:
// 1. Before anything is written, every node page of the old tree is read
//    (the walk that lists the tree's pages); the node pages other than the
//    root become free to overwrite.
// 2. A leaf is read exactly once, when its entries are copied into memory;
//    from then on it is free to overwrite. Leaves are read in chain order
//    and the chain must match the tree (else FormatError, nothing written).
// 3. The builder asks for a page number only when it closes a page. It gets
//    a page that is free to overwrite: a new leaf an old leaf (in the order
//    they were read, so leaves keep their order on disk), a new node an old
//    node, either the other kind when its own is used up; when there is
//    none, the next leaf is read ahead (at most a few pages of entries wait
//    in memory), and only then is a page added to the file and to the
//    index's usage map.
// 4. The root page is written last, when the builder finishes, after every
//    old page has been read. Its number never changes.
// So every page written is new, the root, or an old page already read.
// Old pages the new tree does not need stay the index's, as empty leaves
// (as writeIndexTree leaves them).
//
// A failure inside apply() (damage found in the old tree, an entry to
// remove that the index lacks, a page map that cannot grow) can leave the
// index half written: the statement's transaction must be rolled back, as
// for every failed change.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "layout.h"
#include "page_file.h"
#include "table_def.h"

namespace vantrel::jet {

class IndexDelta {
public:
    IndexDelta(PageFile& file, const Layout& l, const TableDefData& t, size_t realIndex);

    // Whether an entry other than row `self`'s holds `key` (key bytes without
    // the row pointer), the changes so far included.
    bool holds(const std::vector<uint8_t>& key, RowPointer self);
    // Whether row `row` has an entry with exactly `key`, the changes so far
    // included (a seek, as holds()): lets a caller check a key it computed
    // against the bytes the index holds before naming it as an old key.
    bool hasEntry(const std::vector<uint8_t>& key, RowPointer row);

    // Row `row`'s entry changes from oldKey to newKey; either may be absent
    // (the row gains or leaves the index).
    void change(RowPointer row, const std::vector<uint8_t>* oldKey, const std::vector<uint8_t>* newKey);
    void change(RowPointer row, const std::optional<std::vector<uint8_t>>& oldKey, const std::optional<std::vector<uint8_t>>& newKey) {
        change(row, oldKey ? &*oldKey : nullptr, newKey ? &*newKey : nullptr);
    }

    // No change noted since the last apply().
    bool empty() const { return changes_.empty(); }
    // About the memory the changes take: their bytes and the bookkeeping of
    // each (callers may apply() early to bound it).
    size_t bytes() const { return bytes_; }
    // A record, its slots in the two tables and its place in the sort of apply(), but for the entry's own bytes.
    static constexpr size_t kBytesPerChange = 56;
    static constexpr size_t kParsedPagesBytes = size_t(8) << 20;

    // Writes the index with the changes and its distinct-key count; the delta
    // is empty afterwards and may collect further changes.
    void apply();

private:
    using View = std::span<const uint8_t>;
    struct Change {
        uint32_t at, size;       // the whole entry in arena_
        uint32_t nextSameKey;    // the next change with the same key, + 1 (0: none)
        bool gained, live;       // a change cancelled out stays, not live, and is revived when noted again
        bool folded;             // taken into an older change of the same entry (never live again)
    };
    View whole(const Change& c) const { return {arena_.data() + c.at, c.size}; }
    View keyOf(const Change& c) const { return {arena_.data() + c.at, c.size - 4}; }
    void note(View whole, bool gained);  // appends; nothing is looked up
    // Takes the changes noted since into the two tables, folding a change
    // into an older one of the same entry. Asked before every lookup.
    void catchUp();
    std::vector<uint32_t> netChanges() const;
    void clear();
    size_t findWhole(View whole) const;  // SIZE_MAX when no change names it
    size_t slotOfKey(View key) const;    // the slot of byKey_ holding the key's chain, or the empty one it goes to
    void grow();
    const std::vector<uint32_t>& endsOf(uint32_t page, Bytes bytes);  // a page's entry bounds, parsed once
    uint32_t firstLeaf(View key);  // 0 when the tree has no leaf to look in
    bool treeHolds(View key, RowPointer self, const std::vector<uint64_t>& leaving);

    PageFile& file_;
    const Layout l_;
    TableDefData t_;
    size_t realIndex_;
    uint32_t root_, usedPages_;
    std::vector<uint8_t> arena_;
    std::vector<Change> changes_;
    std::vector<uint32_t> byWhole_, byKey_;  // change + 1, 0 empty; a power of two long, at most half full
    size_t indexed_ = 0;  // changes_[0, indexed_) are in the tables or folded
    size_t tabled_ = 0;   // of them, in the tables
    size_t bytes_ = 0;
    std::unordered_map<uint32_t, std::vector<uint32_t>> parsed_;  // index page -> where its entries end
    size_t parsedBytes_ = 0;
    std::vector<uint32_t> scratchEnds_;
    std::vector<uint8_t> scratchEntry_;
};

}  // namespace vantrel::jet
