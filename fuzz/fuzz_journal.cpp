// libFuzzer target: arbitrary journals beside a real database, then an open
// that must recover or refuse. Beyond crashes and sanitizer reports, a
// finding is a broken promise of recovery: a refused journal must leave both
// files exactly as they were, and an accepted one must be gone afterwards
// with the database untouched or back at its original size.
//
// The first byte chooses the form: raw bytes as the whole journal file, or a
// journal written by the engine's own Journal class from a little program of
// operations (save a page, announce a batch, write a page, damage a byte), so
// that checksums are right and the fuzzer reaches the recovery rules.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <vector>
#include <string>

#include "dao.h"
#include "error.h"
#include "journal.h"
#include "env.h"

using namespace vantrel;

namespace {

struct Setup {
    std::string dir, db, journal;
    std::string original;
    Setup() {
        dir = "/tmp/vantrel-fuzz-journal-" + std::to_string(getpid());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        db = dir + "/f.mdb";
        Database d = DBEngine::Default().CreateDatabase(db, std::string(dbLangGeneral) + ";pwd=x");
        d.Execute("CREATE TABLE T (ID COUNTER PRIMARY KEY, A TEXT(20), B LONG)");
        for (int i = 0; i < 40; ++i) d.Execute("INSERT INTO T (A, B) VALUES ('row " + std::to_string(i) + "', " + std::to_string(i) + ")");
        d.Close();
        original = read(db);
        journal = jet::Journal::pathFor(platform::Env::system().resolve(db));
    }
    static std::string read(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    // Rewrites the database in place: same file, same identity.
    void reset() const {
        std::fstream out(db, std::ios::binary | std::ios::in | std::ios::out);
        out.write(original.data(), std::streamsize(original.size()));
        out.close();
        std::filesystem::resize_file(db, original.size());
    }
};

void check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Setup s;
    if (size < 1) return 0;
    s.reset();
    std::filesystem::remove(s.journal);
    platform::Env& env = platform::Env::system();
    const size_t pages = s.original.size() / 4096;
    if (data[0] & 1) {
        std::ofstream(s.journal, std::ios::binary).write(reinterpret_cast<const char*>(data + 1), std::streamsize(size - 1));
    } else {
        auto f = env.open(s.db, platform::Open::readWrite);
        jet::Journal j(env, env.resolve(s.db), 4096, s.original.size(), f->id());
        std::map<uint32_t, std::vector<uint8_t>> fresh;
        std::vector<std::pair<size_t, uint8_t>> damage;
        for (size_t i = 1; i + 2 < size; i += 3) {
            const uint32_t page = uint32_t(data[i + 1] % (pages + 2));
            const uint8_t v = data[i + 2];
            std::vector<uint8_t> bytes(s.original.begin() + long(std::min(page, uint32_t(pages - 1)) * 4096),
                                       s.original.begin() + long((std::min(page, uint32_t(pages - 1)) + 1) * 4096));
            switch (data[i] % 5) {
                case 0: j.add(page, bytes.data()); break;
                case 1:
                    for (size_t k = v % 64; k < bytes.size(); k += 97) bytes[k] ^= v;
                    fresh[page] = bytes;
                    break;
                case 2: {
                    std::map<uint32_t, const uint8_t*> b;
                    for (auto& [p, v2] : fresh) b[p] = v2.data();
                    j.batch(b, uint32_t(pages + v % 3));
                    j.sync();
                    break;
                }
                case 3:
                    if (auto it = fresh.find(page); it != fresh.end()) f->writeAt(uint64_t(page) * 4096, it->second.data(), 4096);
                    else if (v & 1) f->writeAt(uint64_t(page % pages) * 4096 + v, &v, 1);
                    break;
                case 4: damage.emplace_back(size_t(data[i + 1]) << 8 | v, v); break;
            }
        }
        j.sync();
        std::string jb = Setup::read(s.journal);
        for (auto [at, v] : damage)
            if (!jb.empty()) jb[at % jb.size()] ^= char(v | 1);
        std::ofstream(s.journal, std::ios::binary | std::ios::trunc).write(jb.data(), std::streamsize(jb.size()));
    }
    const std::string dbBefore = Setup::read(s.db), journalBefore = Setup::read(s.journal);
    try {
        DBEngine::Default().OpenDatabase(s.db, false, false, ";pwd=x").Close();
        check(!std::filesystem::exists(s.journal));
        // Either untouched (nothing to roll back) or rolled back to the original size.
        const std::string after = Setup::read(s.db);
        check(after == dbBefore || after.size() == s.original.size());
    } catch (const JetError& e) {
        if (e.Number == 3051) {
            // Refused: neither file touched.
            check(Setup::read(s.db) == dbBefore);
            check(Setup::read(s.journal) == journalBefore);
        }
    }
    return 0;
}
