#include "scratch_env.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace vantrel {

using platform::IoError;
using platform::Reason;

// One file: the disk's bytes (up to `diskLimit`) with the blocks written
// here laid over them. Invariant: a block in `blocks` holds the whole
// block's bytes as this Env sees them.
struct ScratchEnv::Node {
    static constexpr uint64_t kBlock = 4096;
    std::unique_ptr<platform::File> disk;  // nullptr for a file made here
    uint64_t diskLimit = 0;
    uint64_t size = 0;
    bool missing = false;
    platform::FileId id;
    std::map<uint64_t, std::vector<uint8_t>> blocks;

    // The bytes of block `b` as they stand.
    void load(uint64_t b, uint8_t* out) {
        std::memset(out, 0, kBlock);
        const uint64_t at = b * kBlock;
        if (disk && at < diskLimit) disk->readAt(at, out, size_t(std::min<uint64_t>(kBlock, diskLimit - at)));
    }
    size_t read(uint64_t at, uint8_t* p, size_t n) {
        if (at >= size) return 0;
        n = size_t(std::min<uint64_t>(n, size - at));
        std::vector<uint8_t> scratch;
        for (size_t done = 0; done < n;) {
            const uint64_t b = (at + done) / kBlock, from = (at + done) % kBlock;
            const size_t take = size_t(std::min<uint64_t>(kBlock - from, n - done));
            auto it = blocks.find(b);
            if (it != blocks.end()) {
                std::memcpy(p + done, it->second.data() + from, take);
            } else {
                scratch.resize(kBlock);
                load(b, scratch.data());
                std::memcpy(p + done, scratch.data() + from, take);
            }
            done += take;
        }
        return n;
    }
    void write(uint64_t at, const uint8_t* p, size_t n) {
        for (size_t done = 0; done < n;) {
            const uint64_t b = (at + done) / kBlock, from = (at + done) % kBlock;
            const size_t take = size_t(std::min<uint64_t>(kBlock - from, n - done));
            auto [it, added] = blocks.try_emplace(b);
            if (added) {
                it->second.resize(kBlock);
                load(b, it->second.data());
            }
            std::memcpy(it->second.data() + from, p + done, take);
            done += take;
        }
        size = std::max<uint64_t>(size, at + n);
    }
    void truncate(uint64_t to) {
        diskLimit = std::min(diskLimit, to);
        for (auto it = blocks.lower_bound(to / kBlock); it != blocks.end();) {
            const uint64_t start = it->first * kBlock;
            if (start >= to) {
                it = blocks.erase(it);
            } else {
                std::fill(it->second.begin() + ptrdiff_t(to - start), it->second.end(), uint8_t(0));
                ++it;
            }
        }
        size = to;
    }
};

namespace {

class ScratchFile : public platform::File {
public:
    ScratchFile(std::shared_ptr<ScratchEnv::Node> node, std::string path) : node_(std::move(node)), path_(std::move(path)) {}
    size_t readAt(uint64_t at, uint8_t* p, size_t n) override { return node_->read(at, p, n); }
    void writeAt(uint64_t at, const uint8_t* p, size_t n) override { node_->write(at, p, n); }
    void append(const uint8_t* p, size_t n) override { node_->write(node_->size, p, n); }
    void sync() override {}
    void truncate(uint64_t size) override { node_->truncate(size); }
    uint64_t size() override { return node_->size; }
    platform::FileId id() override { return node_->id; }
    bool lock(platform::Lock) override { return true; }
    const std::string& path() const override { return path_; }

private:
    std::shared_ptr<ScratchEnv::Node> node_;
    std::string path_;
};

}  // namespace

ScratchEnv::~ScratchEnv() = default;

std::shared_ptr<ScratchEnv::Node> ScratchEnv::find(const std::string& path) {
    if (auto it = nodes_.find(path); it != nodes_.end()) return it->second->missing ? nullptr : it->second;
    const platform::FileInfo disk = disk_.info(path);
    if (disk.kind != platform::Kind::regular) return nullptr;
    auto node = std::make_shared<Node>();
    node->disk = disk_.open(path, platform::Open::read);
    node->diskLimit = node->size = node->disk->size();
    node->id = disk.id;
    nodes_[path] = node;
    return node;
}

std::unique_ptr<platform::File> ScratchEnv::open(const std::string& path, platform::Open mode) {
    using platform::Open;
    std::shared_ptr<Node> node = find(path);
    if (node && mode == Open::createNew) throw IoError(Reason::exists, "cannot create " + path, "it exists");
    if (!node) {
        if (mode == Open::read || mode == Open::readWrite) throw IoError(Reason::notFound, "cannot open " + path, "no such file");
        node = std::make_shared<Node>();
        node->id = {~uint64_t(0), ++madeHere_};
        nodes_[path] = node;
    }
    if (mode == Open::createOrTruncate) node->truncate(0);
    return std::make_unique<ScratchFile>(node, path);
}

platform::FileInfo ScratchEnv::info(const std::string& path) {
    if (auto it = nodes_.find(path); it != nodes_.end()) {
        platform::FileInfo i;
        if (it->second->missing) return i;
        i.kind = platform::Kind::regular;
        i.size = it->second->size;
        i.id = it->second->id;
        return i;
    }
    platform::FileInfo i = disk_.info(path);
    i.readOnly = false;  // nothing reaches the disk: everything here may be written
    return i;
}

void ScratchEnv::rename(const std::string& from, const std::string& to) {
    std::shared_ptr<Node> node = find(from);
    if (!node) throw IoError(Reason::notFound, "cannot rename " + from, "no such file");
    nodes_[to] = node;
    auto gone = std::make_shared<Node>();
    gone->missing = true;
    nodes_[from] = gone;
}

void ScratchEnv::renameNoReplace(const std::string& from, const std::string& to) {
    if (find(to)) throw IoError(Reason::exists, "cannot rename to " + to, "it exists");
    rename(from, to);
}

void ScratchEnv::remove(const std::string& path) {
    if (!find(path)) throw IoError(Reason::notFound, "cannot remove " + path, "no such file");
    auto gone = std::make_shared<Node>();
    gone->missing = true;
    nodes_[path] = gone;
}

}  // namespace vantrel
