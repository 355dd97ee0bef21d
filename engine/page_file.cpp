#include "page_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include <sys/file.h>

#include <cstring>

#include "file_io.h"
#include "journal.h"
#include "rc4.h"

namespace vantrel::jet {


namespace {
bool noWriteBits(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & 0222) == 0;
}

std::string folderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}
}  // namespace

PageFile::PageFile(const std::string& path, Options opt)
    : path_(path), writable_(opt.writable), capacity_(opt.cachePages ? opt.cachePages : 1),
      beforeWrite_(std::move(opt.beforeWrite)), maxDirty_(opt.maxDirtyPages ? opt.maxDirtyPages : 1) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG) throw err::fileNotFound(path);
        throw err::cannotOpen(path);
    }
    if (S_ISDIR(st.st_mode)) throw err::unrecognizedFormat(path);
    // A file or folder marked read-only is not changed, even where the
    // system would let this user write it (root).
    // The folder must take the journal: checked now, before any change is begun.
    if (writable_ && S_ISREG(st.st_mode) &&
        (noWriteBits(path) || noWriteBits(folderOf(path)) || ::access(folderOf(path).c_str(), W_OK | X_OK) != 0))
        throw err::cannotOpen(path);
    fd_ = ::open(path.c_str(), (writable_ ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd_ < 0) {
        if (errno == ENOENT) throw err::fileNotFound(path);
        throw err::cannotOpen(path);
    }
    try {
        if (!S_ISREG(st.st_mode)) throw err::unrecognizedFormat(path);
        if (::flock(fd_, (writable_ ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) throw err::fileInUse(path);
        if (::access(Journal::pathFor(path).c_str(), F_OK) == 0) {
            // A statement was cut short: put the pages back before anything is read.
            if (!writable_) {
                if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) throw err::fileInUse(path);
                int rw = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
                if (rw < 0) throw err::damaged(path, "an interrupted change waits to be rolled back; open the database for writing");
                try {
                    Journal::recover(path, rw);
                } catch (...) {
                    ::close(rw);
                    throw;
                }
                ::close(rw);
                ::flock(fd_, LOCK_SH | LOCK_NB);
            } else {
                Journal::recover(path, fd_);
            }
            if (::fstat(fd_, &st) != 0) throw err::cannotOpen(path);
        }
        std::vector<uint8_t> head(kHeaderBytes);
        if (size_t(st.st_size) < kHeaderBytes || !readAt(fd_, head.data(), head.size(), 0) || !parseHeader(head, header_))
            throw err::unrecognizedFormat(path);
        pageCount_ = uint32_t(std::min<uint64_t>(uint64_t(st.st_size) / header_.pageSize, 0xFFFFFFu));
        if (pageCount_ < 1) throw err::unrecognizedFormat(path);
        committedPages_ = pageCount_;
    } catch (...) {
        ::close(fd_);
        fd_ = -1;
        throw;
    }
}

PageFile::~PageFile() {
    if (changed()) {
        try {
            abort();
        } catch (...) {
            // The journal stays; the next open rolls it back.
        }
    }
    if (fd_ >= 0) ::close(fd_);
}

PageRef PageFile::page(uint32_t n) {
    if (auto d = dirty_.find(n); d != dirty_.end()) return d->second;
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
    // The newest bytes win: a page written back replaces any copy read before.
    if (auto it = index_.find(n); it != index_.end()) {
        it->second->second = std::move(ref);
        lru_.splice(lru_.begin(), lru_, it->second);
        return;
    }
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
    if (!readAt(fd_, readBuf_.data(), readBuf_.size(), off_t(n) * off_t(ps)))
        throw FormatError("page " + std::to_string(n) + " cannot be read");
    PageRef first;
    for (uint32_t k = 0; k < run; ++k) {
        auto buf = std::make_shared<PageBuf>(readBuf_.begin() + long(k * ps), readBuf_.begin() + long((k + 1) * ps));
        decode(n + k, *buf);
        if (k == 0) first = buf;
        lastMiss_ = n + k;
        // A page changed in memory is newer than its bytes on disk: read
        // ahead must not cache the old ones.
        if (!dirty_.count(n + k)) remember(n + k, std::move(buf));
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

namespace vantrel::jet {


PageBuf& PageFile::modify(uint32_t n) {
    if (!writable_) throw JetError(3027, "Cannot update.  Database or object is read-only.");
    if (auto d = dirty_.find(n); d != dirty_.end()) return *d->second;
    if (dirty_.size() >= maxDirty_) spill();
    auto copy = std::make_shared<PageBuf>(*page(n));
    // The cache must not hand out the old bytes any more.
    if (auto it = index_.find(n); it != index_.end()) {
        lru_.erase(it->second);
        index_.erase(it);
    }
    return *dirty_.emplace(n, std::move(copy)).first->second;
}

uint32_t PageFile::appendPage() {
    if (!writable_) throw JetError(3027, "Cannot update.  Database or object is read-only.");
    if (pageCount_ >= 0xFFFFFFu) throw JetError(3183, "The query cannot be completed. The database has reached its size limit.");
    const uint32_t n = pageCount_++;
    if (dirty_.size() >= maxDirty_) spill();
    dirty_.emplace(n, std::make_shared<PageBuf>(header_.pageSize, 0));
    return n;
}

void PageFile::writeRun(uint32_t first, const std::vector<const PageBuf*>& pages) {
    const size_t ps = header_.pageSize;
    std::vector<uint8_t> raw(ps * pages.size());
    for (size_t k = 0; k < pages.size(); ++k) {
        const uint32_t n = first + uint32_t(k);
        if (beforeWrite_) beforeWrite_(n);
        uint8_t* p = raw.data() + k * ps;
        std::memcpy(p, pages[k]->data(), ps);
        if (n > 0 && header_.encodingKey != 0) {
            uint32_t key = header_.encodingKey ^ n;
            uint8_t bytes[4] = {uint8_t(key), uint8_t(key >> 8), uint8_t(key >> 16), uint8_t(key >> 24)};
            Rc4(bytes, 4).apply(p, ps);
        }
    }
    if (!writeAt(fd_, raw.data(), raw.size(), off_t(first) * off_t(ps))) throw ioError("writing page " + std::to_string(first));
}

void PageFile::spill() {
    if (dirty_.empty()) return;
    if (!journal_) journal_ = std::make_unique<Journal>(path_, header_.pageSize, uint64_t(committedPages_) * header_.pageSize);
    // The original bytes of every page about to be overwritten for the first
    // time go to the journal, which is synced before the database is touched.
    // Consecutive pages are read and written in runs.
    const size_t ps = header_.pageSize;
    std::vector<uint32_t> fresh;
    for (const auto& [n, buf] : dirty_)
        if (n < committedPages_ && !journaled_.count(n)) fresh.push_back(n);
    std::vector<uint8_t> raw;
    for (size_t i = 0; i < fresh.size();) {
        size_t j = i + 1;
        while (j < fresh.size() && fresh[j] == fresh[j - 1] + 1 && j - i < kRunPages) ++j;
        raw.resize((j - i) * ps);
        if (!readAt(fd_, raw.data(), raw.size(), off_t(fresh[i]) * off_t(ps))) throw ioError("reading page " + std::to_string(fresh[i]));
        for (size_t k = i; k < j; ++k) {
            journal_->add(fresh[k], raw.data() + (k - i) * ps);
            journaled_.insert(fresh[k]);
        }
        i = j;
    }
    journal_->sync();
    std::vector<const PageBuf*> run;
    uint32_t runFirst = 0;
    for (const auto& [n, buf] : dirty_) {
        if (!run.empty() && (n != runFirst + run.size() || run.size() == kRunPages)) {
            writeRun(runFirst, run);
            run.clear();
        }
        if (run.empty()) runFirst = n;
        run.push_back(buf.get());
    }
    if (!run.empty()) writeRun(runFirst, run);
    // Written pages become ordinary cached pages again.
    auto written = std::move(dirty_);
    dirty_.clear();
    for (auto& [n, buf] : written) remember(n, std::move(buf));
}

void PageFile::commit() {
    if (!changed()) return;
    spill();
    if (::fsync(fd_) != 0) throw ioError("syncing the database");
    journal_->remove();
    journal_.reset();
    journaled_.clear();
    committedPages_ = pageCount_;
}

void PageFile::abort() {
    dirty_.clear();
    index_.clear();
    lru_.clear();
    lastMiss_ = 0xFFFFFFFFu;
    pageCount_ = committedPages_;
    if (!journal_) return;
    journal_->sync();
    journal_.reset();
    journaled_.clear();
    Journal::recover(path_, fd_);
}

}  // namespace vantrel::jet
