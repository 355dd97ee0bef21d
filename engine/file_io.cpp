#include "file_io.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vantrel::jet {

bool readAt(int fd, uint8_t* p, size_t n, off_t at) {
    while (n > 0) {
        ssize_t r = ::pread(fd, p, n, at);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= size_t(r);
        at += r;
    }
    return true;
}

bool writeAt(int fd, const uint8_t* p, size_t n, off_t at) {
    while (n > 0) {
        ssize_t w = ::pwrite(fd, p, n, at);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= size_t(w);
        at += w;
    }
    return true;
}

JetError ioError(const std::string& what) {
    return {3043, "Disk or network error. (" + what + ": " + std::strerror(errno) + ")"};
}

}  // namespace vantrel::jet
