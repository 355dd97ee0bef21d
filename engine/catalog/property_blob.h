// A property block (MSysObjects.LvProp: "MR2" in Jet4, "KKD" in Jet3) as
// data that can be read, changed and (Jet4) written back whole: the shared
// list of property names, then one list of values for the table and one for
// each column that has any.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel::jet {

struct PropertyBlob {
    struct Value {
        uint8_t ddl = 0;       // set through DDL (Jet keeps a flag for it)
        uint8_t dataType = 0;  // a column type code: 1 Yes/No, 10 text, 12 memo, ...
        uint16_t name = 0;     // index into names
        std::vector<uint8_t> data;
    };
    struct List {
        uint16_t kind = 0;     // 0 the table's own, 1 a column's
        std::string owner;     // the column's name ("" for the table)
        std::vector<Value> values;
    };
    std::vector<std::string> names;
    std::vector<List> lists;
    bool jet3 = false;          // names and texts in the code page, not UTF-16
    uint16_t codePage = 1252;

    // FormatError when the bytes are not a property block.
    static PropertyBlob parse(const std::vector<uint8_t>& bytes, bool jet3 = false, uint16_t codePage = 1252);
    // A text value's data as UTF-8.
    std::string text(const std::vector<uint8_t>& data) const;
    // JetError 3309 when a name or value is too long for the block's 16-bit lengths.
    std::vector<uint8_t> serialize() const;
    // Sets (or adds) property `name` of the table (column "") or of a column.
    void set(const std::string& column, const std::string& name, uint8_t dataType, std::vector<uint8_t> data);
};

}  // namespace vantrel::jet
