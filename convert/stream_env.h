// The script file sent to a stream instead of a file (`script -o -`): an Env
// in which every file opened for appending is that one stream, as the C
// library holds it (standard output, in binary mode on every system). Lines
// reach the stream in order and a failed write is the script writer's error
// (61 for a full disk), as for a file; nothing is ever opened, renamed or
// removed by name through it.
#pragma once

#include <cstdio>
#include <string>

#include "env.h"

namespace vantrel {

class StreamEnv : public platform::Env {
public:
    // `name` is what errors call the stream ("standard output").
    StreamEnv(std::FILE* stream, std::string name) : stream_(stream), name_(std::move(name)) {}

    std::unique_ptr<platform::File> open(const std::string& path, platform::Open mode) override;
    platform::FileInfo info(const std::string&) override;
    void rename(const std::string& from, const std::string& to) override;
    void renameNoReplace(const std::string& from, const std::string& to) override;
    void remove(const std::string& path) override;
    void syncFolder(const std::string&) override {}
    std::string resolve(const std::string& path) override { return path; }
    std::string folderOf(const std::string&) override { return "."; }
    bool inUse(const std::string&) override { return false; }  // nothing is opened by name
    uint64_t processId() override { return platform::Env::system().processId(); }

    // Bytes the stream has taken so far.
    uint64_t written() const { return written_; }

private:
    std::FILE* stream_;
    std::string name_;
    uint64_t written_ = 0;
};

}  // namespace vantrel
