// Writing an index back after its entries changed: the leaf level packed in
// key order (with each page's shared prefix), the node levels built above it,
// the root staying on its page. Pages of the old tree are used again; more
// come from the end of the file and join the index's page map.
#pragma once

#include <cstdint>
#include <vector>

#include "layout.h"
#include "page_file.h"
#include "table_def.h"

namespace vantrel::jet {

struct IndexTree {
    std::vector<std::vector<uint8_t>> entries;  // whole leaf entries (key + row pointer), in order
    std::vector<uint32_t> pages;                // every page of the tree, root first
    size_t leafPages = 0;
};

// Reads the tree below `root`. FormatError when it is not a sound tree.
IndexTree loadIndexTree(PageFile& file, const Layout& l, uint32_t root);

// Replaces the tree's contents with `entries` (whole entries, sorted).
void writeIndexTree(PageFile& file, const Layout& l, const TableDefData& t, size_t realIndex, const IndexTree& old,
                    const std::vector<std::vector<uint8_t>>& entries);

// A leaf entry's row pointer bytes: page (3 bytes, big-endian) and slot.
std::vector<uint8_t> entryRowPointer(RowPointer rp);

}  // namespace vantrel::jet
