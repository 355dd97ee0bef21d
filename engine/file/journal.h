// The rollback journal: how a change to a database is made safe.
//
// THE WRITE PATH
// A statement changes pages in memory (PageFile::modify). When too many are
// held, or when the statement commits, they are spilled:
//   1. The original bytes of every page about to be overwritten for the
//      first time in this statement are appended to the journal, one page
//      record each.
//   2. A batch record follows: for every journaled page about to be written,
//      the checksums of its new bytes (one per 512-byte sector), and the page
//      count the file will have once the batch is written.
//   3. The journal is synced; then its header is given the journal's new
//      length (the records it now vouches for) and synced again. Only then
//      is any database page written.
// Commit: the database is synced, then the journal is deleted and its folder
// synced. Until that folder sync the statement may still be rolled back; the
// database is then in its state before the statement, never a mix.
//
// THE FILE (all numbers little-endian)
//   header, 64 bytes: "Vantrel journal4" (16), page size (4), 0 (4), size of
//     the database before the statement (8), the database's identity: volume
//     (8) and file number (8) as the platform reports them, the length of
//     the journal made durable so far (8; 64 until the first records are
//     synced), then a checksum of the 56 bytes before it (8). The header is
//     rewritten in place (one sector) after every sync of records.
//   page record:  'P','G','0','1', page number (4), checksum of number and
//     bytes (8), the page's original bytes as on disk (page size).
//   batch record: 'B','T','0','1', entry count (4), page count after the
//     batch (4), 0 (4), per entry the page number (4) then one checksum per
//     512-byte sector of its new bytes (8 each), then a checksum of the whole
//     record (8).
//   Checksums are Journal::checksum (four lanes). Journals of earlier
//   builds are rolled back too: "Vantrel journal3" has no length field (its
//   checksum covers the first 48 bytes and sits at byte 48), and
//   "Vantrel journal2" is the same with the one-lane checksum2.
// The journal is named after the database's resolved path (symbolic links
// followed) plus "-journal", so that every name of a file finds it. It is
// created anew for every statement that spills and never truncated or
// overwritten: a journal already there when a new one is needed is one that
// may still be needed, and the change is refused.
//
// THE RULES OF RECOVERY
// The header says how much of the journal was made durable before any page
// of the database was written. A header still saying 64 vouches for nothing:
// no page was written under it, and the journal is deleted. Otherwise every
// record up to that length must be there and pass its checksum; a journal
// cut short or with a damaged record there is damage, refused like a damaged
// header. Records beyond that length were written after the last sync that
// counted: no page was written for them, and they are ignored. (Journals of
// earlier builds, which do not record their length, are read up to the first
// record that is cut short or fails its checksum.) Page records not followed
// by a valid batch record are ignored: the database was not written for them
// (the journal was synced before). The rollback happens only when all of
// this holds:
//   - the database is the file the journal was made for (same identity);
//   - its size lies between the original size and the largest page count a
//     batch announced;
//   - every journaled page holds, sector by sector, either its original
//     bytes or bytes of one of the versions a batch announced for it.
// Then every journaled page gets its original bytes back, the file is cut to
// its original size and synced, and only then is the journal deleted (and its
// folder synced). Anything else is refused with a JetError naming the
// journal and saying what to do; neither file is touched. A journal whose
// header never became whole (a crash while it was being made) protects no
// change: it is deleted. (A journal cut short inside its own header cannot
// be told from one whose making was cut short; nothing else is guessed.)
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "env.h"

namespace vantrel::jet {

class Journal {
public:
    static constexpr size_t kSector = 512;

    // `resolvedDbPath` as given by Env::resolve.
    static std::string pathFor(const std::string& resolvedDbPath) { return resolvedDbPath + "-journal"; }

    // Creates the journal with its header, durable (file and folder).
    // JetError 3051 when it cannot be created or one is already there.
    Journal(platform::Env& env, const std::string& resolvedDbPath, uint32_t pageSize, uint64_t originalSize,
            platform::FileId db);
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Buffers the original (on-disk) bytes of one page.
    void add(uint32_t page, const uint8_t* raw);
    // Buffers a batch record: the new on-disk bytes of journaled pages about
    // to be written, and the file's page count after the batch.
    void batch(const std::map<uint32_t, const uint8_t*>& newRaw, uint32_t pageCount);
    // Writes what is buffered, makes it durable, then makes the header
    // vouch for it (synced again).
    void sync();
    // Deletes the journal (the database is synced): the statement is done.
    void remove();

    const std::string& path() const { return path_; }

    // Restores the database `db` (open for writing) from its journal, by the
    // rules above. Returns false when there is no journal. JetError 3051 when
    // the journal does not fit the file (nothing touched), 3043 when the
    // rollback itself fails (the journal stays).
    static bool recover(platform::Env& env, const std::string& resolvedDbPath, platform::File& db);

    static uint64_t checksum(uint64_t seed, const uint8_t* p, size_t n);
    // The seed of the checksum of one sector of a page's new bytes.
    static uint64_t sectorSeed(uint32_t page, size_t sector) { return (uint64_t(page) << 16) | 0x8000u | sector; }
    // The checksum of journals whose header says "journal2" (one lane).
    static uint64_t checksum2(uint64_t seed, const uint8_t* p, size_t n);

private:
    static constexpr size_t kFlushBytes = 1 << 20;  // records go to the file in batches of this size
    void flush();
    // The header vouching for the first `durable` bytes of the journal.
    std::vector<uint8_t> header(uint64_t durable) const;

    platform::Env& env_;
    std::string path_;
    std::unique_ptr<platform::File> file_;
    uint32_t pageSize_;
    uint64_t originalSize_;
    platform::FileId db_;
    uint64_t end_ = 0;
    uint64_t durable_ = 0;  // what the header on disk vouches for
    std::vector<uint8_t> pending_;
};

}  // namespace vantrel::jet
