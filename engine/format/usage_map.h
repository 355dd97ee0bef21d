// Page usage maps: the bitmaps that say which pages a table (or index) owns.
#pragma once

#include <cstdint>
#include <vector>

#include "layout.h"
#include "page_file.h"

namespace vantrel::jet {

// The pages named by the usage map stored in the row `packedPtr` points at,
// in ascending order, limited to pages that exist in the file.
std::vector<uint32_t> usageMapPages(PageFile& file, const Layout& l, uint32_t packedPtr);

}  // namespace vantrel::jet
