// The journal protects exactly one file: found under every name of it,
// applied only to the file and the state it was made for, deleted only after
// the rollback is durable; and the order of the write path as the disk sees it.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "built_db.h"
#include "fault_env.h"
#include "journal.h"
#include "page_file.h"
#include "write_helpers.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

platform::Env& sys() { return platform::Env::system(); }

std::string journalOf(const std::filesystem::path& db) { return jet::Journal::pathFor(sys().resolve(db.string())); }

const char* kChange = "UPDATE Orders SET Amount = 5 WHERE Amount IS NULL";

// Runs `sql` on `path` (as named) and stops the process's disk at the first
// sync of the database: the journal and the written pages stay as they are.
void interrupt(const std::filesystem::path& path, const std::string& sql) {
    auto env = std::make_shared<FaultEnv>();
    const std::string db = sys().resolve(path.string());
    bool off = false;
    env->fault = [&](const FsEvent& e) -> std::optional<platform::Reason> {
        if (e.op == FsEvent::sync && e.path == db) off = true;
        if (off) return platform::Reason::other;
        return std::nullopt;
    };
    DBEngine engine;
    engine.SetEnv(env);
    Database d = openWritable(path, engine);
    EXPECT_EQ(3043, jetErrorOf([&] { d.Execute(sql); }));
    d.Close();
    ASSERT_TRUE(off);
}

bool contains(const std::string& s, const std::string& what) { return s.find(what) != std::string::npos; }

JetError openError(const std::filesystem::path& path, bool readOnly = false) {
    try {
        DBEngine::Default().OpenDatabase(path.string(), false, readOnly, ";pwd=bluefinchtea").Close();
    } catch (const JetError& e) {
        return e;
    }
    return {0, ""};
}

}  // namespace

TEST(JournalIdentity, ASymlinkedDatabaseKeepsItsJournalBesideTheRealFile) {
    TempDir dir;
    auto real = buildDb(dir / "real.mdb", shopStatements());
    const std::string original = fileBytes(real);
    auto link = dir / "link.mdb";
    std::filesystem::create_symlink(real, link);
    interrupt(link, kChange);
    EXPECT_FALSE(original == fileBytes(real));  // half done
    EXPECT_TRUE(std::filesystem::exists(journalOf(real)));
    EXPECT_FALSE(std::filesystem::exists(link.string() + "-journal"));
    // Reading the real file by its own name rolls the change back first.
    EXPECT_EQ(0, openError(real, true).Number);
    EXPECT_TRUE(original == fileBytes(real));
    EXPECT_FALSE(std::filesystem::exists(journalOf(real)));
    EXPECT_INDEXES_CONSISTENT(real);
    // And the other way round: changed by its real name, opened by the link.
    interrupt(real, kChange);
    EXPECT_EQ(0, openError(link).Number);
    EXPECT_TRUE(original == fileBytes(real));
}

TEST(JournalIdentity, ARestoredBackupIsNotRolledOver) {
    TempDir dir;
    auto path = buildDb(dir / "c.mdb", shopStatements());
    // The backup: the same database after another change.
    auto backup = dir / "backup.mdb";
    std::filesystem::copy_file(path, backup);
    {
        Database b = openWritable(backup);
        b.Execute("UPDATE Orders SET Amount = 77, Quantity = 1");
        b.Close();
    }
    interrupt(path, kChange);
    const std::string journal = fileBytes(journalOf(path));
    // `cp backup.mdb c.mdb`: the same file (inode), other contents.
    const std::string restored = fileBytes(backup);
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(restored.data(), std::streamsize(restored.size()));
    JetError e = openError(path);
    EXPECT_EQ(3051, e.Number);
    EXPECT_TRUE(contains(e.Description, journalOf(path))) << e.Description;
    EXPECT_TRUE(contains(e.Description, "move the journal away")) << e.Description;
    EXPECT_EQ(3051, openError(path, true).Number);
    EXPECT_TRUE(restored == fileBytes(path));
    EXPECT_TRUE(journal == fileBytes(journalOf(path)));
    // Moved away as told, the backup opens as it is.
    std::filesystem::rename(journalOf(path), dir / "old-journal");
    EXPECT_EQ(0, openError(path).Number);
    EXPECT_TRUE(restored == fileBytes(path));
    EXPECT_INDEXES_CONSISTENT(path);
}

TEST(JournalIdentity, ADifferentDatabaseUnderTheNameIsNotTouched) {
    TempDir dir;
    auto path = buildDb(dir / "c.mdb", shopStatements());
    auto other = buildDb(dir / "other.mdb", projectStatements());
    const std::string otherBytes = fileBytes(other);
    interrupt(path, kChange);
    const std::string journal = fileBytes(journalOf(path));
    std::filesystem::rename(other, path);
    JetError e = openError(path);
    EXPECT_EQ(3051, e.Number);
    EXPECT_TRUE(contains(e.Description, "made for another file")) << e.Description;
    EXPECT_TRUE(otherBytes == fileBytes(path));
    EXPECT_TRUE(journal == fileBytes(journalOf(path)));
}

TEST(JournalIdentity, APageHoldingNeitherOldNorNewContentIsRefused) {
    TempDir dir;
    auto path = buildDb(dir / "c.mdb", shopStatements());
    interrupt(path, kChange);
    // Some page the journal holds is changed by someone else meanwhile.
    std::string bytes = fileBytes(path);
    const std::string journal = fileBytes(journalOf(path));
    const uint32_t page = uint32_t(uint8_t(journal[68])) | uint32_t(uint8_t(journal[69])) << 8;  // the first record's page
    bytes[size_t(page) * 4096 + 1000] ^= 0x5A;
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
    JetError e = openError(path);
    EXPECT_EQ(3051, e.Number);
    EXPECT_TRUE(contains(e.Description, "page " + std::to_string(page))) << e.Description;
    EXPECT_TRUE(bytes == fileBytes(path));
    EXPECT_TRUE(journal == fileBytes(journalOf(path)));
}

namespace {

// A database and its journal: page 2 saved, a batch announcing its new
// bytes, page 2 written; then page 3 saved (never written); `secondBatch`
// adds a batch for it too.
struct TwoBatches {
    TempDir dir;
    std::filesystem::path path;
    std::string original;
    uint64_t firstSync = 0;  // the journal's length after its first sync

    explicit TwoBatches(bool secondBatch) {
        path = buildDb(dir / "c.mdb", shopStatements());
        original = fileBytes(path);
        auto db = sys().open(path.string(), platform::Open::readWrite);
        jet::Journal j(sys(), sys().resolve(path.string()), 4096, original.size(), db->id());
        std::vector<uint8_t> fresh2(4096, 0x22), fresh3(4096, 0x33);
        j.add(2, page(2));
        j.batch({{2, fresh2.data()}}, uint32_t(original.size() / 4096));
        j.sync();
        firstSync = std::filesystem::file_size(journalOf(path));
        db->writeAt(2 * 4096, fresh2.data(), 4096);
        j.add(3, page(3));
        if (secondBatch) j.batch({{3, fresh3.data()}}, uint32_t(original.size() / 4096));
        j.sync();
    }
    const uint8_t* page(size_t n) const { return reinterpret_cast<const uint8_t*>(original.data()) + n * 4096; }
    void overwriteJournal(size_t fromEnd, const std::string& bytes) {
        std::string j = fileBytes(journalOf(path));
        j.replace(j.size() - fromEnd, bytes.size(), bytes);
        std::ofstream(journalOf(path), std::ios::binary | std::ios::trunc).write(j.data(), std::streamsize(j.size()));
    }
    // The header as the power left it when it went during the second sync:
    // vouching for the records of the first sync only.
    void vouchForFirstSyncOnly() {
        std::string j = fileBytes(journalOf(path));
        ASSERT_EQ("Vantrel journal4", j.substr(0, 16));
        for (int i = 0; i < 8; ++i) j[48 + i] = char(uint8_t(firstSync >> (8 * i)));
        const uint64_t sum = jet::Journal::checksum(0, reinterpret_cast<const uint8_t*>(j.data()), 56);
        for (int i = 0; i < 8; ++i) j[56 + i] = char(uint8_t(sum >> (8 * i)));
        std::ofstream(journalOf(path), std::ios::binary | std::ios::trunc).write(j.data(), std::streamsize(j.size()));
    }
};

}  // namespace

TEST(JournalRecords, ALastRecordFailingItsChecksumIsNotApplied) {
    // The last record torn: page 3's saved bytes came out as 0x77s, and the
    // header was not yet made to vouch for it.
    TwoBatches t(false);
    t.overwriteJournal(4096, std::string(4096, '\x77'));
    t.vouchForFirstSyncOnly();
    EXPECT_EQ(0, openError(t.path).Number);
    // Page 2 back; page 3 not given the torn record's bytes.
    EXPECT_TRUE(t.original == fileBytes(t.path));
    EXPECT_FALSE(std::filesystem::exists(journalOf(t.path)));
}

TEST(JournalRecords, ALastBatchFailingItsChecksumIsNotApplied) {
    TwoBatches t(true);
    t.overwriteJournal(1, "?");  // the second batch's checksum
    t.vouchForFirstSyncOnly();
    EXPECT_EQ(0, openError(t.path).Number);
    EXPECT_TRUE(t.original == fileBytes(t.path));
}

TEST(JournalRecords, ALostBatchBeforeWrittenPagesIsRefused) {
    // The first batch unreadable though page 2 was written after it: the
    // journal cannot say what happened, so nothing is touched.
    TwoBatches t(false);
    t.overwriteJournal(4096 + 16 + 30, "????");
    const std::string journal = fileBytes(journalOf(t.path)), now = fileBytes(t.path);
    JetError e = openError(t.path);
    EXPECT_EQ(3051, e.Number);
    // The header vouches for the batch: its record is damaged.
    EXPECT_TRUE(contains(e.Description, "damaged")) << e.Description;
    EXPECT_TRUE(now == fileBytes(t.path));
    EXPECT_TRUE(journal == fileBytes(journalOf(t.path)));
}

TEST(JournalRecords, ADamagedHeaderWithRecordsBehindItIsRefused) {
    // Records are written only after the header was synced: this is damage.
    TwoBatches t(true);
    std::string j = fileBytes(journalOf(t.path));
    j[20] ^= 0x10;
    std::ofstream(journalOf(t.path), std::ios::binary | std::ios::trunc).write(j.data(), std::streamsize(j.size()));
    const std::string now = fileBytes(t.path);
    JetError e = openError(t.path);
    EXPECT_EQ(3051, e.Number);
    EXPECT_TRUE(contains(e.Description, "damaged")) << e.Description;
    EXPECT_TRUE(now == fileBytes(t.path));
    EXPECT_TRUE(j == fileBytes(journalOf(t.path)));
}

TEST(JournalRecords, AJournalWhoseHeaderNeverBecameWholeIsDropped) {
    TempDir dir;
    auto path = buildDb(dir / "c.mdb", shopStatements());
    const std::string original = fileBytes(path);
    std::ofstream(journalOf(path), std::ios::binary) << std::string(20, '\0');
    EXPECT_EQ(0, openError(path).Number);
    EXPECT_TRUE(original == fileBytes(path));
    EXPECT_FALSE(std::filesystem::exists(journalOf(path)));
}

TEST(JournalRecords, AForeignFileUnderTheJournalsNameIsRefused) {
    TempDir dir;
    auto path = buildDb(dir / "c.mdb", shopStatements());
    std::ofstream(journalOf(path), std::ios::binary) << "my own notes, not a journal at all";
    EXPECT_EQ(3051, openError(path).Number);
    EXPECT_TRUE(std::filesystem::exists(journalOf(path)));
}

TEST(JournalRecords, AJournalAppearingWhileOpenIsNeverReplaced) {
    TempDir dir;
    auto path = buildDb(dir / "c.mdb", shopStatements());
    Database d = openWritable(path);
    std::ofstream(journalOf(path), std::ios::binary) << "someone else's";
    EXPECT_EQ(3051, jetErrorOf([&] { d.Execute(kChange); }));
    EXPECT_EQ("someone else's", fileBytes(journalOf(path)));
    d.Close();
    std::filesystem::remove(journalOf(path));
}

TEST(PageFileStates, AFailingRollbackLeavesTheFileRefusingEverything) {
    TempDir dir;
    auto path = buildDb(dir / "c.mdb", shopStatements());
    const std::string original = fileBytes(path);
    auto env = std::make_shared<FaultEnv>();
    const std::string db = sys().resolve(path.string());
    bool failDb = false;
    env->fault = [&](const FsEvent& e) -> std::optional<platform::Reason> {
        if (failDb && e.path == db) return platform::Reason::noSpace;
        return std::nullopt;
    };
    std::string journal;
    {
        jet::PageFile::Options o;
        o.writable = true;
        o.env = env.get();
        o.maxDirtyPages = 1;  // every second change spills
        jet::PageFile f(path.string(), o);
        for (uint32_t n : {2u, 3u, 4u, 5u}) f.modify(n).assign(4096, uint8_t(n));
        ASSERT_FALSE(original == fileBytes(path));
        journal = fileBytes(journalOf(path));
        failDb = true;
        EXPECT_EQ(3043, jetErrorOf([&] { f.abort(); }));
        EXPECT_FALSE(f.broken().empty());
        // Everything else is refused, and the journal is left as it was.
        EXPECT_EQ(3043, jetErrorOf([&] { f.modify(2); }));
        EXPECT_EQ(3043, jetErrorOf([&] { f.appendPage(); }));
        EXPECT_EQ(3043, jetErrorOf([&] { f.page(0); }));
        EXPECT_EQ(3043, jetErrorOf([&] { f.commit(); }));
        EXPECT_EQ(3043, jetErrorOf([&] { f.abort(); }));
        failDb = false;
        EXPECT_EQ(3043, jetErrorOf([&] { f.modify(6).assign(4096, 6); }));
        EXPECT_TRUE(journal == fileBytes(journalOf(path)));
        failDb = true;  // closing cannot roll back either
    }
    EXPECT_TRUE(journal == fileBytes(journalOf(path)));
    // Opening again recovers.
    EXPECT_EQ(0, openError(path).Number);
    EXPECT_TRUE(original == fileBytes(path));
    EXPECT_FALSE(std::filesystem::exists(journalOf(path)));
}

TEST(PageFileStates, ADiskFullEndsTheStatementAndClosingFreesTheJournal) {
    TempDir dir;
    auto path = buildDb(dir / "c.mdb", shopStatements());
    const std::string original = fileBytes(path);
    const std::string sql = "UPDATE Customers SET Notes = 'n', City = 'c', Phone = Null";
    uint64_t total = 0;
    {
        auto copy = dir / "count.mdb";
        std::filesystem::copy_file(path, copy);
        auto env = std::make_shared<FaultEnv>();
        DBEngine e;
        e.SetEnv(env);
        Database d = openWritable(copy, e);
        d.Execute(sql);
        d.Close();
        for (const auto& ev : env->events()) total += ev.op == FsEvent::write ? ev.grows : 0;
    }
    ASSERT_GT(total, 4096u);
    for (uint64_t room = 0; room < total; room += 1024) {
        auto env = std::make_shared<FaultEnv>();
        env->diskFullAfter = room;
        DBEngine e;
        e.SetEnv(env);
        Database d = openWritable(path, e);
        try {
            d.Execute(sql);
            FAIL() << "room=" << room << ": the statement went through";
        } catch (const JetError& err) {
            EXPECT_EQ(3043, err.Number);
            EXPECT_TRUE(contains(err.Description, "disk full")) << err.Description;
        }
        d.Close();
        EXPECT_FALSE(std::filesystem::exists(journalOf(path))) << "room=" << room;
        EXPECT_TRUE(original == fileBytes(path)) << "room=" << room;
    }
}

// The order of events as the disk sees it, over a whole statement that
// spills several times: no database page is overwritten before the journal
// records written so far are synced, and the journal goes only after the
// database is synced.
TEST(WriteOrder, JournalDurableBeforeThePageAndDatabaseBeforeTheJournalGoes) {
    TempDir dir;
    auto path = buildDb(dir / "c.mdb", shopStatements());
    auto env = std::make_shared<FaultEnv>();
    {
        jet::PageFile::Options o;
        o.writable = true;
        o.env = env.get();
        o.maxDirtyPages = 2;
        jet::PageFile f(path.string(), o);
        for (uint32_t n = 2; n < 9; ++n) f.modify(n)[100] ^= 1;
        f.appendPage();
        f.commit();
    }
    const std::string db = sys().resolve(path.string()), journal = journalOf(path);
    const std::string folder = sys().folderOf(db);
    bool journalUnsynced = false, dbUnsynced = false, journalNameDurable = false, sawDbWrite = false, removed = false;
    for (const FsEvent& e : env->events()) {
        if (e.path == journal) {
            if (e.op == FsEvent::write) journalUnsynced = true;
            if (e.op == FsEvent::sync) journalUnsynced = false;
            if (e.op == FsEvent::remove) {
                EXPECT_FALSE(dbUnsynced) << "the journal was deleted before the database was synced";
                removed = true;
            }
        } else if (e.path == db) {
            if (e.op == FsEvent::write) {
                EXPECT_FALSE(journalUnsynced) << "page written at " << e.at << " before the journal was synced";
                EXPECT_TRUE(journalNameDurable) << "page written before the journal's name was durable";
                dbUnsynced = sawDbWrite = true;
            }
            if (e.op == FsEvent::sync) dbUnsynced = false;
        } else if (e.op == FsEvent::syncFolder && e.path == folder) {
            journalNameDurable = true;
        }
    }
    EXPECT_TRUE(sawDbWrite);
    EXPECT_TRUE(removed);
    EXPECT_EQ(FsEvent::syncFolder, env->events().back().op);  // the deletion made durable
}

TEST(WriteOrder, TheRollbackIsDurableBeforeTheJournalGoes) {
    TempDir dir;
    auto path = buildDb(dir / "c.mdb", shopStatements());
    interrupt(path, kChange);
    auto env = std::make_shared<FaultEnv>();
    DBEngine e;
    e.SetEnv(env);
    openWritable(path, e).Close();
    const std::string db = sys().resolve(path.string()), journal = journalOf(path);
    bool unsynced = false, wrote = false, removed = false;
    for (const FsEvent& ev : env->events()) {
        if (ev.path == db && (ev.op == FsEvent::write || ev.op == FsEvent::truncate)) unsynced = wrote = true;
        if (ev.path == db && ev.op == FsEvent::sync) unsynced = false;
        if (ev.path == journal && ev.op == FsEvent::remove) {
            EXPECT_FALSE(unsynced);
            removed = true;
        }
    }
    EXPECT_TRUE(wrote);
    EXPECT_TRUE(removed);
}

// Whichever call fails (a write, a sync, a deletion, a folder sync, making
// the journal), the statement ends before or after, never between: once the
// handle is closed and the file opened again.
TEST(FaultAtEveryCall, AStatementEndsBeforeOrAfterWhicheverCallFails) {
    TempDir dir;
    auto base = buildDb(dir / "base.mdb", shopStatements());
    const std::string before = fileBytes(base);
    const std::string sql = "UPDATE Customers SET City = 'Bonn', Notes = 'x' WHERE City IS NULL";
    std::string after;
    size_t calls = 0;
    {
        auto p = dir / "ref.mdb";
        std::filesystem::copy_file(base, p);
        auto env = std::make_shared<FaultEnv>();
        DBEngine e;
        e.SetEnv(env);
        Database d = openWritable(p, e);
        d.Execute(sql);
        d.Close();
        after = fileBytes(p);
        calls = env->events().size();
    }
    ASSERT_GT(calls, 6u);
    std::set<FsEvent::Op> failedKinds;
    for (size_t k = 1; k <= calls; ++k) {
        auto p = dir / "c.mdb";
        std::filesystem::remove(p);
        std::filesystem::copy_file(base, p);
        auto env = std::make_shared<FaultEnv>();
        size_t n = 0;
        env->fault = [&](const FsEvent& e) -> std::optional<platform::Reason> {
            if (++n != k) return std::nullopt;
            failedKinds.insert(e.op);
            return platform::Reason::other;
        };
        DBEngine e;
        e.SetEnv(env);
        Database d = openWritable(p, e);
        try {
            d.Execute(sql);
        } catch (const JetError& err) {
            EXPECT_TRUE(err.Number == 3043 || err.Number == 3051) << err.Description;  // 3051: no journal could be made
        }
        d.Close();
        JetError reopened = openError(p);
        EXPECT_EQ(0, reopened.Number) << "k=" << k << ": " << reopened.Description;
        const std::string now = fileBytes(p);
        EXPECT_TRUE(now == before || now == after) << "call " << k << " failing left a mix";
        EXPECT_FALSE(std::filesystem::exists(journalOf(p)));
        EXPECT_INDEXES_CONSISTENT(p);
    }
    for (auto op : {FsEvent::open, FsEvent::write, FsEvent::sync, FsEvent::remove, FsEvent::syncFolder})
        EXPECT_TRUE(failedKinds.count(op)) << "no failure of kind " << int(op) << " was tried";
}

TEST(FaultAtEveryCall, MakingADatabaseLeavesNothingWhicheverCallFails) {
    TempDir dir;
    size_t calls = 0;
    {
        auto env = std::make_shared<FaultEnv>();
        DBEngine e;
        e.SetEnv(env);
        e.CreateDatabase((dir / "count.mdb").string()).Close();
        calls = env->events().size();
        std::filesystem::remove(dir / "count.mdb");
    }
    bool renameFailed = false;
    for (size_t k = 1; k <= calls; ++k) {
        auto env = std::make_shared<FaultEnv>();
        size_t n = 0;
        env->fault = [&](const FsEvent& e) -> std::optional<platform::Reason> {
            if (++n != k) return std::nullopt;
            renameFailed = renameFailed || e.op == FsEvent::rename;
            return platform::Reason::noSpace;
        };
        DBEngine e;
        e.SetEnv(env);
        const auto p = dir / "new.mdb";
        try {
            e.CreateDatabase(p.string()).Close();
            // Only a failure after the name was given (its folder's sync) may let it through.
            EXPECT_TRUE(std::filesystem::exists(p));
            std::filesystem::remove(p);
        } catch (const JetError& err) {
            EXPECT_FALSE(std::filesystem::exists(p)) << "k=" << k << ": " << err.Description;
        }
        EXPECT_EQ(0u, size_t(std::distance(std::filesystem::directory_iterator(dir.path()), {}))) << "k=" << k;
    }
    EXPECT_TRUE(renameFailed);
}

// Journals earlier builds left ("journal2" with one-lane checksums,
// "journal3" without the durable length) are rolled back as today's: built
// here by hand from the format, for one page whose new bytes reached the file.
namespace {

void expectEarlierFormatRolledBack(bool oneLane) {
    TempDir dir;
    auto path = buildDb(dir / "c.mdb", shopStatements());
    const std::string original = fileBytes(path);
    const uint32_t pageSize = 4096, page = 2;
    ASSERT_GE(original.size(), size_t(page + 1) * pageSize);
    auto le = [](std::string& out, uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out += char(uint8_t(v >> (8 * i)));
    };
    auto sum2 = [&](uint64_t seed, const std::string& b, size_t at, size_t n) {
        const auto* p = reinterpret_cast<const uint8_t*>(b.data()) + at;
        return oneLane ? jet::Journal::checksum2(seed, p, n) : jet::Journal::checksum(seed, p, n);
    };
    const platform::FileId id = sys().open(path.string(), platform::Open::read)->id();
    std::string j = oneLane ? "Vantrel journal2" : "Vantrel journal3";
    le(j, pageSize, 4);
    le(j, 0, 4);
    le(j, original.size(), 8);
    le(j, id.volume, 8);
    le(j, id.file, 8);
    le(j, sum2(0, j, 0, 48), 8);
    j.resize(64, '\0');
    // The page's original bytes, then the batch announcing its new ones.
    std::string changed = original;
    for (size_t i = 100; i < 700; ++i) changed[size_t(page) * pageSize + i] ^= 0x5A;
    j += "PG01";
    le(j, page, 4);
    le(j, sum2(page, original, size_t(page) * pageSize, pageSize), 8);
    j += original.substr(size_t(page) * pageSize, pageSize);
    const size_t batch = j.size();
    j += "BT01";
    le(j, 1, 4);
    le(j, original.size() / pageSize, 4);
    le(j, 0, 4);
    le(j, page, 4);
    for (size_t k = 0; k < pageSize / jet::Journal::kSector; ++k)
        le(j, sum2(jet::Journal::sectorSeed(page, k), changed, size_t(page) * pageSize + k * jet::Journal::kSector, jet::Journal::kSector), 8);
    le(j, sum2(0x31305442, j, batch, j.size() - batch), 8);
    std::ofstream(journalOf(path), std::ios::binary).write(j.data(), std::streamsize(j.size()));
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(changed.data(), std::streamsize(changed.size()));

    EXPECT_EQ(0, openError(path).Number) << j.substr(0, 16);
    EXPECT_TRUE(original == fileBytes(path)) << j.substr(0, 16);
    EXPECT_FALSE(std::filesystem::exists(journalOf(path)));
}

}  // namespace

TEST(JournalFormat, AJournalOfTheEarlierFormatIsRolledBack) {
    expectEarlierFormatRolledBack(true);
    expectEarlierFormatRolledBack(false);
}

namespace {

void writeBytes(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
}

// Refused with 3051 naming the journal, and neither file touched.
void expectRefusedUntouched(const std::filesystem::path& path, bool readOnly, const std::string& what) {
    const std::string db = fileBytes(path), journal = fileBytes(journalOf(path));
    JetError e = openError(path, readOnly);
    EXPECT_EQ(3051, e.Number) << what << ": " << e.Description;
    EXPECT_TRUE(contains(e.Description, journalOf(path))) << what << ": " << e.Description;
    EXPECT_TRUE(db == fileBytes(path)) << what << ": the database was changed";
    EXPECT_TRUE(std::filesystem::exists(journalOf(path))) << what << ": the journal was deleted";
    EXPECT_TRUE(journal == fileBytes(journalOf(path))) << what << ": the journal was changed";
}

}  // namespace

// Pages were written under the journal; its first records then became
// unreadable. The header vouches for them: damage, never "no journal".
TEST(JournalRecords, UnreadableRecordsTheHeaderVouchesForAreRefused) {
    struct Case {
        const char* what;
        std::function<void(std::string&)> damage;
    };
    const Case cases[] = {
        {"a byte of the first record's page", [](std::string& j) { j[64 + 16 + 100] ^= 0x01; }},
        {"the first record's tag", [](std::string& j) { j[64] = 'X'; }},
        {"cut short to under 2 KB", [](std::string& j) { j.resize(1500); }},
        {"cut short to the header", [](std::string& j) { j.resize(64); }},
        {"a byte of the last record", [](std::string& j) { j[j.size() - 3] ^= 0x01; }},
    };
    for (const Case& c : cases) {
        for (bool readOnly : {false, true}) {
            TempDir dir;
            auto path = buildDb(dir / "c.mdb", shopStatements());
            const std::string original = fileBytes(path);
            interrupt(path, kChange);
            ASSERT_FALSE(original == fileBytes(path)) << "no page was written before the crash";
            std::string j = fileBytes(journalOf(path));
            ASSERT_GT(j.size(), 2048u);
            c.damage(j);
            writeBytes(journalOf(path), j);
            expectRefusedUntouched(path, readOnly, c.what);
        }
    }
}

// The power goes at any call before the first page of the database is
// written (the journal being made, its records, their sync, the header
// vouching for them): the journal protects nothing yet and is dropped.
TEST(JournalRecords, AJournalNeverVouchedForIsDroppedWhereverThePowerWent) {
    TempDir dir;
    auto path = buildDb(dir / "c.mdb", shopStatements());
    const std::string original = fileBytes(path);
    const std::string db = sys().resolve(path.string());
    int firstDbWrite = 0;
    {
        auto copy = dir / "count.mdb";
        std::filesystem::copy_file(path, copy);
        auto env = std::make_shared<FaultEnv>();
        const std::string copyDb = sys().resolve(copy.string());
        env->fault = [&](const FsEvent& e) -> std::optional<platform::Reason> {
            if (!firstDbWrite && e.path == copyDb && e.op == FsEvent::write) firstDbWrite = env->writesAndSyncs();
            return std::nullopt;
        };
        DBEngine engine;
        engine.SetEnv(env);
        openWritable(copy, engine).Execute(kChange);
    }
    ASSERT_GT(firstDbWrite, 2);
    for (int k = 1; k <= firstDbWrite; ++k) {
        for (bool torn : {false, true}) {
            writeBytes(path, original);
            auto env = std::make_shared<FaultEnv>();
            env->crashAt = k;
            DBEngine engine;
            engine.SetEnv(env);
            {
                Database d = openWritable(path, engine);
                EXPECT_NE(0, jetErrorOf([&] { d.Execute(kChange); }));
            }
            env->powerLoss(torn, uint32_t(k));
            ASSERT_TRUE(original == fileBytes(path)) << "k=" << k;
            EXPECT_EQ(0, openError(path, true).Number) << "k=" << k << (torn ? " (torn)" : "");
            EXPECT_TRUE(original == fileBytes(path)) << "k=" << k;
            EXPECT_FALSE(std::filesystem::exists(journalOf(path))) << "k=" << k << (torn ? " (torn)" : "");
        }
    }
}

// A file with a second name (hard link) would not find the journal made
// under the other name: it is read, never written.
TEST(JournalIdentity, AFileWithSeveralNamesIsReadButNotWritten) {
    TempDir dir;
    auto path = buildDb(dir / "c.mdb", shopStatements());
    auto second = dir / "second.mdb";
    std::filesystem::create_hard_link(path, second);
    const std::string original = fileBytes(path);
    for (const auto& name : {path, second}) {
        JetError e{0, ""};
        try {
            openWritable(name).Close();
        } catch (const JetError& err) {
            e = err;
        }
        EXPECT_EQ(3051, e.Number) << e.Description;
        EXPECT_TRUE(contains(e.Description, "2 names")) << e.Description;
        Database ro = DBEngine::Default().OpenDatabase(name.string(), false, true, ";pwd=bluefinchtea");
        EXPECT_EQ(4u, columnValues(ro, "Orders", "Amount").size());
        ro.Close();
    }
    EXPECT_TRUE(original == fileBytes(path));
    EXPECT_FALSE(std::filesystem::exists(journalOf(path)));
    // One name again: written as before.
    std::filesystem::remove(second);
    openWritable(path).Execute(kChange);
    EXPECT_FALSE(original == fileBytes(path));
}

// A file or folder marked read-only is never changed, even where the system
// would allow it (root): a reader does not roll a journal back onto it.
TEST(JournalAccess, AReaderDoesNotRollBackOntoAFileMarkedReadOnly) {
    namespace fs = std::filesystem;
    for (bool folder : {false, true}) {
        TempDir dir;
        auto path = buildDb(dir / "c.mdb", shopStatements());
        const std::string original = fileBytes(path);
        interrupt(path, kChange);
        const fs::path marked = folder ? dir.path() : path;
        fs::permissions(marked, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write, fs::perm_options::remove);
        if (!sys().info(marked.string()).readOnly) {
            fs::permissions(marked, fs::perms::owner_write, fs::perm_options::add);
            continue;  // Windows: no read-only folders
        }
        expectRefusedUntouched(path, true, folder ? "a read-only folder" : "a read-only file");
        EXPECT_EQ(3051, openError(path, false).Number);
        fs::permissions(marked, fs::perms::owner_write, fs::perm_options::add);
        // Writable again: the change is rolled back.
        EXPECT_EQ(0, openError(path, true).Number);
        EXPECT_TRUE(original == fileBytes(path));
    }
}

// A name whose journal name ("NAME-journal") is longer than the system
// allows: no journal can exist, so reading works; writing is refused (a
// change could not be made safe) before anything is touched.
TEST(JournalAccess, ANameTooLongForItsJournalIsReadButNotWritten) {
    for (size_t length : {240u, 241u, 247u, 248u, 250u, 255u}) {
        TempDir dir;
        auto built = buildDb(dir / "c.mdb", shopStatements());
        const std::string original = fileBytes(built);
        auto path = dir / (std::string(length - 4, 'n') + ".mdb");
        std::filesystem::rename(built, path);
        Database ro = DBEngine::Default().OpenDatabase(path.string(), false, true, ";pwd=bluefinchtea");
        EXPECT_EQ(4u, columnValues(ro, "Orders", "Amount").size()) << length;
        ro.Close();
        const bool journalFits = length + std::string("-journal").size() <= 255;
        JetError e{0, ""};
        try {
            Database d = openWritable(path);
            d.Execute(kChange);
            d.Close();
        } catch (const JetError& err) {
            e = err;
        }
        if (journalFits) {
            EXPECT_EQ(0, e.Number) << length << ": " << e.Description;
            EXPECT_FALSE(original == fileBytes(path)) << length;
        } else {
            EXPECT_EQ(3051, e.Number) << length << ": " << e.Description;
            EXPECT_TRUE(contains(e.Description, "journal")) << e.Description;
            EXPECT_TRUE(contains(e.Description, "shorter name")) << e.Description;
            EXPECT_TRUE(original == fileBytes(path)) << length;
        }
    }
}
