#include "commands.h"
#include "emulator_copy.h"
#include "env.h"
#include "error.h"
#include "files.h"

namespace vantrel {

// The window's third step, headless: the same name part, the same folder.
int runCopyToEmulator(const std::string& scriptPath) {
    // The folder changes below: a relative script path is found from the
    // folder the command was started in, before that.
    const std::string source = platform::Env::system().resolve(scriptPath);
    if (!platform::ChangeToDriveRoot()) throw err::pathNotFound();
    const std::string folder = EmulatorFolder();
    if (!platform::IsFolder(folder))
        throw err::pathNotFound("the emulator folder " + folder +
                                (platform::FolderSeparator() == '/' ? " (set WINEPREFIX to the Wine prefix it is under)" : ""));
    CopyReplacing(source, folder + ScriptNamePart(scriptPath, platform::FolderSeparator()));
    return 0;
}

}  // namespace vantrel
