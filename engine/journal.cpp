#include "journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "error.h"
#include "file_io.h"

namespace vantrel::jet {

namespace {

constexpr char kMagic[16] = {'V', 'a', 'n', 't', 'r', 'e', 'l', ' ', 'j', 'o', 'u', 'r', 'n', 'a', 'l', '1'};
constexpr size_t kHeaderSize = 32;

uint64_t checksum(uint32_t page, const uint8_t* p, size_t n) {
    // Eight bytes at a time, each word mixed in by multiply and rotate; any
    // torn or stale record fails it. n is a page size, a multiple of 8.
    uint64_t h = 0x9E3779B97F4A7C15ull ^ page;
    for (size_t i = 0; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        h = (h ^ w) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 29;
    }
    return h;
}

void put32(std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}
void put64(std::vector<uint8_t>& v, uint64_t x) {
    for (int i = 0; i < 8; ++i) v.push_back(uint8_t(x >> (8 * i)));
}
uint64_t get64(const uint8_t* p) {
    uint64_t x = 0;
    for (int i = 7; i >= 0; --i) x = (x << 8) | p[i];
    return x;
}
uint32_t get32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

}  // namespace

void syncFolderOf(const std::string& path) {
    std::string dir = path;
    size_t slash = dir.find_last_of('/');
    dir = slash == std::string::npos ? "." : slash == 0 ? "/" : dir.substr(0, slash);
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

Journal::Journal(const std::string& dbPath, uint32_t pageSize, uint64_t originalSize)
    : path_(pathFor(dbPath)), pageSize_(pageSize), originalSize_(originalSize) {
    fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) throw JetError(3051, "Cannot create the rollback journal '" + path_ + "': " + std::strerror(errno));
    std::vector<uint8_t> head(kMagic, kMagic + 16);
    put32(head, pageSize);
    put32(head, 0);
    put64(head, originalSize);
    if (!writeAt(fd_, head.data(), head.size(), 0) || ::fsync(fd_) != 0) {
        ::close(fd_);
        ::unlink(path_.c_str());
        fd_ = -1;
        throw ioError("writing the journal");
    }
    syncFolderOf(path_);
}

Journal::~Journal() {
    if (fd_ >= 0) ::close(fd_);
}

void Journal::add(uint32_t page, const uint8_t* raw) {
    put32(pending_, page);
    put64(pending_, checksum(page, raw, pageSize_));
    pending_.insert(pending_.end(), raw, raw + pageSize_);
    if (pending_.size() >= kFlushBytes) flush();
}

void Journal::flush() {
    if (pending_.empty()) return;
    off_t end = ::lseek(fd_, 0, SEEK_END);
    if (end < 0 || !writeAt(fd_, pending_.data(), pending_.size(), end)) throw ioError("writing the journal");
    pending_.clear();
}

void Journal::sync() {
    flush();
    if (::fsync(fd_) != 0) throw ioError("syncing the journal");
}

void Journal::remove() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (::unlink(path_.c_str()) != 0 && errno != ENOENT) throw ioError("deleting the journal");
    syncFolderOf(path_);
}

bool Journal::recover(const std::string& dbPath, int dbFd) {
    const std::string path = pathFor(dbPath);
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    uint8_t head[kHeaderSize];
    bool valid = readAt(fd, head, kHeaderSize, 0) && std::memcmp(head, kMagic, 16) == 0;
    if (valid) {
        const uint32_t pageSize = get32(head + 16);
        const uint64_t originalSize = get64(head + 24);
        if (pageSize != 2048 && pageSize != 4096) valid = false;
        std::vector<uint8_t> rec(12 + size_t(pageSize));
        off_t at = kHeaderSize;
        // Records end at the first one that is cut short or fails its
        // checksum: the database was never written past the last synced one.
        while (valid && readAt(fd, rec.data(), rec.size(), at)) {
            const uint32_t page = get32(rec.data());
            if (get64(rec.data() + 4) != checksum(page, rec.data() + 12, pageSize)) break;
            if (!writeAt(dbFd, rec.data() + 12, pageSize, off_t(page) * pageSize)) {
                ::close(fd);
                throw ioError("rolling back the journal");
            }
            at += off_t(rec.size());
        }
        if (valid) {
            if (::ftruncate(dbFd, off_t(originalSize)) != 0 || ::fsync(dbFd) != 0) {
                ::close(fd);
                throw ioError("rolling back the journal");
            }
        }
    }
    ::close(fd);
    if (::unlink(path.c_str()) != 0) throw ioError("deleting the journal");
    syncFolderOf(path);
    return true;
}

}  // namespace vantrel::jet
