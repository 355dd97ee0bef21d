// A new, empty Jet4 database: the definition page, the free-page map and the
// system tables Jet keeps (MSysObjects, MSysACEs, MSysQueries,
// MSysRelationships) with the catalog's containers and access entries.
#pragma once

#include <functional>
#include <string>

#include "env.h"

namespace vantrel::jet {

struct CreateOptions {
    std::string password;            // "" for none
    double now = 0;                  // creation date (OLE date)
    std::function<void(uint32_t)> beforeWrite;  // for fault tests
    platform::Env* env = nullptr;               // the real system unless a test passes its own
};

// Creates `path`, which must not exist (JetError 3204). On failure nothing is left behind.
void createDatabaseFile(const std::string& path, const CreateOptions& opt);

}  // namespace vantrel::jet
