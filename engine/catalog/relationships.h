// Relationships between tables (MSysRelationships), for referential integrity.
#pragma once

#include <string>
#include <vector>

#include "catalog.h"
#include "page_file.h"

namespace vantrel::jet {

struct Relationship {
    std::string name;
    std::string table, referencedTable;                // the foreign side and the side it refers to
    std::vector<std::string> columns, referencedColumns;  // in column order of the relationship
    bool enforced = false;
    int32_t attributes = 0;  // MSysRelationships.grbit: 0x2 not enforced, 0x100 cascade updates, 0x1000 cascade deletes
};

std::vector<Relationship> readRelationships(PageFile& file, const std::vector<CatalogEntry>& catalog);

}  // namespace vantrel::jet
