// Damaged and foreign files: every one ends in a clean JetError, never a
// crash, an endless loop or a read outside a page (the suite also runs under
// AddressSanitizer and UBSan).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>

#include "commands.h"
#include "files.h"
#include "corpus.h"
#include "write_helpers.h"
#include "dao.h"

using namespace vantrel;
using vantrel::test::TempDir;
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

TEST(BadInput, HeaderOnlyAndCutFiles) {
    REQUIRE_CORPUS("jk-V2000-test2V2000.mdb");
    TempDir dir;
    for (const char* name : {"jk-V1997-testV1997.mdb", "jk-V2000-test2V2000.mdb", "nw-lordkarnak.mdb"}) {
        std::string full = readAll(corpusFile(name));
        // Cut at page boundaries and in the middle of pages.
        for (size_t cut : {size_t(0), size_t(100), size_t(2048), size_t(4096), size_t(8192), size_t(12345), full.size() / 3,
                           full.size() / 2, full.size() - 1}) {
            writeAll(dir / "cut.mdb", full.substr(0, cut));
            long n = dumpError(dir / "cut.mdb");
            EXPECT_TRUE(n == 0 || n == 3343 || n == 3049) << name << " cut at " << cut << " gave " << n;
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
