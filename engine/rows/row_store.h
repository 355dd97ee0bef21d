// Storing a changed row back: in its own slot when its page has room, else
// on another page of the table behind the forwarding pointer Jet uses (the
// slot keeps its place, so indexes still name it).
#pragma once

#include <cstdint>
#include <vector>

#include "layout.h"
#include "page_file.h"
#include "table_def.h"

namespace vantrel::jet {

class RowStore {
public:
    RowStore(PageFile& file, const TableDefData& table);

    // Replaces the row whose slot is `where`.
    void replace(RowPointer where, const std::vector<uint8_t>& row);

    unsigned moved() const { return moved_; }

private:
    // A page of the table with room for `size` bytes and a slot: one the
    // statement already moved rows to, or a new one.
    uint32_t pageWithRoom(size_t size);

    PageFile& file_;
    const TableDefData& table_;
    const Layout l_;
    uint32_t spare_ = 0;  // the last page rows were moved to
    unsigned moved_ = 0;
};

}  // namespace vantrel::jet
