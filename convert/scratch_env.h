// The files as they are on disk, with every change kept in memory: an Env
// for running the null-fill on a database only to see what it would do.
// Reads see the disk's bytes under the writes made through this Env; files
// made here (the journal, the lock file) live only here; nothing is ever
// written, renamed or removed on disk, and no other program is kept out.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "env.h"

namespace vantrel {

class ScratchEnv : public platform::Env {
public:
    explicit ScratchEnv(platform::Env& disk = platform::Env::system()) : disk_(disk) {}
    ~ScratchEnv() override;

    std::unique_ptr<platform::File> open(const std::string& path, platform::Open mode) override;
    platform::FileInfo info(const std::string& path) override;
    void rename(const std::string& from, const std::string& to) override;
    void renameNoReplace(const std::string& from, const std::string& to) override;
    void remove(const std::string& path) override;
    void syncFolder(const std::string&) override {}
    std::string resolve(const std::string& path) override { return disk_.resolve(path); }
    std::string folderOf(const std::string& path) override { return disk_.folderOf(path); }
    bool inUse(const std::string&) override { return false; }
    uint64_t processId() override { return disk_.processId(); }

    struct Node;

private:
    // The file's state here, made from the disk's file on first use; nullptr
    // when there is no such file.
    std::shared_ptr<Node> find(const std::string& path);

    platform::Env& disk_;
    std::map<std::string, std::shared_ptr<Node>> nodes_;  // by path; a removed file stays as a missing node
    uint64_t madeHere_ = 0;
};

}  // namespace vantrel
