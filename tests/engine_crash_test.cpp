// Crash safety and file safety of the write path: the power lost at any
// write or sync (through the fault-injecting Env), an I/O error at any page
// write, a second writer, read-only files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>

#include "converter.h"
#include "built_db.h"
#include "fault_env.h"
#include "journal.h"
#include "lock_file.h"
#include "write_helpers.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

class Silent : public MessageSink {
public:
    void Show(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

// Runs the whole null-fill on `path` with `engine`; false when it stopped on an error.
bool nullFill(const std::filesystem::path& path, const DBEngine& engine) {
    Silent sink;
    Converter conv(sink);
    try {
        conv.dbSrc = openWritable(path, engine);
        conv.MainSub(conv.dbSrc);
        conv.dbSrc.Close();
    } catch (const JetError&) {
        conv.dbSrc = Database();
        return false;
    }
    return true;
}

struct Reference {
    std::set<std::string> states;  // the file after each commit, and before any
    int calls = 0;                 // writes and syncs of the whole pass
};

std::string journalOf(const std::filesystem::path& db) {
    return jet::Journal::pathFor(platform::Env::system().resolve(db.string()));
}

void freshCopy(const std::string& name, const std::filesystem::path& path) {
    std::filesystem::remove(path);
    std::filesystem::remove(journalOf(path));
    std::filesystem::copy_file(corpusFile(name), path);
    std::filesystem::permissions(path, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
}

// The pass done once with nothing going wrong, keeping every committed state.
Reference reference(const std::string& name, const TempDir& dir) {
    Reference ref;
    auto path = dir / ("ref-" + name);
    freshCopy(name, path);
    ref.states.insert(fileBytes(path));
    auto env = std::make_shared<FaultEnv>();
    DBEngine engine;
    engine.SetEnv(env);
    Silent sink;
    Converter conv(sink);
    // Every commit ends by removing the journal: the file then holds a
    // committed state (after a table's batch, or after a statement of a table
    // whose statements run one at a time).
    const std::string journal = journalOf(path);
    env->fault = [&](const test::FsEvent& e) -> std::optional<platform::Reason> {
        if (e.op == test::FsEvent::remove && e.path == journal) ref.states.insert(fileBytes(path));
        return std::nullopt;
    };
    conv.dbSrc = openWritable(path, engine);
    conv.MainSub(conv.dbSrc);
    conv.dbSrc.Close();
    ref.states.insert(fileBytes(path));
    ref.calls = env->writesAndSyncs();
    return ref;
}

}  // namespace

// The power goes at every write and every sync of the null-fill in turn;
// what the disk kept (unsynced writes dropped, or torn sector by sector) is
// opened again by the real engine: always the state before or after a
// statement, indexes consistent, and the pass completes from there.
class PowerLossAtEveryCall : public ::testing::TestWithParam<const char*> {};

TEST_P(PowerLossAtEveryCall, ReopenedFileIsABeforeOrAfterState) {
    const std::string name = GetParam();
    REQUIRE_CORPUS(name);
    TempDir dir;
    Reference ref = reference(name, dir);
    ASSERT_GT(ref.calls, 0);
    const std::string finalState = fileBytes(dir / ("ref-" + name));
    int recovered = 0;
    for (int k = 1; k <= ref.calls; ++k) {
        for (bool torn : {false, true}) {
            auto path = dir / name;
            freshCopy(name, path);
            auto env = std::make_shared<FaultEnv>();
            env->crashAt = k;
            DBEngine engine;
            engine.SetEnv(env);
            nullFill(path, engine);
            ASSERT_TRUE(env->crashed()) << "k=" << k;
            env->powerLoss(torn, uint32_t(k));
            // Opening rolls back what the journal holds.
            ASSERT_NO_THROW(DBEngine::Default().OpenDatabase(path.string(), false, false, ";pwd=bluefinchtea").Close())
                << name << ": power lost at call " << k << (torn ? " (torn)" : "");
            EXPECT_FALSE(std::filesystem::exists(journalOf(path)));
            EXPECT_TRUE(ref.states.count(fileBytes(path)))
                << name << ": power lost at call " << k << (torn ? " (torn)" : "") << " left a state no statement boundary had";
            EXPECT_INDEXES_CONSISTENT(path);
            if (!torn) {
                // Running the pass again from there reaches the same result.
                EXPECT_TRUE(nullFill(path, DBEngine::Default()));
                EXPECT_EQ(finalState, fileBytes(path)) << "k=" << k;
            }
            ++recovered;
        }
    }
    RecordProperty("crash_points", recovered);
    std::printf("%s: %d power losses (%d calls, dropped and torn), all recovered\n", name.c_str(), recovered, ref.calls);
}

INSTANTIATE_TEST_SUITE_P(Corpus, PowerLossAtEveryCall,
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
        auto env = std::make_shared<FaultEnv>();
        DBEngine counting;
        counting.SetEnv(env);
        Database db = openWritable(path, counting);
        db.Execute(sql);
        db.Close();
        for (const auto& e : env->events()) writes += e.op == FsEvent::write;
        std::filesystem::remove(path);
    }
    ASSERT_GT(writes, 1);
    const std::string original = fileBytes(corpusFile("jk-V2000-testIndexPropertiesV2000.mdb"));
    for (int k = 1; k <= writes; ++k) {
        auto path = copyCorpus("jk-V2000-testIndexPropertiesV2000.mdb", dir);
        auto env = std::make_shared<FaultEnv>();
        int n = 0;
        bool journalHeader = false;  // the failure came before anything was written
        bool journalWritten = false;
        env->fault = [&](const FsEvent& e) -> std::optional<platform::Reason> {
            if (e.op != FsEvent::write) return std::nullopt;
            // The journal's first write is its header as it is made (later
            // ones at 0 rewrite it to vouch for records).
            const bool making = e.path.ends_with("-journal") && !journalWritten;
            journalWritten = journalWritten || e.path.ends_with("-journal");
            if (++n != k) return std::nullopt;
            journalHeader = making;
            return platform::Reason::other;
        };
        DBEngine failing;
        failing.SetEnv(env);
        Database db = openWritable(path, failing);
        EXPECT_EQ(3043, jetErrorOf([&] { db.Execute(sql); })) << "k=" << k;
        if (journalHeader) {
            // No journal, nothing written: the handle goes on working.
            auto values = columnValues(db, "TableIgnoreNulls2", "data2");
            EXPECT_EQ(2, std::count_if(values.begin(), values.end(), [](const Variant& v) { return v.isNull(); }));
        } else {
            // The file is broken for this handle: nothing more is done with it.
            EXPECT_EQ(3043, jetErrorOf([&] { columnValues(db, "TableIgnoreNulls2", "data2"); })) << "k=" << k;
            EXPECT_EQ(3043, jetErrorOf([&] { db.Execute(sql); })) << "k=" << k;
        }
        db.Close();
        // Closing rolled the statement back.
        EXPECT_FALSE(std::filesystem::exists(journalOf(path)));
        EXPECT_EQ(original, fileBytes(path)) << "k=" << k;
        Database again = openWritable(path);
        auto values = columnValues(again, "TableIgnoreNulls2", "data2");
        EXPECT_EQ(2, std::count_if(values.begin(), values.end(), [](const Variant& v) { return v.isNull(); }));
        again.Close();
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

TEST(FileSafety, LockFileIsTheDatabasesNameWithAccesssExtension) {
    const std::pair<const char*, const char*> cases[] = {
        {"shop.mdb", "shop.ldb"},
        {"dir/Shop.MDB", "dir/Shop.ldb"},
        {"old.mde", "old.ldb"},
        {"new.accdb", "new.laccdb"},
        {"new.ACCDE", "new.laccdb"},
        {"run.accdr", "run.laccdb"},
        {"shop.v2.dat", "shop.v2.ldb"},
        {"shop", "shop.ldb"},
        {"dir.v2/shop", "dir.v2/shop.ldb"},
        {"C:\\dir.v2\\shop", "C:\\dir.v2\\shop.ldb"},
        {"C:\\data\\shop.mdb", "C:\\data\\shop.ldb"},
    };
    for (const auto& [db, lock] : cases) EXPECT_EQ(lock, jet::lockFilePath(db)) << db;
}

// A program holding the database's lock file has it open: writing is refused
// with 3045 and nothing changes, reading goes on. A lock file nobody holds is
// stale: ignored and left as it is.
TEST(FileSafety, HeldLockFileRefusesWritingAndAStaleOneIsLeftAlone) {
    TempDir dir;
    platform::Env& env = platform::Env::system();
    for (const std::string name : {"shop.mdb", "shop.accdb", "shop"}) {
        const auto path = buildDb(dir / name, shopStatements(), "");
        const std::string lock = jet::lockFilePath(path.string()), before = fileBytes(path);
        std::ofstream(lock, std::ios::binary) << "left by a crash";
        openWritable(path).Close();
        EXPECT_EQ("left by a crash", fileBytes(lock)) << name;
        {
            auto access = env.open(lock, platform::Open::read);
            ASSERT_TRUE(access->lock(platform::Lock::shared));
            try {
                openWritable(path);
                ADD_FAILURE() << name << ": opened for writing while its lock file is held";
            } catch (const JetError& e) {
                EXPECT_EQ(3045, e.Number) << name;
                EXPECT_EQ("Could not use '" + path.string() + "'; file already in use.", e.Description);
            }
            EXPECT_EQ(before, fileBytes(path)) << name;
            EXPECT_NO_THROW(DBEngine::Default().OpenDatabase(path.string(), false, true).Close()) << name;
        }
        EXPECT_NO_THROW(openWritable(path).Close()) << name;
        EXPECT_EQ("left by a crash", fileBytes(lock)) << name;
        std::filesystem::remove_all(dir / name);
        std::filesystem::remove(lock);
    }
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
    // Windows has no read-only folders (the attribute does not stop writing).
    if (platform::Env::system().info(dir.path().string()).readOnly) {
        EXPECT_EQ(3051, jetErrorOf([&] { openWritable(path); }));
    }
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
        // A journal holding page 2's original bytes and announcing its new
        // ones, then page 2 overwritten and the file grown, as if the process
        // had died mid-statement.
        platform::Env& env = platform::Env::system();
        auto db = env.open(path.string(), platform::Open::readWrite);
        jet::Journal j(env, env.resolve(path.string()), 4096, original.size(), db->id());
        const auto* old = reinterpret_cast<const uint8_t*>(original.data()) + 2 * 4096;
        std::vector<uint8_t> changed(4096, 0x55);
        j.add(2, old);
        j.batch({{2, changed.data()}}, uint32_t(original.size() / 4096 + 1));
        j.sync();
        db->writeAt(2 * 4096, changed.data(), changed.size());
        std::vector<uint8_t> grown(4096, 0x66);
        db->writeAt(original.size(), grown.data(), grown.size());
    }
    // Even a reader puts the pages back before reading.
    DBEngine::Default().OpenDatabase(path.string(), false, true).Close();
    EXPECT_EQ(original, fileBytes(path));
    EXPECT_FALSE(std::filesystem::exists(journalOf(path)));
}

