// A new, empty Jet4 database: the definition page, the free-page map and the
// system tables Jet keeps (MSysObjects, MSysACEs, MSysQueries,
// MSysRelationships) with the catalog's containers and access entries.
#pragma once

#include <functional>
#include <string>

namespace vantrel::jet {

struct CreateOptions {
    std::string password;            // "" for none
    double now = 0;                  // creation date (OLE date)
    std::function<void(uint32_t)> beforeWrite;  // for fault tests
};

// Creates `path`, which must not exist (JetError 3204). On failure nothing is left behind.
void createDatabaseFile(const std::string& path, const CreateOptions& opt);

}  // namespace vantrel::jet
