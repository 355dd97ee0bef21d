// The Env of POSIX systems: pread/pwrite, fsync, flock, realpath.
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "env.h"

namespace vantrel::platform {

namespace {

Reason reasonOf(int e) {
    switch (e) {
        case ENOENT: return Reason::notFound;
        case ENOTDIR: case ENAMETOOLONG: case ELOOP: return Reason::pathNotFound;
        case EEXIST: return Reason::exists;
        case ENOSPC: case EDQUOT: case EFBIG: return Reason::noSpace;
        case EACCES: case EPERM: case EROFS: case ETXTBSY: return Reason::permission;  // a running program is not ours to write
        case EISDIR: return Reason::isFolder;
        case EBUSY: case EWOULDBLOCK: return Reason::busy;
        case ENXIO: return Reason::noReader;
        default: return Reason::other;
    }
}

[[noreturn]] void fail(const std::string& what, int e) { throw IoError(reasonOf(e), what, std::strerror(e)); }

bool inSystemFolder(const std::string& absolute) {
    return absolute.rfind("/dev/", 0) == 0 || absolute.rfind("/proc/", 0) == 0;
}

// Whether the name, or a link it leads through, lies under /dev or /proc:
// its folder resolved and the name appended, at each link of the way.
bool systemName(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        const size_t slash = path.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        char buf[PATH_MAX];
        if (!::realpath(folder.c_str(), buf)) return false;
        const std::string dir = buf;
        const std::string absolute = (dir == "/" ? "" : dir) + "/" + name;
        if (inSystemFolder(absolute)) return true;
        const ssize_t n = ::readlink(absolute.c_str(), buf, sizeof buf);
        if (n <= 0) return false;
        const std::string target(buf, size_t(n));
        path = target[0] == '/' ? target : (dir == "/" ? "" : dir) + "/" + target;
    }
    return false;
}

class PosixFile : public File {
public:
    PosixFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~PosixFile() override { ::close(fd_); }

    size_t readAt(uint64_t at, uint8_t* p, size_t n) override {
        size_t done = 0;
        while (done < n) {
            ssize_t r = ::pread(fd_, p + done, n - done, off_t(at + done));
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) fail("reading '" + path_ + "'", errno);
            if (r == 0) break;
            done += size_t(r);
        }
        return done;
    }

    void writeAt(uint64_t at, const uint8_t* p, size_t n) override {
        size_t done = 0;
        while (done < n) {
            ssize_t w = ::pwrite(fd_, p + done, n - done, off_t(at + done));
            if (w < 0 && errno == EINTR) continue;
            if (w < 0) fail("writing '" + path_ + "'", errno);
            if (w == 0) fail("writing '" + path_ + "'", ENOSPC);
            done += size_t(w);
        }
    }

    size_t readBlocks(uint64_t at, uint8_t* const* blocks, size_t count, size_t size) override {
        std::vector<iovec> io(count);
        for (size_t k = 0; k < count; ++k) io[k] = {blocks[k], size};
        size_t done = 0, first = 0;
        while (first < count) {
            ssize_t r = ::preadv(fd_, io.data() + first, int(std::min<size_t>(count - first, IOV_MAX)), off_t(at + done));
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) fail("reading '" + path_ + "'", errno);
            if (r == 0) break;
            done += size_t(r);
            advance(io, first, size_t(r));
        }
        return done;
    }

    void writeBlocks(uint64_t at, const uint8_t* const* blocks, size_t count, size_t size) override {
        std::vector<iovec> io(count);
        for (size_t k = 0; k < count; ++k) io[k] = {const_cast<uint8_t*>(blocks[k]), size};
        size_t done = 0, first = 0;
        while (first < count) {
            ssize_t w = ::pwritev(fd_, io.data() + first, int(std::min<size_t>(count - first, IOV_MAX)), off_t(at + done));
            if (w < 0 && errno == EINTR) continue;
            if (w < 0) fail("writing '" + path_ + "'", errno);
            if (w == 0) fail("writing '" + path_ + "'", ENOSPC);
            done += size_t(w);
            advance(io, first, size_t(w));
        }
    }

    void append(const uint8_t* p, size_t n) override {
        size_t done = 0;
        while (done < n) {
            ssize_t w = ::write(fd_, p + done, n - done);
            if (w < 0 && errno == EINTR) continue;
            if (w < 0) fail("writing '" + path_ + "'", errno);
            if (w == 0) fail("writing '" + path_ + "'", ENOSPC);
            done += size_t(w);
        }
    }

    void sync() override {
        if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) fail("syncing '" + path_ + "'", errno);
    }

    void truncate(uint64_t size) override {
        if (::ftruncate(fd_, off_t(size)) != 0) fail("truncating '" + path_ + "'", errno);
    }

    uint64_t size() override {
        struct stat st{};
        if (::fstat(fd_, &st) != 0) fail("reading the size of '" + path_ + "'", errno);
        return uint64_t(st.st_size);
    }

    FileId id() override {
        struct stat st{};
        if (::fstat(fd_, &st) != 0) fail("reading the identity of '" + path_ + "'", errno);
        return {uint64_t(st.st_dev), uint64_t(st.st_ino)};
    }

    bool lock(Lock kind) override {
        if (::flock(fd_, (kind == Lock::exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) return true;
        if (errno == EWOULDBLOCK) return false;
        fail("locking '" + path_ + "'", errno);
    }

    const std::string& path() const override { return path_; }

private:
    // Moves past `n` bytes of the blocks from io[first] on (a call may stop
    // inside a block).
    static void advance(std::vector<iovec>& io, size_t& first, size_t n) {
        while (n > 0 && first < io.size()) {
            const size_t take = std::min(n, io[first].iov_len);
            io[first].iov_base = static_cast<uint8_t*>(io[first].iov_base) + take;
            io[first].iov_len -= take;
            n -= take;
            if (io[first].iov_len == 0) ++first;
        }
    }

    int fd_;
    std::string path_;
};

class PosixEnv : public Env {
public:
    std::unique_ptr<File> open(const std::string& path, Open mode) override {
        int flags = O_CLOEXEC;
        switch (mode) {
            case Open::read: flags |= O_RDONLY; break;
            case Open::readWrite: flags |= O_RDWR; break;
            case Open::createNew: flags |= O_RDWR | O_CREAT | O_EXCL; break;
            case Open::createOrTruncate: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
            // Non-blocking open: a FIFO nobody reads fails (ENXIO) instead of hanging.
            case Open::append: flags |= O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK; break;
        }
        int fd = ::open(path.c_str(), flags, 0666);
        if (fd < 0) fail("opening '" + path + "'", errno);
        if (mode == Open::append) {
            int fl = ::fcntl(fd, F_GETFL);
            if (fl >= 0) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
        }
        return std::make_unique<PosixFile>(fd, path);
    }

    FileInfo info(const std::string& path) override {
        FileInfo out;
        struct stat st{};
        if (::stat(path.c_str(), &st) != 0) {
            if (errno == ENOENT) {
                out.systemName = systemName(path);
                return out;
            }
            fail("looking at '" + path + "'", errno);
        }
        out.kind = S_ISREG(st.st_mode)                        ? Kind::regular
                   : S_ISDIR(st.st_mode)                      ? Kind::folder
                   : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? Kind::device
                   : S_ISFIFO(st.st_mode)                     ? Kind::fifo
                                                              : Kind::other;
        out.size = uint64_t(st.st_size);
        out.id = {uint64_t(st.st_dev), uint64_t(st.st_ino)};
        out.links = uint32_t(st.st_nlink);
        // No write bits, or none for this process (a folder of another user).
        out.readOnly = (st.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0;
        out.systemName = systemName(path);
        return out;
    }

    // Asks without taking anything that outlasts the call: F_GETLK reports
    // another process's fcntl (or open file description) lock; a flock lock
    // shows only by trying one, let go at once. Closing the descriptor would
    // drop fcntl locks this process holds on the file: it holds none on the
    // files asked about (lock files of other programs).
    bool inUse(const std::string& path) override {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0) return false;
        bool held = false;
        struct stat st{};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
            struct flock l{};
            l.l_type = F_WRLCK;
            l.l_whence = SEEK_SET;
            if (::fcntl(fd, F_GETLK, &l) == 0 && l.l_type != F_UNLCK) {
                held = true;
            } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
                held = errno == EWOULDBLOCK;
            } else {
                ::flock(fd, LOCK_UN);
            }
        }
        ::close(fd);
        return held;
    }

    void rename(const std::string& from, const std::string& to) override {
        if (::rename(from.c_str(), to.c_str()) != 0) fail("renaming '" + from + "' to '" + to + "'", errno);
    }

    void renameNoReplace(const std::string& from, const std::string& to) override {
        // A second link, then the first name goes: never replaces `to`.
        if (::link(from.c_str(), to.c_str()) == 0) {
            ::unlink(from.c_str());
            return;
        }
        int e = errno;
        if (e == EEXIST) fail("naming '" + to + "'", e);
        // A file system without hard links: a rename, after looking again.
        if ((e == EPERM || e == ENOTSUP || e == ENOSYS) && ::access(to.c_str(), F_OK) != 0) {
            rename(from, to);
            return;
        }
        fail("naming '" + to + "'", e);
    }

    void remove(const std::string& path) override {
        if (::unlink(path.c_str()) != 0) fail("deleting '" + path + "'", errno);
    }

    void syncFolder(const std::string& folder) override {
        int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) fail("opening the folder '" + folder + "'", errno);
        int r = ::fsync(fd);
        int e = errno;
        ::close(fd);
        if (r != 0 && e != EINVAL) fail("syncing the folder '" + folder + "'", e);
    }

    std::string resolve(const std::string& path) override {
        char buf[PATH_MAX];
        if (::realpath(path.c_str(), buf)) return buf;
        if (errno != ENOENT) fail("resolving '" + path + "'", errno);
        size_t slash = path.find_last_of('/');
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        if (!::realpath(folderOf(path).c_str(), buf)) fail("resolving '" + path + "'", errno);
        std::string dir = buf;
        return dir == "/" ? "/" + name : dir + "/" + name;
    }

    std::string folderOf(const std::string& path) override {
        size_t slash = path.find_last_of('/');
        return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    }

    uint64_t processId() override { return uint64_t(::getpid()); }
};

}  // namespace

Env& Env::system() {
    static PosixEnv env;
    return env;
}

}  // namespace vantrel::platform
