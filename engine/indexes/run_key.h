// Keys of byte strings (binary columns, extended dates): the bytes in runs of
// eight, each run followed by 9 while more runs follow; the last run padded
// with zeros and followed by its count of real bytes (1-8). An empty value
// has no run. A descending key has the data bytes and the last count turned,
// the 9s kept. Invariant: an encoded run key is 9 bytes per started run of
// eight.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "bytes.h"

namespace vantrel::jet {

// Appends the runs of `value` (no start flag).
void appendRunKey(bool ascending, std::string_view value, std::vector<uint8_t>& out);

// Byte length of the runs starting at `at` (no start flag). An empty value
// is told apart only as the entry's last segment; FormatError when the runs
// are cut.
size_t runKeyLength(Bytes entry, size_t at);

}  // namespace vantrel::jet
