#include "standard_output.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "cli_usage.h"

namespace vantrel {

int endStandardOutput(int status, std::FILE* out) {
    errno = 0;
    const bool flushed = std::fflush(out) == 0;
    const int e = errno;
    if (flushed && !std::ferror(out)) return status;
    if (status != kExitDone) return status;
    if (e == ENOSPC) {
        std::fprintf(stderr, "Error Number [61]\nError Description [Disk full (standard output)]\n");
    } else {
        const std::string why = e ? std::string(": ") + std::strerror(e) : std::string();
        std::fprintf(stderr, "Error Number [57]\nError Description [Device I/O error (standard output%s)]\n", why.c_str());
    }
    return kExitFailed;
}

}  // namespace vantrel
