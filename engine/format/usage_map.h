// Page usage maps: the bitmaps that say which pages a table (or index) owns.
#pragma once

#include <cstdint>
#include <vector>

#include "layout.h"
#include "page_file.h"

namespace vantrel::jet {

// What becomes of a page a usage map names past the end of the file: left
// out (a map of free space) or kept for the caller (a table's own pages,
// which a file cut short has lost: damage the caller names).
enum class PastTheEnd { LeftOut, Kept };

// The pages named by the usage map stored in the row `packedPtr` points at,
// in ascending order.
std::vector<uint32_t> usageMapPages(PageFile& file, const Layout& l, uint32_t packedPtr, PastTheEnd pastTheEnd = PastTheEnd::LeftOut);

}  // namespace vantrel::jet
