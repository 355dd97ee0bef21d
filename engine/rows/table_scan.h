// Walks the live rows of one table in storage order: the pages of its usage
// map, each slot on them, skipping deleted rows and following moved ones.
// Every page the map lists must be a data page of this table: anything else
// (a zeroed page, another table's page, an index page, a page past the end
// of a file cut short) is damage and raises FormatError naming the table and
// the page, rather than hiding its rows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data_page.h"
#include "table_def.h"

namespace vantrel::jet {

class TableScan {
public:
    // `name`: the table's name, for the error that names it ("" when not known).
    TableScan(PageFile& file, const TableDefData& table, std::string name = {});

    // Advances to the next live row; false at the end.
    bool next();
    const RowBytes& row() const { return current_; }
    // Where the row's slot is (its place in storage order, as indexes name it).
    RowPointer where() const { return {pages_[pageIdx_], uint16_t(slot_ - 1)}; }

    // Runs f, which reads the current row: damage it raises lies in this
    // table, on the page that holds the row's bytes, unless a deeper layer
    // said where (a memo's page, an index page).
    template <class F>
    auto reading(F&& f) -> decltype(f()) {
        try {
            return f();
        } catch (FormatError& e) {
            e.atPage(rowPage_);
            place(e);
            throw;
        }
    }

private:
    bool step();
    void place(FormatError& e) const;  // names the table

    PageFile& file_;
    const Layout layout_;
    uint32_t owner_;
    std::string name_;
    std::vector<uint32_t> pages_;
    size_t pageIdx_ = 0;
    uint32_t rowPage_ = 0;  // the page holding the current row's bytes
    unsigned slot_ = 0, slots_ = 0;
    PageRef page_;
    RowBytes current_;
};

}  // namespace vantrel::jet
