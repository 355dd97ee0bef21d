// Which tables the tool works on: local, visible, non-system tables whose
// name does not start with "MSYS" in any letter case.
#pragma once

#include <string>

#include "dao.h"

namespace vantrel {

bool IsUserTable(const TableDef& tbl);

// The first four characters of `name` (the whole name when shorter), upper-cased.
std::string NamePrefixUpper(const std::string& name);

}  // namespace vantrel
