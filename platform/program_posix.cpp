#include "program.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace vantrel::platform {

std::vector<std::string> ProgramArgs(int argc, char** argv) { return {argv, argv + argc}; }

bool ProcessGone(uint64_t id) {
    const auto pid = pid_t(id);
    if (pid <= 0 || uint64_t(pid) != id) return false;
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

std::string SelfFolder() {
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "";
    const std::string path(self, size_t(n));
    return path.substr(0, path.find_last_of('/') + 1);
}

}  // namespace vantrel::platform
