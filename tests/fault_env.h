// An Env for tests: wraps the real one, logs every call that changes a file,
// fails any call a test chooses (a write, sync, truncate, rename, remove;
// a full disk) and simulates power loss: from the crash on nothing reaches
// the disk, and powerLoss() puts every file it saw back as a disk would hold
// it, writes since the file's last successful sync dropped or torn sector by
// sector, names created or removed since their folder's last sync undone.
//
// Limits of the model: a rename is taken as durable at once (only output
// files use renames, and they are not power-loss tested); the file's size
// follows the writes kept.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "env.h"

namespace vantrel::test {

struct FsEvent {
    enum Op { open, write, sync, truncate, rename, remove, syncFolder } op;
    std::string path;  // resolved
    uint64_t at = 0, size = 0;
    uint64_t grows = 0;  // bytes a write adds to the file's length (what a full disk refuses)
};

class FaultEnv : public platform::Env {
public:
    explicit FaultEnv(platform::Env& real = platform::Env::system()) : real_(real) {}

    // Asked before every call that changes something; a reason makes the call
    // fail with it (and change nothing).
    std::function<std::optional<platform::Reason>(const FsEvent&)> fault;
    // Writes that lengthen a file fail with Reason::noSpace once files have
    // grown by this many bytes in all (overwriting never needs room).
    uint64_t diskFullAfter = UINT64_MAX;
    // The power goes at the n-th write or sync (counted together, from 1): that
    // call and every later change fail and reach nothing.
    int crashAt = 0;

    bool crashed() const { return crashed_; }
    int writesAndSyncs() const { return writesAndSyncs_; }
    const std::vector<FsEvent>& events() const { return events_; }
    // Events of one file, by the end of its path.
    std::vector<FsEvent> eventsOf(const std::string& suffix) const;

    // Rewrites every file seen as the disk holds it after the power loss:
    // unsynced writes all dropped (torn = false) or each 512-byte sector of
    // them kept or lost by a generator seeded with `seed`. Then the env is
    // usable again, with nothing pending.
    void powerLoss(bool torn, uint32_t seed = 1);

    std::unique_ptr<platform::File> open(const std::string& path, platform::Open mode) override;
    platform::FileInfo info(const std::string& path) override { return real_.info(path); }
    void rename(const std::string& from, const std::string& to) override;
    void renameNoReplace(const std::string& from, const std::string& to) override;
    void remove(const std::string& path) override;
    void syncFolder(const std::string& folder) override;
    std::string resolve(const std::string& path) override { return real_.resolve(path); }
    std::string folderOf(const std::string& path) override { return real_.folderOf(path); }
    bool inUse(const std::string& path) override { return real_.inUse(path); }
    uint64_t processId() override { return real_.processId(); }

    // For FaultFile.
    void beforeChange(const FsEvent& e);
    void wrote(const std::string& key, uint64_t at, const uint8_t* p, size_t n);
    void truncated(const std::string& key, uint64_t size);
    void synced(const std::string& key);
    platform::Env& real() { return real_; }

private:
    struct Pending {
        bool truncate = false;
        uint64_t at = 0;
        std::string bytes;
    };
    struct Shadow {
        bool nameDurable = true;     // the name survives a power loss
        bool removed = false;        // removed, not yet durable
        std::string durable;         // the content as of the last sync
        std::vector<Pending> pending;
    };
    Shadow& shadow(const std::string& key, bool created);
    std::string contentOf(const std::string& key);

    platform::Env& real_;
    std::map<std::string, Shadow> shadows_;
    std::vector<FsEvent> events_;
    bool crashed_ = false;
    int writesAndSyncs_ = 0;
    uint64_t written_ = 0;
};

}  // namespace vantrel::test
