// New pages and the usage maps that must learn about them: the database's
// map of free pages (page 1) and a table's or index's map of owned pages.
#pragma once

#include <cstdint>

#include "layout.h"
#include "page_file.h"

namespace vantrel::jet {

// A new page at the end of the file, marked in use in the free-page map.
uint32_t allocatePage(PageFile& file, const Layout& l);

// Adds `page` to the usage map stored in the row `mapPtr` names. JetError
// when the map cannot hold it (the change is then refused, not guessed).
void usageMapAdd(PageFile& file, const Layout& l, uint32_t mapPtr, uint32_t page);

}  // namespace vantrel::jet
