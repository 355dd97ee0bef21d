// Writing an index B-tree from its leaf entries in key order, one entry at a
// time: the one way the engine lays out index pages.
//
// INVARIANTS
// - Leaf entries arrive whole (key + row pointer) and strictly ascending;
//   anything else is refused (FormatError) before it reaches a page.
// - Leaves are packed in order, each page holding the prefix its first and
//   last entry share (one byte in Jet3, two in Jet4/ACE); a page is closed
//   once it reaches the leaf target or the next entry would not fit.
// - Every level above holds one entry per page of the level below: that
//   page's last leaf entry and its page number. A node page's last child
//   hangs off its tail pointer, not an entry, and a level's last node page
//   keeps at least two children when the page before it can spare one.
// - Pages of one level are chained by their previous/next pointers.
// - The top page is written on `root`, whatever its level: the root page
//   number of an index never changes. Every other page number comes from
//   `takePage`, asked only when a page is closed and known not to be the
//   only one of its level, so the caller decides when an old page may be
//   overwritten.
// - Memory: per level, the open page and at most two closed pages that wait
//   for their neighbours' numbers. Nothing is held per entry.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "layout.h"
#include "page_file.h"

namespace vantrel::jet {

using EntryView = std::span<const uint8_t>;

class IndexTreeBuilder {
public:
    // A page number for a closed page of the leaf level (true) or above.
    using PageSource = std::function<uint32_t(bool leaf)>;

    // `leafTarget` 0 packs leaves full; a smaller one closes a leaf once its
    // stored bytes reach it (spreading entries over more pages).
    IndexTreeBuilder(PageFile& file, const Layout& l, uint32_t owner, uint32_t root, PageSource takePage, size_t leafTarget = 0);
    ~IndexTreeBuilder();
    IndexTreeBuilder(const IndexTreeBuilder&) = delete;
    IndexTreeBuilder& operator=(const IndexTreeBuilder&) = delete;

    // The next leaf entry (key + four bytes of row pointer).
    void add(EntryView whole);
    // Writes the pages still held, level by level, ending with the root.
    void finish();

    uint64_t entries() const { return entries_; }
    // Keys (entries without their row pointer) that differ from the one before.
    uint32_t distinctKeys() const { return distinct_; }

    // The bytes of entries a page can hold.
    static size_t capacity(const Layout& l);
    // How many leaves `sorted` fills at `target` (0: full pages).
    static size_t leafPagesFor(const Layout& l, const std::vector<EntryView>& sorted, size_t target);

private:
    struct Level;
    void close(size_t level);
    void push(size_t level, EntryView entry);
    void write(size_t level, size_t i, uint32_t next);

    PageFile& file_;
    const Layout l_;
    uint32_t owner_, root_;
    PageSource takePage_;
    size_t leafTarget_;
    std::vector<std::unique_ptr<Level>> levels_;
    std::vector<uint8_t> last_;  // the entry before, for order and distinct keys
    uint64_t entries_ = 0;
    uint32_t distinct_ = 0;
    bool finished_ = false;
};

// One index page as Access lays it out: `entries` whole, sorted; `prefix`
// leading bytes of every entry after the first are left out.
void writeIndexPage(PageFile& file, const Layout& l, uint32_t pg, bool leaf, uint32_t owner, uint32_t prev, uint32_t next,
                    const std::vector<EntryView>& entries, size_t prefix, uint32_t tail = 0);

}  // namespace vantrel::jet
