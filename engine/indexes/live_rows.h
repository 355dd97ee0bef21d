// The live rows of one table, known by where their slots are rather than by
// their values: what the index check needs to find the row an entry names and
// to count each row's entries. It keeps one bit per slot and a few bytes per
// data page, so its memory stays small whatever the table's size; values are
// read from the file (through the page cache) when they are asked for.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "page_file.h"
#include "row_layout.h"
#include "table_def.h"
#include "variant.h"

namespace vantrel::jet {

class LiveRows {
public:
    static constexpr size_t npos = size_t(-1);

    // Scans the table once. `needed`: the columns whose values are asked for
    // (by index into t.columns); the others read as Null.
    LiveRows(PageFile& file, const TableDefData& t, std::vector<bool> needed);

    // How many slots the table's data pages have (live or not): the range of
    // the numbers slot() gives.
    size_t slots() const { return live_.size(); }
    // A number for the live row whose slot is at `packed` (page << 8 | row),
    // or npos when no live row is there.
    size_t slot(uint64_t packed) const;
    // The needed values of the live row at `packed`. Valid until the next call.
    const std::vector<Variant>& values(uint64_t packed);
    // Every live row in storage order: fn(packed, its slot number, its values).
    void forEach(const std::function<void(uint64_t packed, size_t slot, const std::vector<Variant>& values)>& fn);

private:
    struct Page {
        uint32_t page;
        uint32_t first;  // the slot number of its slot 0
        uint32_t count;  // its slots
    };
    void decode(Bytes row);

    PageFile& file_;
    const TableDefData& t_;
    const Layout l_;
    std::vector<bool> needed_;
    std::vector<Page> pages_;  // ascending page number
    std::vector<bool> live_;   // by slot number
    CrackedRow cracked_;
    std::vector<Variant> values_;
};

}  // namespace vantrel::jet
