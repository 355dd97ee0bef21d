// The engine's only view of the operating system: files, folders, locks and
// durability, in the manner of LevelDB's Env. Everything above this layer
// names files by UTF-8 path and holds them as File objects; no descriptor,
// handle or system error code leaves it.
//
// Invariants the implementations keep:
// - Every failure is an IoError carrying a portable Reason and the system's
//   own text; nothing fails silently and nothing retries behind the caller.
// - write() returns only when every byte was handed to the system; sync()
//   returns only when what was written is durable (fsync / FlushFileBuffers).
// - A created, renamed or removed name is durable only after syncFolder()
//   of its folder.
// - Locks are advisory, held by the File until it is destroyed or unlocked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace vantrel::platform {

// Why a call failed, in terms every system has.
enum class Reason { notFound, pathNotFound, exists, noSpace, permission, isFolder, busy, noReader, other };

class IoError : public std::runtime_error {
public:
    IoError(Reason reason, std::string what, std::string systemText)
        : std::runtime_error(what + ": " + systemText), reason(reason), systemText(std::move(systemText)) {}
    Reason reason;
    std::string systemText;
};

// What a path names (after following symbolic links).
enum class Kind { missing, regular, folder, device, fifo, other };

// The identity of a file, stable across renames and links: device and inode
// on POSIX, volume serial number and file index on Windows.
struct FileId {
    uint64_t volume = 0;
    uint64_t file = 0;
    bool operator==(const FileId&) const = default;
};

struct FileInfo {
    Kind kind = Kind::missing;
    uint64_t size = 0;
    FileId id;
    bool readOnly = false;  // marked read-only (no write permission bits / the read-only attribute)
    uint32_t links = 1;     // names the file has (hard links)
    // The name lies in the system's own folders of devices and processes
    // (/dev, /proc), itself or through links (/dev/stdout, /dev/fd/1): what
    // it leads to belongs to a stream or another process, whatever its kind.
    bool systemName = false;
};

enum class Lock { shared, exclusive };

class File {
public:
    virtual ~File() = default;
    // Reads up to n bytes at `at`; fewer only at the end of the file.
    virtual size_t readAt(uint64_t at, uint8_t* p, size_t n) = 0;
    virtual void writeAt(uint64_t at, const uint8_t* p, size_t n) = 0;
    // The same for `count` blocks of `size` bytes lying one after the other
    // in the file at `at`, each in a buffer of its own (one call where the
    // system can; by default through one buffer and readAt/writeAt).
    // readBlocks returns the bytes read, fewer only at the end of the file.
    virtual size_t readBlocks(uint64_t at, uint8_t* const* blocks, size_t count, size_t size);
    virtual void writeBlocks(uint64_t at, const uint8_t* const* blocks, size_t count, size_t size);
    // Writes at the end (the only way to write a device or FIFO).
    virtual void append(const uint8_t* p, size_t n) = 0;
    virtual void sync() = 0;
    virtual void truncate(uint64_t size) = 0;
    virtual uint64_t size() = 0;
    virtual FileId id() = 0;
    // False when another holder's lock is in the way (never waits).
    virtual bool lock(Lock kind) = 0;
    virtual const std::string& path() const = 0;
};

enum class Open {
    read,          // existing file, reading; other programs may read and write it meanwhile
    // Existing file, reading and writing, with no other writer: on Windows no
    // other program can open it for writing while it is open (readers can),
    // and Reason::busy when one already holds it open for writing. POSIX has
    // no such mode: there the File's lock keeps writers apart.
    readWrite,
    createNew,     // a new file, reading and writing; Reason::exists if the name is taken
    createOrTruncate,  // writing, emptied
    append,        // writing at the end, created if missing; a FIFO with no reader fails with noReader
};

class Env {
public:
    virtual ~Env() = default;
    virtual std::unique_ptr<File> open(const std::string& path, Open mode) = 0;
    // What the path names; Kind::missing (and no error) when nothing is there.
    virtual FileInfo info(const std::string& path) = 0;
    // Replaces `to` if it exists.
    virtual void rename(const std::string& from, const std::string& to) = 0;
    // Gives `from` the name `to` only when `to` does not exist (Reason::exists).
    virtual void renameNoReplace(const std::string& from, const std::string& to) = 0;
    virtual void remove(const std::string& path) = 0;
    virtual void syncFolder(const std::string& folder) = 0;
    // The absolute path with every symbolic link followed; for a missing file,
    // its folder resolved and the name appended.
    virtual std::string resolve(const std::string& path) = 0;
    // The folder part of a path ("." for a bare name).
    virtual std::string folderOf(const std::string& path) = 0;
    // Whether another program holds the file (Access's lock file while the
    // database is open): on Windows, opening it exclusively fails with a
    // sharing violation; on POSIX, a process holds an fcntl or flock lock on
    // it. False when nothing is there, when it is no regular file, and when
    // this process cannot open it to ask. Changes nothing.
    virtual bool inUse(const std::string& path) = 0;
    // A number that differs between processes running at the same time (for temporary names).
    virtual uint64_t processId() = 0;

    // The real system's implementation; lives for the whole program.
    static Env& system();
};

}  // namespace vantrel::platform
