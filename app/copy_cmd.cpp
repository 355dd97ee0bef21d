#include <sys/stat.h>
#include <unistd.h>

#include "commands.h"
#include "emulator_copy.h"
#include "error.h"

namespace vantrel {

// The window's third step, headless: the same name part, the same folder.
int runCopyToEmulator(const std::string& scriptPath) {
    if (::chdir("/") != 0) throw JetError(76, "Path not found");
    const std::string folder = EmulatorFolder();
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw JetError(76, "Path not found: the emulator folder " + folder + " (set WINEPREFIX to the Wine prefix it is under)");
    CopyReplacing(scriptPath, folder + ScriptNamePart(scriptPath, '/'));
    return 0;
}

}  // namespace vantrel
