#include "exec_cmd.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <vector>

#include "command_line.h"

extern char** environ;

namespace vantrel {

void ExecCmd(const std::string& cmdline) {
    std::vector<std::string> words = SplitCommandLine(cmdline);
    if (words.empty() || words[0].empty()) return;
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace vantrel
