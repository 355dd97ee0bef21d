// Entering new objects in the catalog: a row in MSysObjects under its
// container, and the access entries (MSysACEs) a new table inherits.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "layout.h"
#include "page_file.h"

namespace vantrel::jet {

// Catalog ids of the containers and the database object.
constexpr int32_t kContainerRoot = 0x0F000000;
constexpr int32_t kContainerTables = 0x0F000001;
constexpr int32_t kContainerDatabases = 0x0F000002;
constexpr int32_t kContainerRelationships = 0x0F000003;
constexpr int32_t kDatabaseObject = 0x10000000;
constexpr int32_t kSystemObjectFlags = int32_t(0x80000000u);

struct CatalogObject {
    int32_t id = 0;
    int32_t parentId = kContainerTables;
    std::string name;
    int16_t type = 1;      // 1 table, 2 database, 3 container
    int32_t flags = 0;
    double created = 0;    // OLE date
    bool systemOwner = true;
};

// Adds the object's row to MSysObjects (catalog at page 2, which must hold
// no other object of that name under that parent).
void addCatalogObject(PageFile& file, const CatalogObject& o);

// Sets property `name` of a table (column "") or of one of its columns in
// the table's property block (MSysObjects.LvProp), which is rewritten whole.
// `dataType` is the value's column type code (1 Yes/No, 10 text, 12 memo).
void setObjectProperty(PageFile& file, RowPointer catalogRow, const std::string& column, const std::string& name,
                       uint8_t dataType, std::vector<uint8_t> data);

// Gives a new table the access entries the Tables container passes on.
void inheritAccess(PageFile& file, uint32_t aceTablePage, int32_t objectId);

}  // namespace vantrel::jet
