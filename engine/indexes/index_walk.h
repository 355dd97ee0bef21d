// Reading index B-trees: entries of index pages (with their shared prefix),
// and a walk over every leaf entry in key order.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "index_page_entries.h"
#include "layout.h"
#include "page_file.h"

namespace vantrel::jet {

struct IndexEntry {
    std::vector<uint8_t> bytes;  // the whole entry, prefix restored
};

// The entries of one index page (node or leaf), in order.
std::vector<IndexEntry> indexPageEntries(const Layout& l, Bytes page);

// Calls fn(key bytes, row pointer) for every leaf entry below `root`, in key
// order. FormatError on damage (cycles, wrong page types, cut entries).
void walkIndex(PageFile& file, const Layout& l, uint32_t root,
               const std::function<void(Bytes key, RowPointer row)>& fn);
// The same with each whole entry (key and the four bytes of its row pointer).
void walkIndexEntries(PageFile& file, const Layout& l, uint32_t root, const std::function<void(Bytes entry)>& fn);

}  // namespace vantrel::jet
