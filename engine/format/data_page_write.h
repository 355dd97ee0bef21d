// Changing rows on data pages: a row rewritten in its slot (the page's rows
// packed again when its length changes), a row added in a new slot, a new
// empty data page.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "layout.h"
#include "page_file.h"

namespace vantrel::jet {

// Gives slot `slot` of data page `page` the bytes `row` (and, if given, new
// flag bits). False, with the page untouched, when the page has no room.
bool putRowInPage(PageFile& file, const Layout& l, uint32_t page, unsigned slot, const std::vector<uint8_t>& row,
                  std::optional<uint16_t> flags = std::nullopt);

// Adds a row in a new slot; the slot number, or -1 when the page has no room.
int addRowToPage(PageFile& file, const Layout& l, uint32_t page, const std::vector<uint8_t>& row, uint16_t flags);

// The same, but placing the row below the page's lowest row without moving
// the others when there is room there (the common case when filling a page).
int appendRowToPage(PageFile& file, const Layout& l, uint32_t page, const std::vector<uint8_t>& row, uint16_t flags);

// Flags slot `slot` deleted (both flag bits, as Jet marks a deleted row),
// leaving its bytes where they are: readers still find every row's bounds
// from its neighbours' offsets.
void markRowDeleted(PageFile& file, const Layout& l, uint32_t page, unsigned slot);

// Bytes still free on a data page.
size_t dataPageFree(const Layout& l, Bytes page);

// Turns `buf` into an empty data page of table `owner`.
void initDataPage(PageBuf& buf, const Layout& l, uint32_t owner);

}  // namespace vantrel::jet
