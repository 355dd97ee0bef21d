// Crash safety and file safety of the write path: a process killed at any
// page write, an I/O error at any page write, a second writer, read-only files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "converter.h"
#include "built_db.h"
#include "journal.h"
#include "write_helpers.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

class Silent : public MessageSink {
public:
    void Show(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

// Runs the whole null-fill on `path` with `engine`.
void nullFill(const std::filesystem::path& path, const DBEngine& engine) {
    Silent sink;
    Converter conv(sink);
    conv.dbSrc = openWritable(path, engine);
    conv.MainSub(conv.dbSrc);
    conv.dbSrc.Close();
}

struct Reference {
    std::set<std::string> states;  // the file after each committed statement, and before any
    int writes = 0;                // page writes of the whole pass
};

// The pass done once with nothing going wrong, keeping every committed state.
Reference reference(const std::string& name, const TempDir& dir) {
    Reference ref;
    auto path = dir / ("ref-" + name);
    std::filesystem::copy_file(corpusFile(name), path);
    std::filesystem::permissions(path, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    ref.states.insert(fileBytes(path));
    DBEngine engine;
    engine.SetWriteHook([&](uint32_t) { ++ref.writes; });
    Silent sink;
    Converter conv(sink);
    conv.dbSrc = openWritable(path, engine);
    // Before each column's statement, the previous one has committed.
    conv.onProgress([&](const std::string&, const std::string&) { ref.states.insert(fileBytes(path)); });
    conv.MainSub(conv.dbSrc);
    conv.dbSrc.Close();
    ref.states.insert(fileBytes(path));
    return ref;
}

}  // namespace

class CrashAtEveryWrite : public ::testing::TestWithParam<const char*> {};

TEST_P(CrashAtEveryWrite, ReopenedFileIsABeforeOrAfterState) {
    const std::string name = GetParam();
    REQUIRE_CORPUS(name);
    TempDir dir;
    Reference ref = reference(name, dir);
    ASSERT_GT(ref.writes, 0);
    const std::string finalState = fileBytes(dir / ("ref-" + name));
    int recovered = 0;
    for (int k = 1; k <= ref.writes; ++k) {
        auto path = dir / name;
        std::filesystem::remove(path);
        std::filesystem::remove(jet::Journal::pathFor(path.string()));
        std::filesystem::copy_file(corpusFile(name), path);
        std::filesystem::permissions(path, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
        // The process dies at its k-th page write, with no cleanup at all.
        ASSERT_EQ(42, dieAtWrite(k, [&](const DBEngine& engine) { nullFill(path, engine); })) << "k=" << k;
        // Opening rolls back what the journal holds.
        DBEngine::Default().OpenDatabase(path.string(), false, false, ";pwd=bluefinchtea").Close();
        EXPECT_FALSE(std::filesystem::exists(jet::Journal::pathFor(path.string())));
        const std::string now = fileBytes(path);
        EXPECT_TRUE(ref.states.count(now)) << name << ": crash at write " << k << " left a state no statement boundary had";
        EXPECT_INDEXES_CONSISTENT(path);
        // Running the pass again from there reaches the same result.
        nullFill(path, DBEngine::Default());
        EXPECT_EQ(finalState, fileBytes(path)) << "k=" << k;
        ++recovered;
    }
    RecordProperty("crash_points", recovered);
    std::printf("%s: %d crash points, all recovered\n", name.c_str(), recovered);
}

INSTANTIATE_TEST_SUITE_P(Corpus, CrashAtEveryWrite,
                         ::testing::Values("jk-V2000-overflowTestV2000.mdb", "jk-V2000-testIndexPropertiesV2000.mdb",
                                           "jk-V1997-testIndexCodesV1997.mdb", "jk-V2003-test2V2003.mdb",
                                           "nw-lordkarnak.mdb"));

TEST(IoErrors, AFailedWriteLeavesTheStatementUndone) {
    REQUIRE_CORPUS("jk-V2000-testIndexPropertiesV2000.mdb");
    TempDir dir;
    const std::string sql = "update TableIgnoreNulls2 set  data2=0 where isnull(data2)";
    int writes = 0;
    {
        auto path = copyCorpus("jk-V2000-testIndexPropertiesV2000.mdb", dir);
        DBEngine counting;
        counting.SetWriteHook([&](uint32_t) { ++writes; });
        Database db = openWritable(path, counting);
        db.Execute(sql);
        db.Close();
        std::filesystem::remove(path);
    }
    ASSERT_GT(writes, 1);
    const std::string original = fileBytes(corpusFile("jk-V2000-testIndexPropertiesV2000.mdb"));
    for (int k = 1; k <= writes; ++k) {
        auto path = copyCorpus("jk-V2000-testIndexPropertiesV2000.mdb", dir);
        DBEngine failing;
        int n = 0;
        failing.SetWriteHook([&](uint32_t) {
            if (++n == k) throw JetError(3043, "Disk or network error. (injected)");
        });
        Database db = openWritable(path, failing);
        EXPECT_EQ(3043, jetErrorOf([&] { db.Execute(sql); })) << "k=" << k;
        // The same handle goes on working: the statement left nothing behind.
        auto values = columnValues(db, "TableIgnoreNulls2", "data2");
        EXPECT_EQ(2, std::count_if(values.begin(), values.end(), [](const Variant& v) { return v.isNull(); }));
        db.Close();
        EXPECT_FALSE(std::filesystem::exists(jet::Journal::pathFor(path.string())));
        EXPECT_EQ(original, fileBytes(path)) << "k=" << k;
        std::filesystem::remove(path);
    }
}

TEST(FileSafety, ASecondWriterGets3045) {
    TempDir dir;
    auto path = buildDb(dir / "shop.mdb", shopStatements(), "");
    Database first = openWritable(path);
    try {
        openWritable(path);
        FAIL() << "a second writer opened the file";
    } catch (const JetError& e) {
        EXPECT_EQ(3045, e.Number);
        EXPECT_EQ("Could not use '" + path.string() + "'; file already in use.", e.Description);
    }
    EXPECT_EQ(3045, jetErrorOf([&] { DBEngine::Default().OpenDatabase(path.string(), false, true); }));
    first.Close();
    EXPECT_NO_THROW(openWritable(path).Close());
}

TEST(FileSafety, ReadOnlyFileOrFolderIsRefusedUnchanged) {
    TempDir dir;
    auto path = buildDb(dir / "shop.mdb", shopStatements(), "");
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    const std::string before = fileBytes(path);
    EXPECT_EQ(3051, jetErrorOf([&] { openWritable(path); }));
    EXPECT_NO_THROW(DBEngine::Default().OpenDatabase(path.string(), false, true).Close());  // reading is fine
    std::filesystem::permissions(path, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    EXPECT_EQ(3051, jetErrorOf([&] { openWritable(path); }));
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
    EXPECT_EQ(before, fileBytes(path));
    Database ro = DBEngine::Default().OpenDatabase(path.string(), false, true);
    EXPECT_EQ(3027, jetErrorOf([&] { ro.Execute("update Orders set Amount=1"); }));
}

TEST(FileSafety, LeftoverJournalIsRolledBackOnOpen) {
    TempDir dir;
    auto path = buildDb(dir / "shop.mdb", shopStatements(), "");
    const std::string original = fileBytes(path);
    {
        // A journal holding page 2's original bytes, then page 2 damaged and
        // the file grown, as if the process had died mid-statement.
        jet::Journal j(path.string(), 4096, original.size());
        j.add(2, reinterpret_cast<const uint8_t*>(original.data()) + 2 * 4096);
        j.sync();
        std::string damaged = original;
        std::fill(damaged.begin() + 2 * 4096, damaged.begin() + 3 * 4096, '\x55');
        damaged += std::string(4096, '\x66');
        std::ofstream(path, std::ios::binary | std::ios::trunc).write(damaged.data(), std::streamsize(damaged.size()));
    }
    // Even a reader puts the pages back before reading.
    DBEngine::Default().OpenDatabase(path.string(), false, true).Close();
    EXPECT_EQ(original, fileBytes(path));
    EXPECT_FALSE(std::filesystem::exists(jet::Journal::pathFor(path.string())));
}
