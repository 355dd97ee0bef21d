// INSERT, UPDATE and DELETE share one writer per table and with it one index
// cache: each statement sees the index changes of the ones before it in the
// same transaction, whichever statement made them, and the indexes on disk
// agree with the rows afterwards.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>
#include <set>

#include "built_db.h"
#include "catalog.h"
#include "data_page.h"
#include "fault_env.h"
#include "journal.h"
#include "table_scan.h"
#include "table_writer.h"
#include "write_helpers.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

// T: ID unique (primary key), U unique and nullable, N not unique.
std::filesystem::path tableT(const std::filesystem::path& path, int rows) {
    std::vector<std::string> st = {"CREATE TABLE T (ID LONG CONSTRAINT PrimaryKey PRIMARY KEY, U TEXT(10) CONSTRAINT U UNIQUE, N LONG)",
                                   "CREATE INDEX N ON T (N)"};
    for (int i = 1; i <= rows; ++i)
        st.push_back("INSERT INTO T VALUES (" + std::to_string(i) + ", 'u" + std::to_string(i) + "', " + std::to_string(i % 3) + ")");
    return buildDb(path, st);
}

// U of each row by ID.
std::map<int, std::string> uById(const Database& db) {
    std::map<int, std::string> out;
    Recordset rs = db.OpenRecordset("T");
    while (!rs.EOF_()) {
        const Variant u = rs.Fields().Item("U").Value();
        out[int(rs.Fields().Item("ID").Value().asInt())] = u.isNull() ? "<null>" : u.str();
        rs.MoveNext();
    }
    return out;
}

long refused(const Database& db, const std::string& why) {
    auto it = db.LastUpdate().refused.find(why);
    return it == db.LastUpdate().refused.end() ? 0 : it->second;
}

}  // namespace

TEST(OneWritePath, InsertUpdateDeleteInOneTransactionSeeEachOthersKeys) {
    TempDir dir;
    const auto path = tableT(dir / "t.mdb", 3);
    {
        Database db = openWritable(path);
        db.BeginTrans();
        db.Execute("INSERT INTO T VALUES (4, 'u4', 1)");
        // The UPDATE sees the key the INSERT before it added.
        db.Execute("UPDATE T SET U = 'u4' WHERE ID = 1");
        EXPECT_EQ(1, refused(db, "unique index"));
        db.Execute("UPDATE T SET U = 'z' WHERE ID = 1");
        EXPECT_EQ(1, db.RecordsAffected());
        // The INSERTs after it see the key it gave and the one it freed.
        db.Execute("INSERT INTO T VALUES (5, 'z', 2)");
        EXPECT_EQ(1, refused(db, "unique index"));
        db.Execute("INSERT INTO T VALUES (5, 'u1', 2)");
        EXPECT_EQ(1, db.RecordsAffected());
        // DELETE after UPDATE takes the row's entries as the UPDATE left them.
        db.Execute("DELETE FROM T WHERE ID = 1");
        EXPECT_EQ(1, db.RecordsAffected());
        db.Execute("INSERT INTO T VALUES (1, 'z', 0)");
        EXPECT_EQ(1, db.RecordsAffected());
        db.Execute("UPDATE T SET U = Null WHERE ID = 2");
        db.Execute("UPDATE T SET N = 7 WHERE ID > 3");
        EXPECT_EQ(2, db.RecordsAffected());
        db.Execute("DELETE FROM T WHERE N = 7");
        EXPECT_EQ(2, db.RecordsAffected());
        db.Execute("INSERT INTO T VALUES (6, 'u2', 2)");
        EXPECT_EQ(1, db.RecordsAffected());
        db.CommitTrans();
        EXPECT_EQ((std::map<int, std::string>{{1, "z"}, {2, "<null>"}, {3, "u3"}, {6, "u2"}}), uById(db));
        db.Close();
    }
    EXPECT_EQ(std::vector<std::string>{}, indexProblems(path));
}

TEST(OneWritePath, RollbackForgetsTheIndexChangesOfEveryStatement) {
    TempDir dir;
    const auto path = tableT(dir / "t.mdb", 3);
    Database db = openWritable(path);
    db.BeginTrans();
    db.Execute("INSERT INTO T VALUES (4, 'u4', 1)");
    db.Execute("UPDATE T SET U = 'x' WHERE ID = 1");
    db.Execute("DELETE FROM T WHERE ID = 2");
    db.Rollback();
    // The keys are as they were before the transaction.
    db.Execute("INSERT INTO T VALUES (4, 'x', 1)");
    EXPECT_EQ(1, db.RecordsAffected());
    db.Execute("INSERT INTO T VALUES (7, 'u2', 1)");
    EXPECT_EQ(1, refused(db, "unique index"));
    db.Execute("UPDATE T SET U = 'u4' WHERE ID = 1");
    EXPECT_EQ(1, db.RecordsAffected());
    EXPECT_EQ((std::map<int, std::string>{{1, "u4"}, {2, "u2"}, {3, "u3"}, {4, "x"}}), uById(db));
    db.Close();
    EXPECT_EQ(std::vector<std::string>{}, indexProblems(path));
}

// A writer whose pending index changes pass its bound writes them early and
// goes on over the written trees: unique keys still refuse, deletes still
// find their entries, and the indexes end exactly right.
TEST(OneWritePath, InsertsPastTheEarlyWriteBoundKeepEveryIndexRight) {
    TempDir dir;
    const auto path = tableT(dir / "t.mdb", 0);
    {
        jet::PageFile::Options opt;
        opt.writable = true;
        jet::PageFile file(path.string(), opt);
        uint32_t tdef = 0;
        for (const auto& e : jet::readTableCatalog(file))
            if (e.name == "T") tdef = e.tdefPage;
        jet::TableWriter w(file, tdef, 16 << 10);  // a few hundred entries
        const std::vector<bool> given(3, true);
        auto row = [](int id, const std::string& u) {
            return std::vector<Variant>{Variant::longInt(id), u.empty() ? Variant() : Variant::text(u), Variant::longInt(id % 7)};
        };
        int refusedRows = 0;
        for (int i = 0; i < 3000; ++i) {
            EXPECT_EQ("", w.insert(row(i, i % 5 == 0 ? "" : "k" + std::to_string(i)), given));
            // Keys from long ago (already written early) and just now are refused.
            if (i % 250 == 0 && i > 0) {
                refusedRows += w.insert(row(i, "k" + std::to_string(i - 1)), given) == "unique index";
                refusedRows += w.insert(row(1, "fresh" + std::to_string(i)), given) == "unique index";
            }
        }
        EXPECT_EQ(2 * 11, refusedRows);
        // Delete every tenth row (IDs 1, 11, ...), found through the scan in storage order.
        std::vector<jet::RowPointer> rows;
        jet::TableScan scan(file, w.table());
        while (scan.next()) rows.push_back(scan.where());
        ASSERT_EQ(3000u, rows.size());
        for (size_t k = 1; k < rows.size(); k += 10) w.remove(rows[k]);
        // A deleted row's key is free again.
        EXPECT_EQ("", w.insert(row(3000, "k1"), given));
        EXPECT_EQ("unique index", w.insert(row(3001, "k2"), given));
        w.flush();
        file.commit();
    }
    EXPECT_EQ(std::vector<std::string>{}, indexProblems(path));
    Database db = openWritable(path);
    EXPECT_EQ(2701, db.TableDefs().Item("T").RecordCount());
}

// An index found empty is filled in memory; changing or deleting a row then
// writes what it holds and streams from there, in the same transaction.
TEST(OneWritePath, ATableFilledFromEmptyTakesUpdatesAndDeletesInTheSameTransaction) {
    TempDir dir;
    const auto path = tableT(dir / "t.mdb", 0);
    {
        Database db = openWritable(path);
        db.BeginTrans();
        for (int i = 1; i <= 5; ++i)
            db.Execute("INSERT INTO T VALUES (" + std::to_string(i) + ", 'u" + std::to_string(i) + "', " + std::to_string(i % 2) + ")");
        db.Execute("INSERT INTO T VALUES (6, 'u5', 0)");
        EXPECT_EQ(1, refused(db, "unique index"));
        // Keys out of order from here on.
        db.Execute("INSERT INTO T VALUES (0, 'a', 0)");
        EXPECT_EQ(1, db.RecordsAffected());
        db.Execute("INSERT INTO T VALUES (8, 'u3', 0)");
        EXPECT_EQ(1, refused(db, "unique index"));
        db.Execute("INSERT INTO T VALUES (3, 'w', 0)");
        EXPECT_EQ(1, refused(db, "unique index"));
        db.Execute("UPDATE T SET U = 'u1' WHERE ID = 2");
        EXPECT_EQ(1, refused(db, "unique index"));
        db.Execute("UPDATE T SET U = 'v' WHERE ID = 2");
        EXPECT_EQ(1, db.RecordsAffected());
        db.Execute("DELETE FROM T WHERE ID = 1");
        db.Execute("INSERT INTO T VALUES (1, 'u2', 1)");
        EXPECT_EQ(1, db.RecordsAffected());
        db.Execute("INSERT INTO T VALUES (7, 'v', 1)");
        EXPECT_EQ(1, refused(db, "unique index"));
        db.CommitTrans();
        EXPECT_EQ((std::map<int, std::string>{{0, "a"}, {1, "u2"}, {2, "v"}, {3, "u3"}, {4, "u4"}, {5, "u5"}}), uById(db));
        db.Close();
    }
    EXPECT_EQ(std::vector<std::string>{}, indexProblems(path));
}

namespace {

std::string last;  // why the last transaction failed

// One transaction of all three statements over T, on `path`, through `engine`.
bool mixedTransaction(const std::filesystem::path& path, const DBEngine& engine) {
    try {
        Database db = openWritable(path, engine);
        db.BeginTrans();
        for (int i = 4; i <= 40; ++i)
            db.Execute("INSERT INTO T VALUES (" + std::to_string(i) + ", 'u" + std::to_string(i) + "', " + std::to_string(i % 3) + ")");
        db.Execute("UPDATE T SET N = 5 WHERE ID < 20");
        db.Execute("UPDATE T SET U = 'z' WHERE ID = 10");
        db.Execute("DELETE FROM T WHERE N = 2");
        db.Execute("INSERT INTO T VALUES (100, 'u10', 0)");
        db.CommitTrans();
        db.Close();
    } catch (const JetError& e) {
        last = e.Description;
        return false;
    }
    return true;
}

}  // namespace

// The power goes at every write and sync of a transaction that inserts,
// updates and deletes through one writer: the file opens again as it was
// before the transaction or after it, its indexes consistent.
TEST(OneWritePath, PowerLossInAMixedTransactionLeavesBeforeOrAfter) {
    TempDir dir;
    const auto master = tableT(dir / "master.mdb", 3);
    const std::string before = fileBytes(master);
    const auto ref = dir / "ref.mdb";
    std::filesystem::copy_file(master, ref);
    auto counting = std::make_shared<test::FaultEnv>();
    DBEngine countingEngine;
    countingEngine.SetEnv(counting);
    ASSERT_TRUE(mixedTransaction(ref, countingEngine)) << last;
    EXPECT_EQ(std::vector<std::string>{}, indexProblems(ref));
    const std::string after = fileBytes(ref);
    const int calls = counting->writesAndSyncs();
    ASSERT_GT(calls, 0);
    for (int k = 1; k <= calls; ++k) {
        for (bool torn : {false, true}) {
            const auto path = dir / "t.mdb";
            std::filesystem::remove(path);
            std::filesystem::remove(jet::Journal::pathFor(platform::Env::system().resolve(path.string())));
            std::filesystem::copy_file(master, path);
            auto env = std::make_shared<test::FaultEnv>();
            env->crashAt = k;
            DBEngine engine;
            engine.SetEnv(env);
            mixedTransaction(path, engine);
            ASSERT_TRUE(env->crashed()) << "k=" << k;
            env->powerLoss(torn, uint32_t(k));
            ASSERT_NO_THROW(openWritable(path).Close()) << "k=" << k;
            const std::string now = fileBytes(path);
            EXPECT_TRUE(now == before || now == after) << "power lost at call " << k << (torn ? " (torn)" : "");
            EXPECT_EQ(std::vector<std::string>{}, indexProblems(path)) << "k=" << k;
        }
    }
    std::printf("mixed transaction: %d power losses (dropped and torn), all before or after\n", 2 * calls);
}

namespace {

// Every data page of table P reads as rows packed from its end in slot
// order, with the free space the page says.
void checkPacked(const std::filesystem::path& path) {
    jet::PageFile f(path.string(), {});
    const jet::Layout l = jet::Layout::forFormat(f.jet3());
    jet::TableDefData t;
    for (const auto& e : jet::readTableCatalog(f))
        if (e.name == "P") t = jet::readTableDef(f, e.tdefPage);
    std::set<uint32_t> pages;
    jet::TableScan scan(f, t, "P");
    while (scan.next()) pages.insert(scan.where().page);
    for (uint32_t pg : pages) {
        SCOPED_TRACE("page " + std::to_string(pg));
        const jet::PageRef p = f.page(pg);
        const jet::Bytes pb(p->data(), p->size());
        const unsigned count = jet::slotCount(l, pb);
        size_t end = l.pageSize;
        for (unsigned i = 0; i < count; ++i) {
            const jet::RowSlot s = jet::slotAt(l, pb, i);
            ASSERT_TRUE(s.valid);
            EXPECT_EQ(s.end, end);
            end = s.start;
        }
        EXPECT_EQ(pb.u16(2), end - (l.dataSlotsAt + 2 * count));
    }
}

}  // namespace

// A row that changes length moves the rows below it on its page; every page
// must still read as rows packed from its end in slot order, with the free
// space the page says, and every row as last written.
TEST(OneWritePath, RowsOfChangingLengthKeepTheirPagesPacked) {
    TempDir dir;
    std::vector<std::string> st = {"CREATE TABLE P (ID LONG CONSTRAINT PrimaryKey PRIMARY KEY, S TEXT(255))"};
    std::map<int, std::string> want;
    for (int i = 1; i <= 120; ++i) {
        want[i] = std::string(size_t(20 + i % 50), char('a' + i % 26));
        st.push_back("INSERT INTO P VALUES (" + std::to_string(i) + ", '" + want[i] + "')");
    }
    const auto path = buildDb(dir / "p.mdb", st);
    std::mt19937 rng(11);
    for (int round = 0; round < 4; ++round) {
        {
            Database db = openWritable(path);
            for (int k = 0; k < 60; ++k) {
                const int id = 1 + int(rng() % 120);
                const size_t len = rng() % 4 == 0 ? 0 : size_t(rng() % 200);
                want[id] = std::string(len, char('A' + rng() % 26));
                db.Execute("UPDATE P SET S = '" + want[id] + "' WHERE ID = " + std::to_string(id));
            }
            db.Close();
        }
        checkPacked(path);
        Database db = openWritable(path);
        std::map<int, std::string> got;
        Recordset rs = db.OpenRecordset("P");
        for (; !rs.EOF_(); rs.MoveNext()) {
            const Variant s = rs.Fields().Item("S").Value();
            got[int(rs.Fields().Item("ID").Value().asInt())] = s.isNull() ? "" : s.str();
        }
        EXPECT_EQ(got, want);
        db.Close();
        EXPECT_INDEXES_CONSISTENT(path);
    }
}
