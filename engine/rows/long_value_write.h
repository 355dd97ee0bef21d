// Storing memo and OLE values that do not stay in their row: one row of a
// long-value page when they fit, else a chain of rows, each naming the next.
#pragma once

#include <cstdint>
#include <vector>

#include "bytes.h"
#include "layout.h"
#include "page_file.h"

namespace vantrel::jet {

class LongValueWriter {
public:
    LongValueWriter(PageFile& file, const Layout& l) : file_(file), l_(l) {}
    // Stores `data`; returns the 12-byte reference the row keeps.
    std::vector<uint8_t> write(const std::vector<uint8_t>& data);

private:
    // Adds a row to the current long-value page, starting a new one when full.
    uint32_t addRow(const std::vector<uint8_t>& row);
    PageFile& file_;
    Layout l_;
    uint32_t current_ = 0;
};

// Gives back the rows of a long value (a row being deleted). Inline values own none.
void freeLongValue(PageFile& file, const Layout& l, Bytes ref);

}  // namespace vantrel::jet
