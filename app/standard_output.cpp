#include "standard_output.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "cli_usage.h"
#include "error.h"

namespace vantrel {

int endStandardOutput(int status, std::FILE* out) {
    errno = 0;
    const bool flushed = std::fflush(out) == 0;
    const int e = errno;
    if (flushed && !std::ferror(out)) return status;
    if (status != kExitDone) return status;
    const JetError failure = e == ENOSPC ? err::diskFull("standard output")
                                         : err::deviceIo(e ? std::string("standard output: ") + std::strerror(e) : "standard output");
    std::fprintf(stderr, "Error Number [%ld]\nError Description [%s]\n", failure.Number, failure.Description.c_str());
    return kExitFailed;
}

}  // namespace vantrel
