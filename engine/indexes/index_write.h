// Writing an index back after its entries changed, all entries at hand: the
// pages are laid out by IndexTreeBuilder (index_tree_builder.h), the root
// staying on its page. Pages of the old tree are used again; more come from
// the end of the file and join the index's page map.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "layout.h"
#include "page_file.h"
#include "index_tree_builder.h"
#include "table_def.h"

namespace vantrel::jet {

// Index entries kept end to end in one buffer: a large index costs its bytes
// and eight more an entry, not an allocation each.
struct EntryArena {
    struct Ref {
        uint32_t offset, length;
    };
    std::vector<uint8_t> bytes;
    std::vector<Ref> refs;

    size_t size() const { return refs.size(); }
    EntryView at(size_t i) const { return {bytes.data() + refs[i].offset, refs[i].length}; }
    size_t add(EntryView e) {
        refs.push_back({uint32_t(bytes.size()), uint32_t(e.size())});
        bytes.insert(bytes.end(), e.begin(), e.end());
        return refs.size() - 1;
    }
    void replace(size_t i, EntryView e) {
        refs[i] = {uint32_t(bytes.size()), uint32_t(e.size())};
        bytes.insert(bytes.end(), e.begin(), e.end());
    }
    // Views of every entry, in byte order (valid until the arena changes).
    std::vector<EntryView> sorted() const;
};

struct IndexTree {
    EntryArena entries;             // whole leaf entries (key + row pointer), in order
    std::vector<uint32_t> pages;    // every page of the tree, root first
    size_t leafPages = 0;
};

// Reads the tree below `root`. FormatError when it is not a sound tree.
IndexTree loadIndexTree(PageFile& file, const Layout& l, uint32_t root);

// Replaces the tree's contents with `entries` (whole entries, sorted).
void writeIndexTree(PageFile& file, const Layout& l, const TableDefData& t, size_t realIndex, const IndexTree& old,
                    const std::vector<EntryView>& entries);

// Records in the table's definition how many distinct keys the index holds
// (`sorted` are its whole entries in order).
void writeDistinctKeyCount(PageFile& file, const Layout& l, const TableDefData& t, size_t realIndex,
                           const std::vector<EntryView>& sorted);
// The same with the count already known (counted while streaming).
void writeDistinctKeyCount(PageFile& file, const Layout& l, const TableDefData& t, size_t realIndex, uint32_t distinct);

// Makes `page` an empty leaf: the root of an index with no entries.
void initEmptyIndexPage(PageFile& file, const Layout& l, uint32_t page, uint32_t owner);

// A leaf entry's row pointer bytes: page (3 bytes, big-endian) and slot.
std::vector<uint8_t> entryRowPointer(RowPointer rp);

}  // namespace vantrel::jet
