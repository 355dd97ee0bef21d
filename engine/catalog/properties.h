// Table and column properties kept in the catalog (MSysObjects.LvProp):
// AllowZeroLength, Required, validation rules and ACE's AppendOnly.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "catalog.h"
#include "page_file.h"

namespace vantrel::jet {

struct ColumnProperties {
    std::optional<bool> allowZeroLength;
    std::optional<bool> required;
    std::string validationRule, validationText;
    bool hasDefault = false;  // a DefaultValue Jet fills in when a new row omits the column
    bool appendOnly = false;  // ACE memo whose earlier values Access keeps in a history column
    std::string defaultValue;
};

struct TableProperties {
    std::string validationRule, validationText;
    std::map<std::string, ColumnProperties> columns;  // by upper-cased column name

    const ColumnProperties* column(const std::string& name) const;
};

// Parses a property blob ("MR2\0" in Jet4, "KKD\0" in Jet3). FormatError when damaged.
TableProperties parseProperties(const std::vector<uint8_t>& blob, bool jet3, uint16_t codePage);

// The properties stored with a table's catalog entry (empty when it has none).
TableProperties readTableProperties(PageFile& file, const CatalogEntry& table);

std::string upperAscii(std::string s);

}  // namespace vantrel::jet
