// Access's lock file: while a program has a database open, a file beside it
// (the database's name with its extension replaced by .ldb, or by .laccdb
// for the ACE extensions .accdb, .accde and .accdr) is held open by that
// program. A lock file nobody holds is stale: it says nothing and is left
// as it is.
#pragma once

#include <string>

#include "env.h"

namespace vantrel::jet {

// The lock file Access keeps beside the database at `path`.
std::string lockFilePath(const std::string& path);

// Whether a program holds the lock file of the database, under the name it
// was opened by or its resolved name (they differ through a link).
bool lockFileInUse(platform::Env& env, const std::string& path, const std::string& resolved);

}  // namespace vantrel::jet
