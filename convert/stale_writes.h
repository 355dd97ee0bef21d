// Temporary files a writer left when its process was killed: "X.tdb.writing-PID"
// beside X.tdb (see output_file.h). They are removed at the next write of X.tdb.
#pragma once

#include <string>

#include "env.h"

namespace vantrel {

// Removes every regular file named `path` + `tag` + N whose process N is
// gone (`create` builds a database as "X.mdb.creating-PID" the same way).
// A file of a process that still runs (or may) is left alone, and so is any
// failure: what cannot be removed now is tried at the next write.
void RemoveStaleWrites(const std::string& path, platform::Env& env = platform::Env::system(), const std::string& tag = ".writing-");

}  // namespace vantrel
