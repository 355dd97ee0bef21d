// The rollback journal beside a database being changed: the original bytes
// of every page before its first change in a statement, made durable before
// the database itself is written. A journal left behind by a crash is rolled
// back when the database is next opened.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel::jet {

class Journal {
public:
    static std::string pathFor(const std::string& dbPath) { return dbPath + "-journal"; }

    // Creates the journal with its header. JetError when it cannot be created.
    Journal(const std::string& dbPath, uint32_t pageSize, uint64_t originalSize);
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Buffers the original (on-disk) bytes of one page.
    void add(uint32_t page, const uint8_t* raw);
    // Writes what is buffered and makes it durable.
    void sync();
    // Deletes the journal: the statement is done.
    void remove();

    uint64_t originalSize() const { return originalSize_; }

    // Restores the database from a leftover journal through `dbFd` (open for
    // writing): every complete record goes back, the file is cut to its
    // original size, synced, and the journal deleted. Returns false when
    // there was no journal.
    static bool recover(const std::string& dbPath, int dbFd);

private:
    static constexpr size_t kFlushBytes = 1 << 20;  // records go to the file in batches of this size
    void flush();

    std::string path_;
    int fd_ = -1;
    uint32_t pageSize_;
    uint64_t originalSize_;
    std::vector<uint8_t> pending_;
};

// Makes a folder entry (a created or deleted file) durable.
void syncFolderOf(const std::string& path);

}  // namespace vantrel::jet
