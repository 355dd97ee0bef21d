// The database file as a sequence of fixed-size pages, read through a small
// LRU cache so that memory stays flat whatever the file's size. Encoded pages
// are decoded on the way in.
//
// THE STATES OF THE PAGE FILE (how a change is made safe: journal.h)
//   clean     no change pending; the file on disk is a committed state.
//   changing  modify()/appendPage() hold changed pages in memory; nothing on
//             disk differs yet.
//   spilled   some changed pages were written after the journal holding
//             their original bytes was synced; the journal exists on disk.
//   broken    a write, sync, truncate, journal operation or rollback failed.
//             The file on disk is whatever the failure left, and the journal
//             (if any) is kept as it is: every further call (page, modify,
//             appendPage, commit, abort) is refused with error 3043 without
//             touching either file. Closing the file tries the rollback
//             once (under the rules of recovery); if that fails too, opening
//             the database again rolls the journal back.
// commit() goes changing/spilled -> clean: spill, sync the database, delete
// the journal. abort() goes changing/spilled -> clean by dropping the pages in
// memory and rolling back the journal. Any failure on the way -> broken,
// except a journal that cannot be made at the first spill: nothing has been
// written then, so the statement fails and the file stays usable.
// Opening a file with a journal beside it (named after the resolved path)
// rolls it back first, under the rules in journal.h; a journal that does not
// fit the file is refused (3051) and neither file is touched. A file or
// folder marked read-only is never written, not even to roll a journal back
// (3051), whatever the system would allow. Writing is refused (3051) for a
// file with more than one name (hard links: a journal made under one name is
// not found under another) and for a name whose journal's name the system
// refuses (too long); such a name cannot have a journal, so it is read as it is.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "bytes.h"
#include "header.h"
#include "error.h"
#include "env.h"
#include "page_cache.h"

namespace vantrel::jet {

class Journal;

class PageFile {
public:
    struct Options {
        bool writable = false;
        size_t cachePages = 1024;
        // Called before every page written to the database file; tests use
        // it to inject failures and crashes.
        std::function<void(uint32_t page)> beforeWrite;
        // Changed pages held in memory before they are spilled (journaled,
        // then written) in the middle of a statement.
        size_t maxDirtyPages = 2048;
        // The system underneath; the real one unless a test passes its own.
        platform::Env* env = nullptr;
    };

    // Opens and checks the header, holding an OS lock (exclusive for
    // writing, shared for reading) for as long as the file is open, and
    // rolls back a journal a crash left behind. For writing, no other
    // program may write the file meanwhile (platform::Open::readWrite), and
    // none may have it open: neither for writing nor through Access's lock
    // file (lock_file.h). Raises JetError 3024 (missing), 3045 (in use:
    // nothing is changed), 3051 (cannot open as asked) or 3343 (not a Jet
    // database).
    PageFile(const std::string& path, Options opt);
    ~PageFile();
    PageFile(const PageFile&) = delete;
    PageFile& operator=(const PageFile&) = delete;

    const std::string& path() const { return path_; }
    const Header& header() const { return header_; }
    uint32_t pageSize() const { return header_.pageSize; }
    uint32_t pageCount() const { return pageCount_; }
    bool jet3() const { return header_.jet3(); }
    bool writable() const { return writable_; }
    // The reason every call is refused, "" while the file is usable.
    const std::string& broken() const { return broken_; }

    // Page n, decoded. FormatError when n lies outside the file.
    PageRef page(uint32_t n);

    // ---- Changes. Every change belongs to the open transaction (one
    // statement); commit() makes it durable, abort() undoes it.

    // A writable copy of page n, kept in memory until the transaction spills
    // or commits. The reference stays valid until the next call on this file.
    PageBuf& modify(uint32_t n);
    // The same for a page about to be written whole: zero-filled, its old
    // bytes not copied (the journal still saves them from the disk).
    PageBuf& overwrite(uint32_t n);
    // A new, zero-filled page at the end of the file.
    uint32_t appendPage();
    bool changed() const { return !dirty_.empty() || journal_ != nullptr; }
    void commit();
    void abort();

private:
    void spill();
    void checkUsable() const;
    void checkWritable() const;  // and open for writing (3027)
    // Runs a step that writes; any failure leaves the file broken.
    template <class F> void guardWrite(F&& f);
    JetError fail(const platform::IoError& e, const std::string& what);
    // Writes consecutive pages starting at `first` in one call.
    void writeRun(uint32_t first, const std::vector<const PageBuf*>& pages);
    static constexpr size_t kRunPages = 64;
    static constexpr uint32_t kReadAhead = 16;
    PageRef load(uint32_t n, uint32_t run);
    void decode(uint32_t n, PageBuf& buf) const;

    std::string path_;
    std::string resolved_;  // the path with symbolic links followed: names the journal
    platform::Env* env_;
    std::unique_ptr<platform::File> file_;
    std::string broken_;
    bool writable_ = false;
    Header header_;
    uint32_t pageCount_ = 0;
    uint32_t lastMiss_ = 0xFFFFFFFFu;

    std::function<void(uint32_t)> beforeWrite_;
    size_t maxDirty_;
    std::unordered_map<uint32_t, std::shared_ptr<PageBuf>> dirty_;  // asked on every page(): hashed; spill() sorts
    std::unordered_set<uint32_t> journaled_;
    std::unique_ptr<Journal> journal_;
    uint32_t committedPages_ = 0;  // page count when the transaction began
    PageCache cache_;
};

}  // namespace vantrel::jet
