#include "page_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "rc4.h"

namespace vantrel::jet {

namespace {
bool readFully(int fd, uint8_t* buf, size_t len, off_t at) {
    while (len > 0) {
        ssize_t got = ::pread(fd, buf, len, at);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        buf += got;
        len -= size_t(got);
        at += got;
    }
    return true;
}
}  // namespace

PageFile::PageFile(const std::string& path, Options opt) : path_(path), writable_(opt.writable), capacity_(opt.cachePages ? opt.cachePages : 1) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG) throw err::fileNotFound(path);
        throw err::cannotOpen(path);
    }
    if (S_ISDIR(st.st_mode)) throw err::unrecognizedFormat(path);
    fd_ = ::open(path.c_str(), (writable_ ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd_ < 0) {
        if (errno == ENOENT) throw err::fileNotFound(path);
        throw err::cannotOpen(path);
    }
    try {
        if (!S_ISREG(st.st_mode)) throw err::unrecognizedFormat(path);
        std::vector<uint8_t> head(kHeaderBytes);
        if (size_t(st.st_size) < kHeaderBytes || !readFully(fd_, head.data(), head.size(), 0) || !parseHeader(head, header_))
            throw err::unrecognizedFormat(path);
        pageCount_ = uint32_t(std::min<uint64_t>(uint64_t(st.st_size) / header_.pageSize, 0xFFFFFFu));
        if (pageCount_ < 1) throw err::unrecognizedFormat(path);
    } catch (...) {
        ::close(fd_);
        fd_ = -1;
        throw;
    }
}

PageFile::~PageFile() {
    if (fd_ >= 0) ::close(fd_);
}

PageRef PageFile::page(uint32_t n) {
    auto it = index_.find(n);
    if (it != index_.end()) {
        lru_.splice(lru_.begin(), lru_, it->second);
        return it->second->second;
    }
    // A miss right after the previous page is read is a scan: read a run of
    // pages in one call.
    const uint32_t run = (n == lastMiss_ + 1) ? kReadAhead : 1;
    lastMiss_ = n;
    return load(n, run);
}

void PageFile::remember(uint32_t n, PageRef ref) {
    auto it = index_.find(n);
    if (it != index_.end()) return;
    lru_.emplace_front(n, std::move(ref));
    index_[n] = lru_.begin();
    if (lru_.size() > capacity_) {
        index_.erase(lru_.back().first);
        lru_.pop_back();
    }
}

PageRef PageFile::load(uint32_t n, uint32_t run) {
    if (n >= pageCount_)
        throw FormatError("page " + std::to_string(n) + " lies beyond the end of the file (" + std::to_string(pageCount_) + " pages)");
    run = std::min<uint32_t>(run, pageCount_ - n);
    const size_t ps = header_.pageSize;
    readBuf_.resize(ps * run);
    if (!readFully(fd_, readBuf_.data(), readBuf_.size(), off_t(n) * off_t(ps)))
        throw FormatError("page " + std::to_string(n) + " cannot be read");
    PageRef first;
    for (uint32_t k = 0; k < run; ++k) {
        auto buf = std::make_shared<PageBuf>(readBuf_.begin() + long(k * ps), readBuf_.begin() + long((k + 1) * ps));
        decode(n + k, *buf);
        if (k == 0) first = buf;
        lastMiss_ = n + k;
        remember(n + k, std::move(buf));
    }
    return first;
}

void PageFile::decode(uint32_t n, PageBuf& buf) const {
    if (n > 0 && header_.encodingKey != 0) {
        uint32_t k = header_.encodingKey ^ n;
        uint8_t key[4] = {uint8_t(k), uint8_t(k >> 8), uint8_t(k >> 16), uint8_t(k >> 24)};
        Rc4 rc4(key, 4);
        rc4.apply(buf.data(), buf.size());
    }
}

}  // namespace vantrel::jet
