// The catalog (MSysObjects): which tables the database holds, where their
// definitions live, their DAO attributes, in the engine's own order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "layout.h"
#include "page_file.h"

namespace vantrel::jet {

// DAO TableDef.Attributes bits.
constexpr int32_t kAttrSystemObject = int32_t(0x80000002u);
constexpr int32_t kAttrHiddenObject = 0x00000001;
constexpr int32_t kAttrAttachedTable = 0x40000000;
constexpr int32_t kAttrAttachedODBC = 0x20000000;

constexpr uint32_t kCatalogPage = 2;

struct CatalogEntry {
    std::string name;
    int32_t id = 0;
    int32_t parentId = 0;
    int16_t objectType = 0;  // 1 local table, 4 ODBC link, 6 linked table
    int32_t flags = 0;
    int32_t attributes = 0;
    uint32_t tdefPage = 0;   // 0 for linked tables
    RowPointer row;          // the entry's own row in the catalog
    bool local() const { return objectType == 1; }
};

// The DAO attributes a catalog entry's type and flags give.
int32_t daoAttributes(int16_t objectType, int32_t flags);

// The tables (local and linked), in the order of the catalog's name index,
// which is the order Jet enumerates TableDefs in.
std::vector<CatalogEntry> readTableCatalog(PageFile& file);

}  // namespace vantrel::jet
