#include <unistd.h>

#include "commands.h"
#include "emulator_copy.h"
#include "error.h"

namespace vantrel {

// The window's third step, headless: the same name part, the same folder.
int runCopyToEmulator(const std::string& scriptPath) {
    if (::chdir("/") != 0) throw JetError(76, "Path not found");
    CopyReplacing(scriptPath, EmulatorFolder() + ScriptNamePart(scriptPath, '/'));
    return 0;
}

}  // namespace vantrel
