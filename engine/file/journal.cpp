#include "journal.h"

#include <cstring>
#include <set>

#include "error.h"
#include "io_error.h"

namespace vantrel::jet {

using platform::IoError;

namespace {

constexpr char kMagic[16] = {'V', 'a', 'n', 't', 'r', 'e', 'l', ' ', 'j', 'o', 'u', 'r', 'n', 'a', 'l', '4'};
// Journals of earlier builds, still rolled back: without the durable length
// (3), and before the checksum took four lanes (2).
constexpr char kMagic3[16] = {'V', 'a', 'n', 't', 'r', 'e', 'l', ' ', 'j', 'o', 'u', 'r', 'n', 'a', 'l', '3'};
constexpr char kMagic2[16] = {'V', 'a', 'n', 't', 'r', 'e', 'l', ' ', 'j', 'o', 'u', 'r', 'n', 'a', 'l', '2'};
constexpr size_t kHeaderSize = 64;
constexpr size_t kDurableAt = 48;           // the durable length (journal4)
constexpr size_t kHeaderSummed = 56;        // journal4; 48 in journals 2 and 3
constexpr uint32_t kPageTag = 0x31304750;   // "PG01"
constexpr uint32_t kBatchTag = 0x31305442;  // "BT01"

void put32(std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}
void put64(std::vector<uint8_t>& v, uint64_t x) {
    for (int i = 0; i < 8; ++i) v.push_back(uint8_t(x >> (8 * i)));
}
uint64_t get64(const uint8_t* p) {
    uint64_t x = 0;
    for (int i = 7; i >= 0; --i) x = (x << 8) | p[i];
    return x;
}
uint32_t get32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

JetError refused(const std::string& journal, const std::string& db, const std::string& why) {
    return err::cannotOpenBecause("Cannot open '" + db + "': the rollback journal '" + journal + "' beside it " + why +
                                  ". Nothing was changed. If the database was restored from a backup or replaced by another "
                                  "file, move the journal away and open it again; otherwise put back the file the journal was "
                                  "made for, so that its interrupted change can be rolled back.");
}

JetError rollbackFailed(const std::string& journal, const IoError& e) {
    return ioFailure(e, "rolling back the journal '" + journal +
                            "' (it is kept, and the rollback is tried again when the database is next opened)");
}

}  // namespace

namespace {
constexpr uint64_t kMix = 0xFF51AFD7ED558CCDull;
inline uint64_t mixIn(uint64_t h, uint64_t w) {
    h = (h ^ w) * kMix;
    return h ^ (h >> 29);
}
}  // namespace

uint64_t Journal::checksum(uint64_t seed, const uint8_t* p, size_t n) {
    // Four lanes of eight bytes, each word mixed in by multiply and shift
    // (the lanes do not wait for each other), then the lanes and the tail
    // mixed into one; any torn or stale record fails it.
    const uint64_t base = 0x9E3779B97F4A7C15ull ^ (seed * 0xC2B2AE3D27D4EB4Full);
    // Four named lanes: kept in registers, each a chain of its own.
    uint64_t h0 = base, h1 = base ^ 0x243F6A8885A308D3ull, h2 = base ^ 0x13198A2E03707344ull, h3 = base ^ 0xA4093822299F31D0ull;
    size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        uint64_t w0, w1, w2, w3;
        std::memcpy(&w0, p + i, 8);
        std::memcpy(&w1, p + i + 8, 8);
        std::memcpy(&w2, p + i + 16, 8);
        std::memcpy(&w3, p + i + 24, 8);
        h0 = mixIn(h0, w0);
        h1 = mixIn(h1, w1);
        h2 = mixIn(h2, w2);
        h3 = mixIn(h3, w3);
    }
    uint64_t r = mixIn(mixIn(mixIn(h0, h1), h2), h3);
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        r = mixIn(r, w);
    }
    for (; i < n; ++i) r = mixIn(r, p[i]);
    return r ^ n;
}

uint64_t Journal::checksum2(uint64_t seed, const uint8_t* p, size_t n) {
    // One lane: eight bytes at a time, each word mixed in by multiply and shift.
    uint64_t h = 0x9E3779B97F4A7C15ull ^ (seed * 0xC2B2AE3D27D4EB4Full);
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        h = (h ^ w) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 29;
    }
    for (; i < n; ++i) {
        h = (h ^ p[i]) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 29;
    }
    return h ^ n;
}

Journal::Journal(platform::Env& env, const std::string& resolvedDbPath, uint32_t pageSize, uint64_t originalSize, platform::FileId db)
    : env_(env), path_(pathFor(resolvedDbPath)), pageSize_(pageSize), originalSize_(originalSize), db_(db) {
    try {
        file_ = env_.open(path_, platform::Open::createNew);
    } catch (const IoError& e) {
        if (e.reason == platform::Reason::exists)
            throw err::cannotOpenBecause("Cannot create the rollback journal '" + path_ +
                                     "': a journal of that name is already there and may still be needed; the "
                                     "database must be closed and opened again to roll it back.");
        throw err::cannotOpenBecause("Cannot create the rollback journal '" + path_ + "': " + e.systemText);
    }
    const std::vector<uint8_t> head = header(kHeaderSize);
    try {
        // Durable before any record: records behind a bad header are damage.
        file_->writeAt(0, head.data(), head.size());
        file_->sync();
        env_.syncFolder(env_.folderOf(path_));
    } catch (const IoError& e) {
        // Nothing was written to the database under this journal yet.
        file_.reset();
        try {
            env_.remove(path_);
        } catch (const IoError&) {
        }
        throw ioFailure(e);
    }
    end_ = durable_ = kHeaderSize;
}

std::vector<uint8_t> Journal::header(uint64_t durable) const {
    std::vector<uint8_t> head(kMagic, kMagic + 16);
    put32(head, pageSize_);
    put32(head, 0);
    put64(head, originalSize_);
    put64(head, db_.volume);
    put64(head, db_.file);
    put64(head, durable);
    put64(head, checksum(0, head.data(), kHeaderSummed));
    return head;
}

void Journal::add(uint32_t page, const uint8_t* raw) {
    put32(pending_, kPageTag);
    put32(pending_, page);
    put64(pending_, checksum(page, raw, pageSize_));
    pending_.insert(pending_.end(), raw, raw + pageSize_);
    if (pending_.size() >= kFlushBytes) flush();
}

void Journal::batch(const std::map<uint32_t, const uint8_t*>& newRaw, uint32_t pageCount) {
    const size_t start = pending_.size();
    put32(pending_, kBatchTag);
    put32(pending_, uint32_t(newRaw.size()));
    put32(pending_, pageCount);
    put32(pending_, 0);
    for (const auto& [page, raw] : newRaw) {
        put32(pending_, page);
        for (size_t s = 0; s * kSector < pageSize_; ++s) put64(pending_, checksum(sectorSeed(page, s), raw + s * kSector, kSector));
    }
    put64(pending_, checksum(kBatchTag, pending_.data() + start, pending_.size() - start));
}

void Journal::flush() {
    if (pending_.empty()) return;
    try {
        file_->writeAt(end_, pending_.data(), pending_.size());
    } catch (const IoError& e) {
        throw ioFailure(e);
    }
    end_ += pending_.size();
    pending_.clear();
}

void Journal::sync() {
    flush();
    try {
        file_->sync();
        // Only records already durable are vouched for: a crash before this
        // header is durable leaves one that vouches for less, and no page
        // was written under the records it leaves out.
        if (end_ != durable_) {
            const std::vector<uint8_t> head = header(end_);
            file_->writeAt(0, head.data(), head.size());
            file_->sync();
            durable_ = end_;
        }
    } catch (const IoError& e) {
        throw ioFailure(e);
    }
}

void Journal::remove() {
    file_.reset();
    try {
        env_.remove(path_);
        env_.syncFolder(env_.folderOf(path_));
    } catch (const IoError& e) {
        throw ioFailure(e, "deleting the journal");
    }
}

bool Journal::recover(platform::Env& env, const std::string& resolvedDbPath, platform::File& db) {
    const std::string path = pathFor(resolvedDbPath);
    if (env.info(path).kind == platform::Kind::missing) return false;
    if (env.info(path).kind != platform::Kind::regular) throw refused(path, resolvedDbPath, "is not a file");
    std::unique_ptr<platform::File> j;
    try {
        j = env.open(path, platform::Open::read);
    } catch (const IoError& e) {
        throw refused(path, resolvedDbPath, "cannot be read (" + e.systemText + ")");
    }
    try {
        const uint64_t jsize = j->size();
        uint8_t head[kHeaderSize] = {};
        const size_t got = j->readAt(0, head, kHeaderSize);
        const bool v2 = got >= 16 && std::memcmp(head, kMagic2, 16) == 0;
        const bool v3 = got >= 16 && std::memcmp(head, kMagic3, 16) == 0;
        const bool v4 = got >= 16 && std::memcmp(head, kMagic, 16) == 0;
        const bool magicOk = v2 || v3 || v4;
        const auto checksum = v2 ? &Journal::checksum2 : &Journal::checksum;
        const size_t summed = v4 ? kHeaderSummed : 48;
        bool blank = true;
        for (size_t i = 0; i < got; ++i) blank = blank && head[i] == 0;
        if (got >= 16 && !magicOk && !blank) throw refused(path, resolvedDbPath, "is not a journal this program wrote");
        if (!magicOk || got < kHeaderSize || get64(head + summed) != checksum(0, head, summed)) {
            // Records follow a header only once it was synced: with records
            // behind it, a bad header is damage, not a cut-short creation.
            if (jsize > kHeaderSize) throw refused(path, resolvedDbPath, "is damaged (its header)");
            // The header never became whole: the database was not written under it.
            j.reset();
            env.remove(path);
            env.syncFolder(env.folderOf(path));
            return true;
        }
        const uint32_t pageSize = get32(head + 16);
        const uint64_t originalSize = get64(head + 24);
        const platform::FileId made{get64(head + 32), get64(head + 40)};
        // How far records must be whole: what the header vouches for, or
        // (earlier formats) as far as they are readable.
        const uint64_t durable = v4 ? get64(head + kDurableAt) : jsize;
        if (pageSize != 2048 && pageSize != 4096) throw refused(path, resolvedDbPath, "is damaged (page size)");
        if (v4 && durable < kHeaderSize) throw refused(path, resolvedDbPath, "is damaged (its header)");
        if (v4 && durable == kHeaderSize) {
            // It never vouched for a record: no page was written under it.
            j.reset();
            env.remove(path);
            env.syncFolder(env.folderOf(path));
            return true;
        }
        if (durable > jsize)
            throw refused(path, resolvedDbPath,
                          "is cut short (" + std::to_string(jsize) + " bytes of the " + std::to_string(durable) + " it made durable)");
        if (!(db.id() == made)) throw refused(path, resolvedDbPath, "was made for another file than the one now under this name");
        const uint64_t originalPages = originalSize / pageSize;

        // Read the records: page records count once a batch follows them.
        struct Saved {
            uint64_t at;  // where its bytes lie in the journal
            uint64_t sum;
        };
        std::map<uint32_t, Saved> saved, unconfirmed;
        std::map<uint32_t, std::vector<std::vector<uint64_t>>> versions;  // page -> sector sums of each new version
        uint64_t maxSize = originalSize;
        const size_t sectors = pageSize / kSector;
        std::vector<uint8_t> buf(16 + size_t(pageSize));
        uint64_t at = kHeaderSize;
        while (at < durable) {
            uint8_t tag[16];
            if (at + 16 > durable || j->readAt(at, tag, 16) < 16) break;
            if (get32(tag) == kPageTag) {
                if (at + 16 + pageSize > durable || j->readAt(at, buf.data(), 16 + size_t(pageSize)) < 16 + pageSize) break;
                const uint32_t page = get32(buf.data() + 4);
                const uint64_t sum = get64(buf.data() + 8);
                if (sum != checksum(page, buf.data() + 16, pageSize)) break;
                if (page >= originalPages) throw refused(path, resolvedDbPath, "is damaged (a page lies beyond the original file)");
                if (!saved.count(page)) unconfirmed.emplace(page, Saved{at + 16, sum});
                at += 16 + pageSize;
            } else if (get32(tag) == kBatchTag) {
                const uint64_t count = get32(tag + 4);
                const uint64_t pages = get32(tag + 8);
                const uint64_t len = 16 + count * (4 + 8 * sectors) + 8;
                if (count > originalPages || at + len > durable) break;
                std::vector<uint8_t> rec(len);
                if (j->readAt(at, rec.data(), len) < len) break;
                if (get64(rec.data() + len - 8) != checksum(kBatchTag, rec.data(), len - 8)) break;
                for (auto& [page, s] : unconfirmed) saved.emplace(page, s);
                unconfirmed.clear();
                for (uint64_t e = 0; e < count; ++e) {
                    const uint8_t* p = rec.data() + 16 + e * (4 + 8 * sectors);
                    const uint32_t page = get32(p);
                    if (!saved.count(page)) throw refused(path, resolvedDbPath, "is damaged (a batch names a page it does not hold)");
                    std::vector<uint64_t> sums(sectors);
                    for (size_t s = 0; s < sectors; ++s) sums[s] = get64(p + 4 + 8 * s);
                    versions[page].push_back(std::move(sums));
                }
                maxSize = std::max<uint64_t>(maxSize, pages * pageSize);
                at += len;
            } else {
                break;
            }
        }
        if (v4 && at != durable)
            throw refused(path, resolvedDbPath, "is damaged (its record at byte " + std::to_string(at) + " cannot be read)");

        // The database must be in a state the journaled change can have left.
        std::vector<uint8_t> now(pageSize), old(pageSize);
        for (const auto& [page, s] : unconfirmed) {
            // Saved, but no batch announced a write: the page must be as saved,
            // else a batch record was lost and the journal cannot be trusted.
            if (db.readAt(uint64_t(page) * pageSize, now.data(), pageSize) < pageSize ||
                j->readAt(s.at, old.data(), pageSize) < pageSize || now != old)
                throw refused(path, resolvedDbPath, "is damaged: page " + std::to_string(page) +
                                                        " was changed but the journal's record of that change is unreadable");
        }
        const uint64_t size = db.size();
        if (size < originalSize || size > maxSize)
            throw refused(path, resolvedDbPath,
                          "does not fit the file's size (" + std::to_string(size) + " bytes; the journal expects " +
                              std::to_string(originalSize) + (maxSize > originalSize ? " to " + std::to_string(maxSize) : "") + ")");
        for (const auto& [page, s] : saved) {
            if (db.readAt(uint64_t(page) * pageSize, now.data(), pageSize) < pageSize)
                throw refused(path, resolvedDbPath, "names page " + std::to_string(page) + ", which the file lacks");
            if (j->readAt(s.at, old.data(), pageSize) < pageSize) throw refused(path, resolvedDbPath, "cannot be read");
            if (now == old) continue;
            const auto v = versions.find(page);
            for (size_t k = 0; k < sectors; ++k) {
                if (std::memcmp(now.data() + k * kSector, old.data() + k * kSector, kSector) == 0) continue;
                const uint64_t sum = checksum(sectorSeed(page, k), now.data() + k * kSector, kSector);
                bool known = false;
                if (v != versions.end())
                    for (const auto& sums : v->second) known = known || sums[k] == sum;
                if (!known)
                    throw refused(path, resolvedDbPath,
                                  "does not match page " + std::to_string(page) + " of the file, which holds neither its old nor its new content");
            }
        }

        // Roll back, make it durable, and only then let the journal go.
        try {
            for (const auto& [page, s] : saved) {
                j->readAt(s.at, old.data(), pageSize);
                db.writeAt(uint64_t(page) * pageSize, old.data(), pageSize);
            }
            if (size != originalSize) db.truncate(originalSize);
            db.sync();
        } catch (const IoError& e) {
            throw rollbackFailed(path, e);
        }
        j.reset();
        try {
            env.remove(path);
            env.syncFolder(env.folderOf(path));
        } catch (const IoError& e) {
            throw ioFailure(e, "deleting the journal after its rollback");
        }
        return true;
    } catch (const IoError& e) {
        throw ioFailure(e, "reading the journal '" + path + "'");
    }
}

}  // namespace vantrel::jet
