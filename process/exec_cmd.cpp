#include "exec_cmd.h"

#include <spawn.h>
#include <sys/wait.h>
#include <wordexp.h>

#include <cerrno>

extern char** environ;

namespace vantrel {

void ExecCmd(const std::string& cmdline) {
    wordexp_t words{};
    if (wordexp(cmdline.c_str(), &words, WRDE_NOCMD) != 0) return;
    if (words.we_wordc > 0) {
        pid_t pid = 0;
        if (posix_spawnp(&pid, words.we_wordv[0], nullptr, nullptr, words.we_wordv, environ) == 0) {
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }
    }
    wordfree(&words);
}

}  // namespace vantrel
