// A table's definition as stored on its TDEF page chain: columns, physical
// (real) indexes and logical indexes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "page_file.h"

namespace vantrel::jet {

// Jet's on-disk column type codes.
enum JetType : uint8_t {
    kBool = 0x01, kByte = 0x02, kInt = 0x03, kLong = 0x04, kMoney = 0x05, kFloat = 0x06, kDouble = 0x07,
    kDateTime = 0x08, kBinary = 0x09, kText = 0x0A, kOle = 0x0B, kMemo = 0x0C, kGuid = 0x0F,
    kNumeric = 0x10, kComplex = 0x12, kBigInt = 0x13,
};

// DAO's type code for a Jet column type (Decimal is 20, not 16; unknown kinds 101).
int daoTypeOf(uint8_t jetType);

constexpr uint8_t kColFixed = 0x01;
constexpr uint8_t kColNullable = 0x02;
constexpr uint8_t kColAutoLong = 0x04;
constexpr uint8_t kColHyperlink = 0x80;

struct ColumnDef {
    std::string name;
    uint8_t type = 0;
    uint16_t number = 0;      // position in the row's null mask (counts deleted columns)
    uint16_t varIndex = 0;    // entry in the row's variable-offset table
    uint16_t fixedOffset = 0; // offset of a fixed column after the column count
    uint16_t length = 0;
    uint8_t flags = 0;
    uint8_t extFlags = 0;     // Jet4/ACE: the byte after the flags (0xC0: a calculated column)
    uint8_t precision = 0, scale = 0;
    uint16_t codePage = 0;    // Jet3 text columns
    uint16_t sortOrder = 0;   // text columns: the sort order's locale
    uint8_t sortVersion = 0;
    bool fixed() const { return flags & kColFixed; }
    bool longValue() const { return type == kMemo || type == kOle; }
};

struct RealIndexDef {
    struct Col {
        uint16_t number;
        bool ascending;
    };
    std::vector<Col> columns;
    uint32_t usedPages = 0;
    uint32_t rootPage = 0;
    uint8_t flags = 0;  // 0x01 unique, 0x02 ignore nulls, 0x08 required
};

struct IndexDef {
    std::string name;
    uint32_t number = 0;
    uint32_t realIndex = 0;
    uint8_t kind = 0;  // 1 primary key, 2 foreign key
    int32_t relatedIndex = -1;
    uint32_t relatedTablePage = 0;
    bool cascadeUpdates = false, cascadeDeletes = false;
};

struct TableDefData {
    uint32_t page = 0;
    uint32_t rowCount = 0;
    uint8_t tableType = 0;
    uint16_t maxColumns = 0;
    uint16_t varColumns = 0;
    std::vector<ColumnDef> columns;  // ascending column number
    std::vector<RealIndexDef> realIndexes;
    std::vector<IndexDef> indexes;
    uint32_t usedPagesPtr = 0;
    uint32_t freePagesPtr = 0;

    const ColumnDef* columnByNumber(uint16_t n) const;
    // Whether real index `real` refuses a key it already holds: its own flag,
    // or a primary key built on it.
    bool uniqueIndex(size_t real) const;
};

// The definition's bytes as one block: the first page whole, then each
// continuation page after its 8-byte header. `pages` receives the chain.
std::vector<uint8_t> gatherDefinition(PageFile& file, uint32_t first, std::vector<uint32_t>* pages = nullptr);

// Reads the definition starting at `page`, following its continuation pages.
TableDefData readTableDef(PageFile& file, uint32_t page);

}  // namespace vantrel::jet
