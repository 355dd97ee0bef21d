// Memo and OLE values: a 12-byte reference in the row, the data either
// inline, in one row of a long-value page, or on a chain of such rows.
#pragma once

#include <cstdint>
#include <vector>

#include "bytes.h"
#include "function_ref.h"
#include "layout.h"
#include "page_file.h"

namespace vantrel::jet {

constexpr uint32_t kLvalInline = 0x80000000u;
constexpr uint32_t kLvalSinglePage = 0x40000000u;
constexpr uint32_t kLvalLengthMask = 0x3FFFFFFFu;
// Longer memo values leave the row for long-value pages.
constexpr size_t kMemoInlineLimit = 1024;

std::vector<uint8_t> readLongValue(PageFile& file, const Layout& l, Bytes ref);

// The value's bytes in order, one call per stored piece (one call for inline
// and single-page values), without copying them: each piece is valid only
// during its call.
void readLongValueParts(PageFile& file, const Layout& l, Bytes ref, FunctionRef<void(Bytes)> part);

}  // namespace vantrel::jet
