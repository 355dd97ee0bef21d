// Writing the definition of a new table (Jet4): the TDEF page chain, the
// page holding its usage maps, an empty root page for each index; and adding
// an index to a table that already exists.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "layout.h"
#include "page_file.h"
#include "table_def.h"

namespace vantrel::jet {

struct NewColumn {
    std::string name;
    uint8_t type = kText;
    uint16_t length = 0;        // bytes, for text and binary columns
    uint8_t precision = 0, scale = 0;
    bool autoNumber = false;
    bool required = false;
    bool fixedLength = false;   // text kept in the fixed area, padded with blanks
};

struct NewIndex {
    std::string name;
    struct Col {
        size_t column;  // position in the table's column list
        bool ascending = true;
    };
    std::vector<Col> columns;
    bool primary = false, unique = false, ignoreNulls = false, required = false;
};

struct NewTable {
    std::vector<NewColumn> columns;
    std::vector<NewIndex> indexes;
    bool system = false;
};

// Jet's rule for names of tables, fields and indexes: 1 to 64 characters, no
// leading blank, no control character and none of . ! ` [ ]. JetError 3125.
void checkObjectName(const std::string& name);

// The stored width of a fixed-width column type (0 for variable ones).
uint16_t fixedWidth(uint8_t type);

// Writes the table; returns its definition page. `tdefPage`, when not 0, is
// an already allocated page to use for the definition.
uint32_t createTable(PageFile& file, const Layout& l, const NewTable& t, uint32_t tdefPage = 0);

// Adds an index over the table's columns (numbers as in the definition) to
// the definition at `tdefPage`; the index starts empty, the caller fills it.
void addIndexToTable(PageFile& file, const Layout& l, uint32_t tdefPage, const NewIndex& index,
                     const std::vector<uint16_t>& columnNumbers);

}  // namespace vantrel::jet
