// Damaged and foreign files: every one ends in a clean JetError, never a
// crash, an endless loop or a read outside a page (the suite also runs under
// AddressSanitizer and UBSan).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <stdexcept>

#include "built_db.h"
#include "commands.h"
#include "data_page.h"
#include "files.h"
#include "corpus.h"
#include "write_helpers.h"
#include "dao.h"

using namespace vantrel;
using vantrel::test::TempDir;
using vantrel::test::buildDb;
using vantrel::test::corpusFile;

namespace {

std::string readAll(const std::filesystem::path& p) { return vantrel::test::fileBytes(p); }

void writeAll(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

long openError(const std::filesystem::path& p, bool readOnly = true) {
    try {
        DBEngine::Default().OpenDatabase(p.string(), false, readOnly, ";pwd=bluefinchtea").Close();
        return 0;
    } catch (const JetError& e) {
        return e.Number;
    }
}

// Opens and dumps the whole file; returns 0 or the Jet error number. Any other
// exception escapes and fails the test.
long dumpError(const std::filesystem::path& p) {
    static std::FILE* sink = std::fopen("/dev/null", "w");
    try {
        runDump(p.string(), "bluefinchtea", sink);
        return 0;
    } catch (const JetError& e) {
        return e.Number;
    }
}

}  // namespace

TEST(BadInput, MissingEmptyForeignAndFolder) {
    TempDir dir;
    EXPECT_EQ(3024, openError(dir / "absent.mdb"));
    writeAll(dir / "empty.mdb", "");
    EXPECT_EQ(3343, openError(dir / "empty.mdb"));
    writeAll(dir / "text.mdb", std::string(5000, 'x'));
    EXPECT_EQ(3343, openError(dir / "text.mdb"));
    EXPECT_EQ(3343, openError(dir.path()));
    try {
        DBEngine::Default().OpenDatabase((dir / "absent.mdb").string());
    } catch (const JetError& e) {
        EXPECT_EQ("Could not find file '" + (dir / "absent.mdb").string() + "'.", e.Description);
    }
}

TEST(BadInput, NotOpenableForWritingIs3051) {
    // A running program cannot be opened for writing, even by root: this test
    // binary stands in for a file another process keeps from us.
    if (platform::FolderSeparator() != '/' || !std::filesystem::exists("/proc/self/exe"))
        GTEST_SKIP() << "skipped: no /proc (a POSIX system's view of running programs)";
    auto self = std::filesystem::read_symlink("/proc/self/exe");
    EXPECT_EQ(3051, openError(self, false));
    EXPECT_EQ(3343, openError(self, true));  // readable, but no database
}

namespace {

// What `dump` makes of a file: the Jet error number it stopped with (3343,
// 3049; 0 for none), its exit status (1: a table it could not read) and
// what it wrote.
struct Dumped {
    long error = 0;
    int status = 0;
    std::string text;
};

Dumped dumpOf(const std::filesystem::path& p, const TempDir& dir) {
    Dumped d;
    std::FILE* out = std::fopen((dir / "dump.json").string().c_str(), "wb+");
    if (!out) throw std::runtime_error("cannot write " + (dir / "dump.json").string());
    try {
        d.status = runDump(p.string(), "bluefinchtea", out);
    } catch (const JetError& e) {
        d.error = e.Number;
    }
    std::rewind(out);
    char buf[65536];
    for (size_t got; (got = std::fread(buf, 1, sizeof buf, out)) > 0;) d.text.append(buf, got);
    std::fclose(out);
    return d;
}

}  // namespace

TEST(BadInput, HeaderOnlyAndCutFiles) {
    // A file cut short is refused (3343: no database; 3049: a page it needs
    // is gone), or read whole: never read in part as if complete.
    REQUIRE_CORPUS("jk-V2000-test2V2000.mdb");
    TempDir dir;
    const std::pair<const char*, size_t> files[] = {
        {"jk-V1997-testV1997.mdb", 2048}, {"jk-V2000-test2V2000.mdb", 4096}, {"nw-lordkarnak.mdb", 4096}};
    for (const auto& [name, pageSize] : files) {
        const std::string full = readAll(corpusFile(name));
        const Dumped whole = dumpOf(corpusFile(name), dir);
        ASSERT_EQ(0, whole.error + whole.status) << name;
        // Cut at page boundaries and in the middle of pages; sixteenths of
        // the file cut tables' data pages off behind their definitions.
        std::vector<size_t> cuts = {0, 100, 2048, 4096, 8192, 12345, full.size() / 3, full.size() / 2, full.size() - 1};
        for (size_t k = 1; k < 16; ++k) cuts.push_back(full.size() / pageSize * k / 16 * pageSize);
        for (size_t cut : cuts) {
            writeAll(dir / "cut.mdb", full.substr(0, cut));
            const Dumped d = dumpOf(dir / "cut.mdb", dir);
            const bool refused = d.error == 3343 || d.error == 3049 || (d.error == 0 && d.status == 1);
            EXPECT_TRUE(refused || (d.error == 0 && d.status == 0 && d.text == whole.text))
                << name << " cut at " << cut << " gave " << d.error << ", status " << d.status
                << (d.error == 0 && d.status == 0 ? ": read in part as if complete" : "");
        }
    }
}

TEST(BadInput, RandomDamageNeverCrashes) {
    REQUIRE_CORPUS("jk-V1997-testIndexCodesV1997.mdb");
    TempDir dir;
    std::mt19937 rng(20261208);  // fixed: the same damage every run
    for (const char* name : {"jk-V1997-testIndexCodesV1997.mdb", "jk-V2000-test2V2000.mdb", "jk-V2000-overflowTestV2000.mdb"}) {
        const std::string full = readAll(corpusFile(name));
        for (int round = 0; round < 60; ++round) {
            std::string bytes = full;
            int hits = 1 + int(rng() % 64);
            for (int k = 0; k < hits; ++k) {
                size_t at = 4096 + rng() % (bytes.size() - 4096);  // keep the header readable
                bytes[at] = char(rng() % 4 == 0 ? 0xFF : rng());
            }
            writeAll(dir / "bad.mdb", bytes);
            long n = dumpError(dir / "bad.mdb");
            EXPECT_TRUE(n == 0 || n == 3049 || n == 3343) << name << " round " << round << " gave " << n;
        }
    }
}

TEST(BadInput, DefinitionPageCycleIsDamage) {
    REQUIRE_CORPUS("jk-V2000-delTestV2000.mdb");
    TempDir dir;
    std::string bytes = readAll(corpusFile("jk-V2000-delTestV2000.mdb"));
    // Point the catalog's definition page (2) at itself as its continuation.
    bytes[2 * 4096 + 4] = 2;
    bytes[2 * 4096 + 5] = bytes[2 * 4096 + 6] = bytes[2 * 4096 + 7] = 0;
    writeAll(dir / "cycle.mdb", bytes);
    EXPECT_EQ(3049, openError(dir / "cycle.mdb"));
}

namespace {

// Overwrites the first 8-byte run equal to `from` on a data page of `db`.
void replaceStoredDouble(const std::filesystem::path& db, double from, double to) {
    std::string bytes = readAll(db);
    const std::string old(reinterpret_cast<const char*>(&from), 8), now(reinterpret_cast<const char*>(&to), 8);
    const size_t at = bytes.find(old, 4096);
    ASSERT_NE(std::string::npos, at);
    bytes.replace(at, 8, now);
    writeAll(db, bytes);
}

}  // namespace

// A stored date outside the years 100-9999 (written by another tool, or
// damage) is an error naming table and column when read, never a value
// that fails later where nobody knows where it came from.
TEST(BadInput, StoredDatesOutsideTheCalendarNameTableAndColumn) {
    struct Case {
        double stored;
        bool readable;
    };
    const Case cases[] = {
        {3.0e6, false},         // after 9999
        {-700000, false},       // before 100
        {std::nan(""), false},  // no number
        {HUGE_VAL, false},      // no number
        {-657434.5, true},      // 100-01-01 12:00
        {2958465.75, true},     // 9999-12-31 18:00
    };
    TempDir dir;
    for (const Case& c : cases) {
        const auto db = dir / "dates.mdb";
        std::filesystem::remove(db);
        buildDb(db, {"CREATE TABLE Visits (ID LONG, [When] DATETIME)", "INSERT INTO Visits VALUES (1, #2024-05-01#)"});
        replaceStoredDouble(db, 45413.0, c.stored);
        Database d = DBEngine::Default().OpenDatabase(db.string(), false, true, ";pwd=bluefinchtea");
        Recordset rs = d.OpenRecordset("Visits");
        try {
            const Variant v = rs.Fields().Item("When").Value();
            EXPECT_TRUE(c.readable) << c.stored << " was read";
            EXPECT_EQ(c.stored, v.asDouble());
        } catch (const JetError& e) {
            EXPECT_FALSE(c.readable) << c.stored << ": " << e.Description;
            EXPECT_EQ(6, e.Number);
            EXPECT_NE(std::string::npos, e.Description.find("table 'Visits', column 'When'")) << e.Description;
        }
        EXPECT_EQ(1, rs.Fields().Item("ID").Value().asInt());  // the other columns stay readable
    }
}

// A long-value chain that leads back to a row it has been through is damage
// (3049 naming table and page), not a value read round and round to its length.
TEST(BadInput, LongValueChainThatLoopsIsDamage) {
    TempDir dir;
    const auto db = dir / "loop.mdb";
    std::string hex;
    for (int k = 0; k < 24000; ++k) hex += "0123456789ABCDEF"[(k * 7) % 16];
    buildDb(db, {"CREATE TABLE Pictures (ID LONG, Img LONGBINARY)", "INSERT INTO Pictures VALUES (1, 0x" + hex + ")"});
    uint32_t first = 0;  // the chain's first row, as a packed pointer
    {
        jet::PageFile::Options opt;
        opt.writable = true;
        jet::PageFile f(db.string(), opt);
        const jet::Layout l = jet::Layout::forFormat(f.jet3());
        // The chain's rows: each starts with the packed pointer to the next.
        std::map<uint32_t, uint32_t> next;  // row -> next row
        std::map<uint32_t, size_t> offset;  // row -> where it starts in its page
        for (uint32_t n = 1; n < f.pageCount(); ++n) {
            jet::PageRef p = f.page(n);
            jet::Bytes pb(p->data(), p->size());
            if (pb.u8(0) != 0x01 || std::memcmp(p->data() + 4, "LVAL", 4) != 0) continue;
            for (unsigned r = 0; r < jet::slotCount(l, pb); ++r) {
                const jet::RowSlot s = jet::slotAt(l, pb, r);
                if (s.deleted) continue;
                next[(n << 8) | r] = pb.u32(s.start);
                offset[(n << 8) | r] = s.start;
            }
        }
        ASSERT_GE(next.size(), 3u);
        for (auto [row, to] : next) {
            bool pointedAt = false;
            for (auto [other, to2] : next) pointedAt |= to2 == row;
            if (!pointedAt) first = row;
        }
        ASSERT_NE(0u, first);
        // The second row leads back to the first: the value needs more rows
        // than the loop has, so a reader that does not notice goes round it.
        const uint32_t second = next[first];
        uint8_t* at = f.modify(second >> 8).data() + offset[second];
        for (int b = 0; b < 4; ++b) at[b] = uint8_t(first >> (8 * b));
        f.commit();
    }
    Database d = DBEngine::Default().OpenDatabase(db.string(), false, true, ";pwd=bluefinchtea");
    Recordset rs = d.OpenRecordset("Pictures");
    try {
        rs.Fields().Item("Img").Value();
        FAIL() << "a looping chain was read";
    } catch (const JetError& e) {
        EXPECT_EQ(3049, e.Number);
        EXPECT_NE(std::string::npos, e.Description.find("table 'Pictures', column 'Img'")) << e.Description;
        EXPECT_NE(std::string::npos, e.Description.find("comes back to page " + std::to_string(first >> 8))) << e.Description;
    }
}
