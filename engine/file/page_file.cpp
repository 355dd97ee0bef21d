#include "page_file.h"

#include <algorithm>
#include <deque>
#include <cstring>

#include "io_error.h"
#include "journal.h"
#include "lock_file.h"
#include "rc4.h"

namespace vantrel::jet {

using platform::IoError;
using platform::Kind;

PageFile::PageFile(const std::string& path, Options opt)
    : path_(path), env_(opt.env ? opt.env : &platform::Env::system()), writable_(opt.writable),
      beforeWrite_(std::move(opt.beforeWrite)),
      maxDirty_(opt.maxDirtyPages ? opt.maxDirtyPages : 1), cache_(opt.cachePages) {
    platform::Env& env = *env_;
    platform::FileInfo st;
    try {
        st = env.info(path);
    } catch (const IoError& e) {
        if (e.reason == platform::Reason::pathNotFound) throw err::fileNotFound(path);
        throw err::cannotOpen(path);
    }
    if (st.kind == Kind::missing) throw err::fileNotFound(path);
    // Not even opened unless a regular file: a FIFO would wait for a writer.
    if (st.kind != Kind::regular) throw err::unrecognizedFormat(path);
    try {
        resolved_ = env.resolve(path);
    } catch (const IoError&) {
        throw err::cannotOpen(path);
    }
    // A file or folder marked read-only is not changed, even where the
    // system would let this user write it (root): not written, and no
    // journal rolled back onto it.
    bool folderReadOnly = false;
    try {
        folderReadOnly = env.info(env.folderOf(resolved_)).readOnly;
    } catch (const IoError&) {
    }
    const bool markedReadOnly = st.readOnly || folderReadOnly;
    if (writable_ && markedReadOnly) throw err::cannotOpen(path);
    // Its journal would not be found under the file's other names.
    if (writable_ && st.links > 1)
        throw err::cannotOpenBecause("Cannot open '" + path + "' for writing: the file has " + std::to_string(st.links) +
                                 " names (hard links), and the rollback journal that makes a change safe is found "
                                 "under one name only. Nothing was changed. Copy the database to a file of its own "
                                 "to change it; reading it is allowed.");
    // The journal's name can be too long for the system where the file's is
    // not: then no journal can be beside it (nothing to roll back when
    // reading), and no change can be made safe (writing is refused).
    const std::string journalPath = Journal::pathFor(resolved_);
    bool journalNamed = true;
    try {
        env.info(journalPath);
    } catch (const IoError& e) {
        if (e.reason != platform::Reason::pathNotFound) throw ioFailure(e);
        journalNamed = false;
        if (writable_)
            throw err::cannotOpenBecause("Cannot open '" + path + "' for writing: its rollback journal would be named '" + journalPath +
                                     "', which the system refuses (" + e.systemText +
                                     "). Nothing was changed. Give the database a shorter name to change it; "
                                     "reading it is allowed.");
    }
    try {
        file_ = env.open(path, writable_ ? platform::Open::readWrite : platform::Open::read);
    } catch (const IoError& e) {
        if (e.reason == platform::Reason::notFound) throw err::fileNotFound(path);
        // Another program has it open for writing (Access, on Windows). A
        // file the system keeps from writers of its own (a running program)
        // is not held by a program that could let go of it: 3051.
        if (writable_ && e.reason == platform::Reason::busy && env.inUse(path)) throw err::fileInUse(path);
        throw err::cannotOpen(path);
    }
    try {
        if (!file_->lock(writable_ ? platform::Lock::exclusive : platform::Lock::shared)) throw err::fileInUse(path);
        // Asked once the file is ours: a program that opens the database
        // from now on cannot write it (on Windows), so none slips in between.
        if (writable_ && lockFileInUse(env, path, resolved_)) throw err::fileInUse(path);
        // Looked for only once locked: a writer that died holding one has let go of its lock.
        if (journalNamed && env.info(journalPath).kind != Kind::missing) {
            // A statement was cut short: put the pages back before anything is read.
            if (!writable_) {
                if (!file_->lock(platform::Lock::exclusive)) throw err::fileInUse(path);
                std::unique_ptr<platform::File> rw;
                std::string why = markedReadOnly ? "the file or its folder is marked read-only" : "";
                if (why.empty()) {
                    try {
                        rw = env.open(path, platform::Open::readWrite);
                    } catch (const IoError& e) {
                        why = e.systemText;
                    }
                }
                if (!rw)
                    throw err::cannotOpenBecause("Cannot open '" + path + "': an interrupted change waits in the rollback journal '" + journalPath +
                                             "', and the database cannot be written to roll it back (" + why +
                                             "). Nothing was changed. Allow the database and its folder to be written, "
                                             "and open it again.");
                Journal::recover(env, resolved_, *rw);
                rw.reset();
                file_->lock(platform::Lock::shared);
            } else {
                Journal::recover(env, resolved_, *file_);
            }
        }
        const uint64_t size = file_->size();
        std::vector<uint8_t> head(kHeaderBytes);
        if (size < kHeaderBytes || file_->readAt(0, head.data(), head.size()) < head.size() || !parseHeader(head, header_))
            throw err::unrecognizedFormat(path);
        pageCount_ = uint32_t(std::min<uint64_t>(size / header_.pageSize, 0xFFFFFFu));
        if (pageCount_ < 1) throw err::unrecognizedFormat(path);
        committedPages_ = pageCount_;
    } catch (const IoError& e) {
        file_.reset();
        throw ioFailure(e);
    } catch (...) {
        file_.reset();
        throw;
    }
}

PageFile::~PageFile() {
    try {
        if (broken_.empty()) {
            if (changed()) abort();
        } else if (file_ && writable_) {
            // Closing a broken file: one attempt at the rollback, under the
            // same rules as at open, so that a journal does not sit on a
            // full disk until the next open.
            journal_.reset();
            Journal::recover(*env_, resolved_, *file_);
        }
    } catch (...) {
        // The journal stays; the next open rolls it back.
    }
}

void PageFile::checkWritable() const {
    checkUsable();
    if (!writable_) throw err::readOnly();
}

void PageFile::checkUsable() const {
    if (!broken_.empty())
        throw JetError(3043, broken_ + " The database '" + path_ +
                                 "' refuses every operation until it is closed and opened again, which rolls back the interrupted change.");
}

JetError PageFile::fail(const IoError& e, const std::string& what) {
    JetError out = ioFailure(e, what);
    broken_ = out.Description;
    return out;
}

template <class F>
void PageFile::guardWrite(F&& f) {
    try {
        f();
    } catch (const IoError& e) {
        throw fail(e, "a write to the database or its journal");
    } catch (const JetError& e) {
        if (broken_.empty()) broken_ = e.Description;
        throw;
    } catch (...) {
        if (broken_.empty()) broken_ = "a write to the database was cut short";
        throw;
    }
}

PageRef PageFile::page(uint32_t n) {
    checkUsable();
    if (auto d = dirty_.find(n); d != dirty_.end()) return d->second;
    if (PageRef cached = cache_.find(n)) return cached;
    // A miss right after the previous page is read is a scan: read a run of
    // pages in one call.
    const uint32_t run = (n == lastMiss_ + 1) ? kReadAhead : 1;
    lastMiss_ = n;
    return load(n, run);
}

PageRef PageFile::load(uint32_t n, uint32_t run) {
    if (n >= pageCount_) throw FormatError("lies beyond the end of the file (" + std::to_string(pageCount_) + " pages)", n);
    run = std::min<uint32_t>(run, pageCount_ - n);
    const size_t ps = header_.pageSize;
    // Each page is read straight into the buffer that keeps it.
    std::vector<std::shared_ptr<PageBuf>> bufs(run);
    std::vector<uint8_t*> blocks(run);
    for (uint32_t k = 0; k < run; ++k) {
        bufs[k] = cache_.fresh(ps);
        blocks[k] = bufs[k]->data();
    }
    size_t got = 0;
    try {
        got = file_->readBlocks(uint64_t(n) * ps, blocks.data(), run, ps);
    } catch (const IoError& e) {
        throw ioFailure(e);
    }
    // Read ahead may run into pages added in this transaction and not written
    // yet: those are read from memory, so only page n itself must be whole.
    if (got < ps) throw FormatError("cannot be read", n);
    run = std::min<uint32_t>(run, uint32_t(got / ps));
    PageRef first;
    for (uint32_t k = 0; k < run; ++k) {
        std::shared_ptr<PageBuf> buf = std::move(bufs[k]);
        decode(n + k, *buf);
        if (k == 0) first = buf;
        lastMiss_ = n + k;
        // A page changed in memory is newer than its bytes on disk: read
        // ahead must not cache the old ones.
        if (!dirty_.count(n + k)) cache_.put(n + k, std::move(buf));
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
    checkWritable();
    if (auto d = dirty_.find(n); d != dirty_.end()) return *d->second;
    if (dirty_.size() >= maxDirty_) spill();
    std::shared_ptr<PageBuf> copy;
    {
        const PageRef now = page(n);
        copy = cache_.fresh(now->size());
        std::memcpy(copy->data(), now->data(), now->size());
    }
    // The cache must not hand out the old bytes any more.
    cache_.erase(n);
    return *dirty_.emplace(n, std::move(copy)).first->second;
}

PageBuf& PageFile::overwrite(uint32_t n) {
    checkWritable();
    if (n >= pageCount_) throw FormatError("lies beyond the end of the file (" + std::to_string(pageCount_) + " pages)", n);
    if (auto d = dirty_.find(n); d != dirty_.end()) {
        std::fill(d->second->begin(), d->second->end(), 0);
        return *d->second;
    }
    if (dirty_.size() >= maxDirty_) spill();
    std::shared_ptr<PageBuf> blank = cache_.fresh(header_.pageSize);
    std::fill(blank->begin(), blank->end(), 0);
    cache_.erase(n);
    return *dirty_.emplace(n, std::move(blank)).first->second;
}

uint32_t PageFile::appendPage() {
    checkWritable();
    if (pageCount_ >= 0xFFFFFFu) throw err::sizeLimit();
    if (dirty_.size() >= maxDirty_) spill();
    const uint32_t n = pageCount_++;
    dirty_.emplace(n, std::make_shared<PageBuf>(header_.pageSize, 0));
    return n;
}

void PageFile::writeRun(uint32_t first, const std::vector<const PageBuf*>& pages) {
    const size_t ps = header_.pageSize;
    std::vector<const uint8_t*> blocks(pages.size());
    for (size_t k = 0; k < pages.size(); ++k) {
        if (beforeWrite_) beforeWrite_(first + uint32_t(k));
        blocks[k] = pages[k]->data();
    }
    file_->writeBlocks(uint64_t(first) * ps, blocks.data(), blocks.size(), ps);
}

void PageFile::spill() {
    checkUsable();
    if (dirty_.empty()) return;
    const size_t ps = header_.pageSize;
    if (!journal_) {
        // Nothing is written yet: a journal that cannot be made fails the
        // statement but leaves the file usable.
        try {
            journal_ = std::make_unique<Journal>(*env_, resolved_, header_.pageSize, uint64_t(committedPages_) * ps, file_->id());
        } catch (const IoError& e) {
            throw ioFailure(e);
        }
    }
    guardWrite([&] {
        // The original bytes of every page about to be overwritten for the
        // first time go to the journal, then the checksums of the bytes that
        // will replace them; the journal is synced before the database is
        // touched. Consecutive pages are read and written in runs.
        std::vector<uint32_t> order;
        order.reserve(dirty_.size());
        for (const auto& [n, buf] : dirty_) order.push_back(n);
        std::sort(order.begin(), order.end());
        std::vector<uint32_t> fresh;
        for (uint32_t n : order)
            if (n < committedPages_ && !journaled_.count(n)) fresh.push_back(n);
        std::vector<uint8_t> raw;
        for (size_t i = 0; i < fresh.size();) {
            size_t j = i + 1;
            while (j < fresh.size() && fresh[j] == fresh[j - 1] + 1 && j - i < kRunPages) ++j;
            raw.resize((j - i) * ps);
            if (file_->readAt(uint64_t(fresh[i]) * ps, raw.data(), raw.size()) < raw.size()) throw FormatError("cannot be read", fresh[i]);
            for (size_t k = i; k < j; ++k) {
                journal_->add(fresh[k], raw.data() + (k - i) * ps);
                journaled_.insert(fresh[k]);
            }
            i = j;
        }
        // The pages as they will be on disk: encoded copies when the file
        // is encoded, else the changed pages themselves.
        std::vector<std::pair<uint32_t, const PageBuf*>> onDisk;
        onDisk.reserve(order.size());
        std::deque<PageBuf> encoded;
        std::map<uint32_t, const uint8_t*> announced;
        for (uint32_t n : order) {
            const PageBuf* buf = dirty_.at(n).get();
            if (header_.encodingKey != 0) {
                encoded.push_back(*buf);
                decode(n, encoded.back());  // RC4 is its own inverse
                buf = &encoded.back();
            }
            onDisk.emplace_back(n, buf);
            if (n < committedPages_) announced.emplace(n, buf->data());
        }
        journal_->batch(announced, pageCount_);
        journal_->sync();
        std::vector<const PageBuf*> run;
        uint32_t runFirst = 0;
        for (const auto& [n, pagePtr] : onDisk) {
            const PageBuf& buf = *pagePtr;
            if (!run.empty() && (n != runFirst + run.size() || run.size() == kRunPages)) {
                writeRun(runFirst, run);
                run.clear();
            }
            if (run.empty()) runFirst = n;
            run.push_back(&buf);
        }
        if (!run.empty()) writeRun(runFirst, run);
    });
    // Written pages become ordinary cached pages again.
    auto written = std::move(dirty_);
    dirty_.clear();
    for (auto& [n, buf] : written) cache_.put(n, std::move(buf));
}

void PageFile::commit() {
    checkUsable();
    if (!changed()) return;
    spill();
    guardWrite([&] {
        file_->sync();
        journal_->remove();
    });
    journal_.reset();
    journaled_.clear();
    committedPages_ = pageCount_;
}

void PageFile::abort() {
    dirty_.clear();
    cache_.clear();
    lastMiss_ = 0xFFFFFFFFu;
    pageCount_ = committedPages_;
    checkUsable();
    if (!journal_) return;
    guardWrite([&] {
        journal_->sync();
        journal_.reset();
        journaled_.clear();
        Journal::recover(*env_, resolved_, *file_);
    });
}

}  // namespace vantrel::jet
