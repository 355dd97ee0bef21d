#include "fault_env.h"

#include <random>

namespace vantrel::test {

using platform::IoError;
using platform::Reason;

namespace {

class FaultFile : public platform::File {
public:
    FaultFile(FaultEnv& env, std::unique_ptr<platform::File> real, std::string key)
        : env_(env), real_(std::move(real)), key_(std::move(key)) {}

    size_t readAt(uint64_t at, uint8_t* p, size_t n) override { return real_->readAt(at, p, n); }
    void writeAt(uint64_t at, const uint8_t* p, size_t n) override {
        const uint64_t end = real_->size();
        env_.beforeChange({FsEvent::write, key_, at, n, at + n > end ? at + n - end : 0});
        real_->writeAt(at, p, n);
        env_.wrote(key_, at, p, n);
    }
    void append(const uint8_t* p, size_t n) override {
        const uint64_t at = real_->size();
        env_.beforeChange({FsEvent::write, key_, at, n, n});
        real_->append(p, n);
        env_.wrote(key_, at, p, n);
    }
    void sync() override {
        env_.beforeChange({FsEvent::sync, key_});
        real_->sync();
        env_.synced(key_);
    }
    void truncate(uint64_t size) override {
        env_.beforeChange({FsEvent::truncate, key_, size});
        real_->truncate(size);
        env_.truncated(key_, size);
    }
    uint64_t size() override { return real_->size(); }
    platform::FileId id() override { return real_->id(); }
    bool lock(platform::Lock kind) override { return real_->lock(kind); }
    const std::string& path() const override { return real_->path(); }

private:
    FaultEnv& env_;
    std::unique_ptr<platform::File> real_;
    std::string key_;
};

bool endsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

std::vector<FsEvent> FaultEnv::eventsOf(const std::string& suffix) const {
    std::vector<FsEvent> out;
    for (const auto& e : events_)
        if (endsWith(e.path, suffix)) out.push_back(e);
    return out;
}

void FaultEnv::beforeChange(const FsEvent& e) {
    if (crashed_) throw IoError(Reason::other, "changing '" + e.path + "'", "the power is off");
    if (e.op == FsEvent::write || e.op == FsEvent::sync) {
        ++writesAndSyncs_;
        if (crashAt > 0 && writesAndSyncs_ == crashAt) {
            crashed_ = true;
            throw IoError(Reason::other, "changing '" + e.path + "'", "the power went");
        }
    }
    if (fault)
        if (auto r = fault(e)) throw IoError(*r, "changing '" + e.path + "'", "injected fault");
    if (e.op == FsEvent::write) {
        if (written_ + e.grows > diskFullAfter) throw IoError(Reason::noSpace, "writing '" + e.path + "'", "No space left on device");
        written_ += e.grows;
    }
    events_.push_back(e);
}

std::string FaultEnv::contentOf(const std::string& key) {
    if (real_.info(key).kind != platform::Kind::regular) return {};
    auto f = real_.open(key, platform::Open::read);
    std::string s(f->size(), '\0');
    s.resize(f->readAt(0, reinterpret_cast<uint8_t*>(s.data()), s.size()));
    return s;
}

FaultEnv::Shadow& FaultEnv::shadow(const std::string& key, bool created) {
    auto it = shadows_.find(key);
    if (it != shadows_.end()) return it->second;
    Shadow s;
    if (created) {
        s.nameDurable = false;
    } else {
        s.durable = contentOf(key);
    }
    return shadows_.emplace(key, std::move(s)).first->second;
}

void FaultEnv::wrote(const std::string& key, uint64_t at, const uint8_t* p, size_t n) {
    shadow(key, false).pending.push_back({false, at, std::string(reinterpret_cast<const char*>(p), n)});
}

void FaultEnv::truncated(const std::string& key, uint64_t size) { shadow(key, false).pending.push_back({true, size, {}}); }

void FaultEnv::synced(const std::string& key) {
    Shadow& s = shadow(key, false);
    s.durable = contentOf(key);
    s.pending.clear();
}

std::unique_ptr<platform::File> FaultEnv::open(const std::string& path, platform::Open mode) {
    const std::string key = real_.resolve(path);
    if (mode == platform::Open::read) return std::make_unique<FaultFile>(*this, real_.open(path, mode), key);
    const bool exists = real_.info(path).kind != platform::Kind::missing;
    if (mode != platform::Open::readWrite) beforeChange({FsEvent::open, key});
    if (exists) {
        shadow(key, false);  // its durable content, before anything changes
    } else if (auto it = shadows_.find(key); it != shadows_.end() && it->second.removed) {
        it->second.removed = false;  // made again under a name not yet durably gone
        it->second.pending.push_back({true, 0, {}});
    }
    auto f = real_.open(path, mode);
    Shadow& s = shadow(key, !exists);
    if (exists && mode == platform::Open::createOrTruncate) s.pending.push_back({true, 0, {}});
    return std::make_unique<FaultFile>(*this, std::move(f), key);
}

void FaultEnv::rename(const std::string& from, const std::string& to) {
    const std::string kf = real_.resolve(from), kt = real_.resolve(to);
    beforeChange({FsEvent::rename, kf});
    Shadow moved = shadow(kf, false);
    real_.rename(from, to);
    shadows_.erase(kf);
    moved.nameDurable = true;
    shadows_[kt] = std::move(moved);
}

void FaultEnv::renameNoReplace(const std::string& from, const std::string& to) {
    const std::string kf = real_.resolve(from), kt = real_.resolve(to);
    beforeChange({FsEvent::rename, kf});
    Shadow moved = shadow(kf, false);
    real_.renameNoReplace(from, to);
    shadows_.erase(kf);
    moved.nameDurable = true;
    shadows_[kt] = std::move(moved);
}

void FaultEnv::remove(const std::string& path) {
    const std::string key = real_.resolve(path);
    beforeChange({FsEvent::remove, key});
    Shadow& s = shadow(key, false);
    real_.remove(path);
    s.removed = true;
}

void FaultEnv::syncFolder(const std::string& folder) {
    const std::string dir = real_.resolve(folder);
    beforeChange({FsEvent::syncFolder, dir});
    real_.syncFolder(folder);
    for (auto it = shadows_.begin(); it != shadows_.end();) {
        if (real_.folderOf(it->first) == dir) {
            if (it->second.removed) {
                it = shadows_.erase(it);  // durably gone
                continue;
            }
            it->second.nameDurable = true;
        }
        ++it;
    }
}

void FaultEnv::powerLoss(bool torn, uint32_t seed) {
    std::mt19937 rng(seed);
    for (auto& [key, s] : shadows_) {
        if (!s.nameDurable) {
            if (real_.info(key).kind != platform::Kind::missing) real_.remove(key);
            continue;
        }
        std::string content = s.durable;
        if (torn && !s.removed) {
            for (const Pending& p : s.pending) {
                if (p.truncate) {
                    if (rng() & 1) content.resize(p.at);
                    continue;
                }
                // Sector by sector, each kept or lost.
                uint64_t at = p.at;
                size_t i = 0;
                while (i < p.bytes.size()) {
                    const size_t n = std::min<size_t>(p.bytes.size() - i, 512 - at % 512);
                    if (rng() & 1) {
                        if (content.size() < at + n) content.resize(at + n, '\0');
                        content.replace(at, n, p.bytes, i, n);
                    }
                    at += n;
                    i += n;
                }
            }
        }
        auto f = real_.open(key, platform::Open::createOrTruncate);
        f->writeAt(0, reinterpret_cast<const uint8_t*>(content.data()), content.size());
        f->sync();
    }
    shadows_.clear();
    crashed_ = false;
    crashAt = 0;
}

}  // namespace vantrel::test
