// Every command's standard output ends here: what the system refused to take
// (a full disk, a device that fails, a closed console) is the command's
// failure, never a success with the text lost.
#pragma once

#include <cstdio>

namespace vantrel {

// Flushes `out` and looks at its error flag. Returns `status` when every
// write reached the system; otherwise prints Jet's two lines (61 Disk full
// when there was no room, 57 Device I/O error for the rest) to standard
// error and returns the failure status (a command that failed already keeps
// its own error, printed before).
int endStandardOutput(int status, std::FILE* out = stdout);

}  // namespace vantrel
