// The headless sub-commands of the vantrel executable.
#pragma once

#include <cstdio>
#include <string>

namespace vantrel {

constexpr const char* kFixedPassword = "bluefinchtea";

// Prints the user tables of the database, one per line, in the engine's order.
int runTables(const std::string& db, const std::string& password);

// Prints the JSON dump of the database's user tables.
int runDump(const std::string& db, const std::string& password, std::FILE* out = stdout);

}  // namespace vantrel
