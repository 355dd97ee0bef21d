// Reading index B-trees: entries of index pages (with their shared prefix),
// and a walk over every leaf entry in key order.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "layout.h"
#include "page_file.h"

namespace vantrel::jet {

struct IndexEntry {
    std::vector<uint8_t> bytes;  // the whole entry, prefix restored
};

// How many leading bytes every entry after the first shares with the first:
// one byte in Jet3 (the byte after it is set on node pages), two in Jet4.
size_t indexPagePrefixLength(const Layout& l, Bytes page);

// The entries of one index page (node or leaf), in order.
std::vector<IndexEntry> indexPageEntries(const Layout& l, Bytes page);

// Calls fn(key bytes, row pointer) for every leaf entry below `root`, in key
// order. FormatError on damage (cycles, wrong page types, cut entries).
void walkIndex(PageFile& file, const Layout& l, uint32_t root,
               const std::function<void(Bytes key, RowPointer row)>& fn);

}  // namespace vantrel::jet
