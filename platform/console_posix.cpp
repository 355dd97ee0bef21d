#include "console.h"

#include <unistd.h>

namespace vantrel::platform {

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void UseParentConsole() {}

}  // namespace vantrel::platform
