#include "files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace vantrel::platform {

namespace {
Failure failure(int e) {
    switch (e) {
        case ENOENT: case ENOTDIR: case ENAMETOOLONG: return {Fault::PathNotFound, std::strerror(e)};
        case EACCES: case EPERM: case EROFS: case EISDIR: case ETXTBSY: return {Fault::AccessDenied, std::strerror(e)};
        case ENOSPC: case EDQUOT: return {Fault::DiskFull, std::strerror(e)};
        default: return {Fault::Other, std::strerror(e)};
    }
}

// Writes all of `n` bytes; 0 or the errno of the failure.
int writeAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return w < 0 ? errno : ENOSPC;
        p += w;
        n -= size_t(w);
    }
    return 0;
}
}  // namespace

char FolderSeparator() { return '/'; }

Failure AppendToFile(const std::string& path, const std::string& bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return failure(errno);
    int err = writeAll(fd, bytes.data(), bytes.size());
    if (::close(fd) != 0 && !err) err = errno;
    return err ? failure(err) : Failure{};
}

Failure CopyFileReplacing(const std::string& from, const std::string& to, const std::string& temp) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        if (errno == ENOENT) return {Fault::FileNotFound, std::strerror(errno)};
        return failure(errno);
    }
    int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        int e = errno;
        ::close(in);
        return failure(e);
    }
    std::vector<char> buf(1 << 16);
    int err = 0;
    for (;;) {
        ssize_t n = ::read(in, buf.data(), buf.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            err = errno;
            break;
        }
        if (n == 0) break;
        if ((err = writeAll(out, buf.data(), size_t(n))) != 0) break;
    }
    ::close(in);
    if (!err && ::fsync(out) != 0) err = errno;
    if (::close(out) != 0 && !err) err = errno;
    if (!err && ::rename(temp.c_str(), to.c_str()) != 0) err = errno;
    if (err) {
        ::unlink(temp.c_str());
        return failure(err);
    }
    return {};
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool MakeFolder(const std::string& path) {
    struct stat st{};
    return ::mkdir(path.c_str(), 0777) == 0 || (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}

bool IsFolder(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RemoveFolder(const std::string& path) { return ::rmdir(path.c_str()) == 0; }

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    DIR* d = ::opendir(folder.c_str());
    if (!d) return names;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(d);
    return names;
}

bool ChangeToDriveRoot() { return ::chdir("/") == 0; }

}  // namespace vantrel::platform
