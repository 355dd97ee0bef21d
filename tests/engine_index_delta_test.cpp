// IndexDelta against a reference the test keeps itself: random gains, losses
// and key changes applied to indexes of one page, several pages and trees of
// several levels, then the opposite changes that bring the index back to
// its rows. Every tree written must walk to the reference, keep its root,
// carry in each node entry the last leaf entry below it, and pass the index
// check once it agrees with the rows again. holds() must answer as the
// reference does, before and after apply().
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <set>

#include "built_db.h"
#include "catalog.h"
#include "index_delta.h"
#include "index_walk.h"
#include "index_write.h"
#include "usage_map.h"
#include "write_helpers.h"

using namespace vantrel;
using namespace vantrel::test;
using jet::RowPointer;

namespace {

using Entries = std::set<std::string>;  // whole entries: key + row pointer

std::string keyOf(const std::string& e) { return e.substr(0, e.size() - 4); }
std::vector<uint8_t> bytesOf(const std::string& s) { return {s.begin(), s.end()}; }
RowPointer rowOf(const std::string& e) {
    const auto* p = reinterpret_cast<const uint8_t*>(e.data()) + e.size() - 4;
    return {uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2], p[3]};
}
std::string whole(const std::string& key, RowPointer rp) {
    return key + char(uint8_t(rp.page >> 16)) + char(uint8_t(rp.page >> 8)) + char(uint8_t(rp.page)) + char(uint8_t(rp.row));
}
bool sameRow(RowPointer a, RowPointer b) { return a.page == b.page && a.row == b.row; }

Entries walkEntries(jet::PageFile& f, const jet::Layout& l, uint32_t root) {
    Entries out;
    jet::walkIndex(f, l, root, [&](jet::Bytes key, RowPointer rp) {
        out.insert(whole(std::string(reinterpret_cast<const char*>(key.data()), key.size()), rp));
    });
    return out;
}

bool refHolds(const Entries& s, const std::string& key, RowPointer self) {
    for (auto it = s.lower_bound(key); it != s.end() && it->compare(0, key.size(), key) == 0; ++it)
        if (it->size() == key.size() + 4 && !sameRow(rowOf(*it), self)) return true;
    return false;
}

uint32_t distinctKeys(const Entries& s) {
    uint32_t n = 0;
    std::string last;
    for (const auto& e : s)
        if (n == 0 || keyOf(e) != last) ++n, last = keyOf(e);
    return n;
}

// The last leaf entry below `pg`, checking on the way that every node entry
// carries the last leaf entry below its child.
std::optional<std::string> lastBelow(jet::PageFile& f, const jet::Layout& l, uint32_t pg, int& levels, bool exact) {
    jet::PageRef p = f.page(pg);
    jet::Bytes pb(p->data(), p->size());
    const auto entries = jet::indexPageEntries(l, pb);
    if (pb.u8(0) == jet::kPageIndexLeaf) {
        levels = 1;
        if (entries.empty()) return std::nullopt;
        return std::string(entries.back().bytes.begin(), entries.back().bytes.end());
    }
    std::optional<std::string> last;
    int below = 0;
    for (const auto& e : entries) {
        const std::string sep(e.bytes.begin(), e.bytes.end() - 4);
        const jet::Bytes eb(e.bytes.data(), e.bytes.size());
        const auto got = lastBelow(f, l, eb.be32(e.bytes.size() - 4), below, exact);
        // Access may leave an entry above its child's last once that is gone.
        if (exact) {
            EXPECT_TRUE(got && *got == sep) << "node page " << pg << " has an entry that is not its child's last";
        } else {
            EXPECT_TRUE(!got || *got <= sep) << "node page " << pg << " has an entry below its child's last";
        }
        last = sep;
    }
    if (const uint32_t tail = pb.u32(l.indexTailAt)) {
        const auto got = lastBelow(f, l, tail, below, exact);
        EXPECT_TRUE(got && (!last || *got > *last)) << "tail of node page " << pg << " is out of order";
        last = got;
    }
    levels = below + 1;
    return last;
}

// The tree below the index's root is sound: tree and leaf chain agree, node
// entries name their child's last entry (are not below it, in trees Access
// wrote), every page is the index's.
int expectSoundTree(jet::PageFile& f, const jet::Layout& l, const jet::TableDefData& t, size_t real, bool exact = true) {
    const auto& ri = t.realIndexes[real];
    jet::IndexTree tree = jet::loadIndexTree(f, l, ri.rootPage);
    EXPECT_EQ(tree.pages.front(), ri.rootPage);
    const auto owned = jet::usageMapPages(f, l, ri.usedPages);
    for (uint32_t pg : tree.pages)
        EXPECT_TRUE(pg == ri.rootPage || std::binary_search(owned.begin(), owned.end(), pg)) << "page " << pg << " not in the index's map";
    int levels = 0;
    lastBelow(f, l, ri.rootPage, levels, exact);
    return levels;
}

uint32_t storedDistinct(jet::PageFile& f, const jet::Layout& l, const jet::TableDefData& t, size_t real) {
    const size_t at = l.tdefBlockEnd + real * l.realIndexSlotSize + 4;
    return jet::Bytes(f.page(t.page)->data(), l.pageSize).u32(at);
}

jet::TableDefData tableNamed(jet::PageFile& f, const std::string& name) {
    for (const auto& e : jet::readTableCatalog(f))
        if (e.name == name) return jet::readTableDef(f, e.tdefPage);
    throw std::runtime_error("no table " + name);
}

jet::PageFile openFile(const std::filesystem::path& db) {
    jet::PageFile::Options opt;
    opt.writable = true;
    return jet::PageFile(db.string(), opt);
}

enum class Mix { Mixed, Grow, Shrink };

struct Outcome {
    int levelsBefore = 0, levelsBetween = 0;
};

// A random change set through one IndexDelta, checked against the reference,
// then its opposite through another, which must give back the first tree's entries.
Outcome exercise(const std::filesystem::path& db, const std::string& table, size_t real, std::mt19937& rng, size_t ops,
                 Mix mix = Mix::Mixed, bool accessWritten = false) {
    Outcome out;
    jet::PageFile::Options opt;
    opt.writable = true;
    opt.cachePages = 8;     // pages leave the cache and
    opt.maxDirtyPages = 8;  // changed pages reach the file while apply() still reads
    Entries before;
    Entries now;
    {
        jet::PageFile f(db.string(), opt);
        const jet::Layout l = jet::Layout::forFormat(f.jet3());
        const jet::TableDefData t = tableNamed(f, table);
        const uint32_t root = t.realIndexes[real].rootPage;
        before = walkEntries(f, l, root);
        out.levelsBefore = expectSoundTree(f, l, t, real, !accessWritten);
        now = before;
        jet::IndexDelta d(f, l, t, real);
        EXPECT_TRUE(d.empty());
        uint32_t fresh = 0;
        auto randomEntry = [&]() -> const std::string& {
            return *std::next(now.begin(), long(std::uniform_int_distribution<size_t>(0, now.size() - 1)(rng)));
        };
        auto randomKey = [&]() -> std::string {
            const unsigned pick = rng() % 20;
            if (pick == 0) return std::string(1, '\0');               // before every key
            if (pick == 1) return std::string(3, char(0xFF));         // after every key
            if (now.empty()) return std::string(1, char(0x7F)) + char(rng() % 256);
            std::string k = keyOf(randomEntry());
            if (pick < 8) return k;                                   // a key the index holds
            k[rng() % k.size()] = char(rng() % 256);                  // one near it
            if (rng() % 3 == 0) k.resize(k.size() + 1 + rng() % 3, char(rng() % 256));
            return k;
        };
        auto query = [&] {
            std::string key = now.empty() || rng() % 4 == 0 ? randomKey() : keyOf(randomEntry());
            RowPointer self{0xABCDE, 7};
            auto it = now.lower_bound(key);
            if (it != now.end() && keyOf(*it) == key && rng() % 2) self = rowOf(*it);
            EXPECT_EQ(d.holds(bytesOf(key), self), refHolds(now, key, self));
        };
        for (size_t i = 0; i < 20; ++i) query();  // the old tree alone
        for (size_t i = 0; i < ops; ++i) {
            unsigned op = rng() % 4;
            if (mix == Mix::Grow) op = rng() % 8 == 0 ? 3 : 1;
            if (mix == Mix::Shrink) op = now.empty() ? 1 : 0;
            if ((op == 0 || op == 2) && now.empty()) op = 1;
            if (op == 0) {  // a row leaves the index
                const std::string e = randomEntry();
                d.change(rowOf(e), bytesOf(keyOf(e)), std::nullopt);
                now.erase(e);
            } else if (op == 1) {  // a row joins it
                const RowPointer rp{0xF00000 + fresh / 200, uint16_t(fresh % 200)};
                ++fresh;
                const std::string k = randomKey();
                d.change(rp, std::nullopt, bytesOf(k));
                now.insert(whole(k, rp));
            } else if (op == 2) {  // a row's key changes
                const std::string e = randomEntry();
                const std::string k = randomKey();
                d.change(rowOf(e), bytesOf(keyOf(e)), bytesOf(k));
                now.erase(e);
                now.insert(whole(k, rowOf(e)));
            } else {
                query();
            }
        }
        d.apply();
        EXPECT_TRUE(d.empty());
        for (size_t i = 0; i < 20; ++i) query();  // the new tree alone
        f.commit();
    }
    {
        jet::PageFile f(db.string(), opt);
        const jet::Layout l = jet::Layout::forFormat(f.jet3());
        const jet::TableDefData t = tableNamed(f, table);
        EXPECT_EQ(walkEntries(f, l, t.realIndexes[real].rootPage), now);
        out.levelsBetween = expectSoundTree(f, l, t, real);
        EXPECT_EQ(storedDistinct(f, l, t, real), distinctKeys(now));
        // Back to the rows' entries.
        jet::IndexDelta back(f, l, t, real);
        std::vector<std::string> gone, come;
        std::set_difference(now.begin(), now.end(), before.begin(), before.end(), std::back_inserter(gone));
        std::set_difference(before.begin(), before.end(), now.begin(), now.end(), std::back_inserter(come));
        for (const auto& e : gone) back.change(rowOf(e), bytesOf(keyOf(e)), std::nullopt);
        for (const auto& e : come) back.change(rowOf(e), std::nullopt, bytesOf(keyOf(e)));
        EXPECT_EQ(back.empty(), gone.empty() && come.empty());
        back.apply();
        f.commit();
    }
    {
        jet::PageFile f(db.string(), opt);
        const jet::Layout l = jet::Layout::forFormat(f.jet3());
        const jet::TableDefData t = tableNamed(f, table);
        EXPECT_EQ(walkEntries(f, l, t.realIndexes[real].rootPage), before);
        expectSoundTree(f, l, t, real);
        if (before != now) {
            EXPECT_EQ(storedDistinct(f, l, t, real), distinctKeys(before));
        }
    }
    return out;
}

std::string randomText(std::mt19937& rng, size_t n) {
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string s;
    for (size_t i = 0; i < n; ++i) s += kChars[rng() % 36];
    return s;
}

// Jet4 tables whose indexes span one page (S), several (M, each key three
// times in N) and three levels (L).
std::filesystem::path builtDb(const TempDir& dir) {
    std::mt19937 rng(20261208);
    std::vector<std::string> sql = {
        "CREATE TABLE S (ID LONG PRIMARY KEY, T TEXT(20))",
        "CREATE INDEX T ON S (T)",
        "CREATE TABLE M (ID LONG PRIMARY KEY, N LONG, T TEXT(100))",
        "CREATE INDEX N ON M (N)",
        "CREATE INDEX T ON M (T DESC)",
        "CREATE TABLE L (ID LONG PRIMARY KEY, T TEXT(255))",
        "CREATE INDEX T ON L (T)",
    };
    for (int i = 1; i <= 20; ++i)
        sql.push_back("INSERT INTO S VALUES (" + std::to_string(i) + ", '" + randomText(rng, 8) + "')");
    for (int i = 1; i <= 1500; ++i)
        sql.push_back("INSERT INTO M VALUES (" + std::to_string(i) + ", " + std::to_string(i * 7919 % 500) + ", '" + randomText(rng, 60) + "')");
    for (int i = 1; i <= 4000; ++i)
        sql.push_back("INSERT INTO L VALUES (" + std::to_string(i) + ", '" + randomText(rng, 150) + "')");
    const auto path = dir / "delta.mdb";
    Database db = DBEngine::Default().CreateDatabase(path.string(), std::string(dbLangGeneral) + ";pwd=bluefinchtea");
    db.BeginTrans();
    for (const auto& s : sql) db.Execute(s);
    db.CommitTrans();
    db.Close();
    return path;
}

size_t indexOnColumn(jet::PageFile& f, const std::string& table, const std::string& column) {
    const jet::TableDefData t = tableNamed(f, table);
    for (size_t r = 0; r < t.realIndexes.size(); ++r) {
        const auto& cols = t.realIndexes[r].columns;
        if (cols.size() == 1 && t.columnByNumber(cols[0].number)->name == column) return r;
    }
    throw std::runtime_error("no index on " + column);
}

class IndexDeltaBuilt : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        master_ = new std::filesystem::path(builtDb(*dir_));
    }
    static void TearDownTestSuite() {
        delete master_;
        delete dir_;
    }
    void SetUp() override {
        db_ = tmp_ / "copy.mdb";
        std::filesystem::copy_file(*master_, db_);
    }
    size_t index(const std::string& table, const std::string& column) {
        jet::PageFile f(db_.string(), {});
        return indexOnColumn(f, table, column);
    }
    void expectRowsAgree() { EXPECT_EQ(indexProblems(db_), std::vector<std::string>{}); }

    static TempDir* dir_;
    static std::filesystem::path* master_;
    TempDir tmp_;
    std::filesystem::path db_;
};
TempDir* IndexDeltaBuilt::dir_ = nullptr;
std::filesystem::path* IndexDeltaBuilt::master_ = nullptr;

TEST_F(IndexDeltaBuilt, OnePageIndex) {
    std::mt19937 rng(1);
    for (int round = 0; round < 5; ++round) {
        const Outcome o = exercise(db_, "S", index("S", "T"), rng, 30);
        EXPECT_EQ(o.levelsBefore, 1);
    }
    exercise(db_, "S", index("S", "ID"), rng, 30);
    expectRowsAgree();
}

TEST_F(IndexDeltaBuilt, SeveralPagesWithRepeatedKeys) {
    std::mt19937 rng(2);
    for (int round = 0; round < 4; ++round) {
        const Outcome o = exercise(db_, "M", index("M", "N"), rng, 300);
        EXPECT_GE(o.levelsBefore, 2);
    }
    exercise(db_, "M", index("M", "T"), rng, 300);
    expectRowsAgree();
}

TEST_F(IndexDeltaBuilt, ManyLevels) {
    std::mt19937 rng(3);
    const size_t t = index("L", "T");
    const Outcome o = exercise(db_, "L", t, rng, 2000);
    EXPECT_GE(o.levelsBefore, 3);
    exercise(db_, "L", t, rng, 20);   // few changes in a large tree
    exercise(db_, "L", index("L", "ID"), rng, 1000);
    expectRowsAgree();
}

TEST_F(IndexDeltaBuilt, GrowsByLevelsAndShrinksToOnePage) {
    std::mt19937 rng(4);
    const Outcome fromLeaf = exercise(db_, "S", index("S", "T"), rng, 3000, Mix::Grow);
    EXPECT_EQ(fromLeaf.levelsBefore, 1);
    EXPECT_GE(fromLeaf.levelsBetween, 2);
    const Outcome grow = exercise(db_, "M", index("M", "T"), rng, 6000, Mix::Grow);
    EXPECT_GT(grow.levelsBetween, grow.levelsBefore);
    const Outcome shrink = exercise(db_, "L", index("L", "T"), rng, 4100, Mix::Shrink);
    EXPECT_EQ(shrink.levelsBetween, 1);
    expectRowsAgree();
}

TEST_F(IndexDeltaBuilt, ChangesThatCancelLeaveTheIndexAlone) {
    jet::PageFile f = openFile(db_);
    const jet::Layout l = jet::Layout::forFormat(f.jet3());
    const jet::TableDefData t = tableNamed(f, "M");
    const size_t real = indexOnColumn(f, "M", "N");
    const Entries start = walkEntries(f, l, t.realIndexes[real].rootPage);
    const std::string e = *std::next(start.begin(), 100);
    const std::vector<uint8_t> k = bytesOf(keyOf(e)), other{0x7F, 1, 2};
    jet::IndexDelta d(f, l, t, real);
    d.change(rowOf(e), k, k);  // the same key: no change
    EXPECT_TRUE(d.empty());
    d.change(rowOf(e), k, other);
    EXPECT_FALSE(d.hasEntry(k, rowOf(e)));
    EXPECT_TRUE(d.hasEntry(other, rowOf(e)));
    d.change(rowOf(e), other, k);  // back again: a lookup sees the two cancel
    EXPECT_TRUE(d.hasEntry(k, rowOf(e)));
    EXPECT_FALSE(d.hasEntry(other, rowOf(e)));
    // Cancelling with no lookup between: apply() folds them.
    d.change(rowOf(e), k, std::nullopt);
    d.change(rowOf(e), std::nullopt, k);
    d.change(rowOf(e), k, other);
    d.change(rowOf(e), other, k);
    d.apply();  // nothing to write
    EXPECT_TRUE(d.empty());
    EXPECT_FALSE(f.changed());
}

TEST_F(IndexDeltaBuilt, AnEntryLostTwiceIsACallersMistake) {
    for (const bool lookup : {false, true}) {
        SCOPED_TRACE(lookup);
        jet::PageFile f = openFile(db_);
        const jet::Layout l = jet::Layout::forFormat(f.jet3());
        const jet::TableDefData t = tableNamed(f, "M");
        const size_t real = indexOnColumn(f, "M", "N");
        const std::string e = *std::next(walkEntries(f, l, t.realIndexes[real].rootPage).begin(), 50);
        jet::IndexDelta d(f, l, t, real);
        d.change(rowOf(e), bytesOf(keyOf(e)), std::nullopt);
        if (lookup) {
            EXPECT_FALSE(d.hasEntry(bytesOf(keyOf(e)), rowOf(e)));
        }
        d.change(rowOf(e), bytesOf(keyOf(e)), std::nullopt);
        // Found at the next lookup, or else before apply() writes anything.
        if (lookup) {
            EXPECT_THROW(d.hasEntry(bytesOf(keyOf(e)), rowOf(e)), std::logic_error);
        } else {
            EXPECT_THROW(d.apply(), std::logic_error);
        }
        EXPECT_FALSE(f.changed());
    }
}

// A change the index contradicts is a damaged index (or a caller's
// mistake): apply() stops with FormatError, and rolling the transaction
// back gives the old tree again, however much of the new one was written.
TEST_F(IndexDeltaBuilt, ChangesTheIndexContradictsAreRefused) {
    for (int which = 0; which < 3; ++which) {
        SCOPED_TRACE(which);
        Entries start;
        {
            jet::PageFile f = openFile(db_);
            const jet::Layout l = jet::Layout::forFormat(f.jet3());
            const jet::TableDefData t = tableNamed(f, "L");
            const size_t real = indexOnColumn(f, "L", "T");
            start = walkEntries(f, l, t.realIndexes[real].rootPage);
            const std::string e = *start.begin();
            jet::IndexDelta d(f, l, t, real);
            if (which == 0) d.change(RowPointer{0xFFFFF, 3}, bytesOf(keyOf(e)), std::nullopt);  // lose what it lacks
            if (which == 1) d.change(rowOf(e), std::nullopt, bytesOf(keyOf(e)));                // gain what it has
            if (which == 2) {  // found only at the end, most of the tree written
                d.change(rowOf(e), bytesOf(keyOf(e)), std::vector<uint8_t>{0x7F, 1});
                d.change(RowPointer{0xFFFFF, 3}, std::vector<uint8_t>(3, 0xFF), std::nullopt);
            }
            EXPECT_THROW(d.apply(), FormatError);
            f.abort();
        }
        expectRowsAgree();
        jet::PageFile f(db_.string(), {});
        const jet::TableDefData t = tableNamed(f, "L");
        EXPECT_EQ(walkEntries(f, jet::Layout::forFormat(f.jet3()), t.realIndexes[indexOnColumn(f, "L", "T")].rootPage), start);
    }
}

std::vector<uint32_t> leafPages(jet::PageFile& f, const jet::Layout& l, uint32_t root) {
    std::vector<uint32_t> out;
    for (uint32_t pg : jet::loadIndexTree(f, l, root).pages)
        if (f.page(pg)->at(0) == jet::kPageIndexLeaf) out.push_back(pg);
    return out;
}

// The whole-index writer (CREATE INDEX, a transaction's commit) shares the
// builder and gives the leaves their pages in key order, so that a walk
// reads them in runs; IndexDelta puts new leaves on old leaves in order.
TEST_F(IndexDeltaBuilt, LeavesFollowEachOtherOnDisk) {
    const size_t real = index("L", "T");
    jet::PageFile f = openFile(db_);
    const jet::Layout l = jet::Layout::forFormat(f.jet3());
    const jet::TableDefData t = tableNamed(f, "L");
    const uint32_t root = t.realIndexes[real].rootPage;
    const std::vector<uint32_t> before = leafPages(f, l, root);
    ASSERT_GT(before.size(), 100u);
    EXPECT_TRUE(std::is_sorted(before.begin(), before.end()));
    // Keys change to keys of the same length: the same pages, in the same order.
    const Entries all = walkEntries(f, l, root);
    jet::IndexDelta d(f, l, t, real);
    std::mt19937 rng(6);
    for (int i = 0; i < 30; ++i) {
        const std::string e = *std::next(all.begin(), long(rng() % all.size()));
        std::string k = keyOf(e);
        k[1 + rng() % (k.size() - 2)] = char(0x60 + rng() % 30);
        d.change(rowOf(e), bytesOf(keyOf(e)), bytesOf(k));
    }
    d.apply();
    std::vector<uint32_t> after = leafPages(f, l, root);
    EXPECT_TRUE(std::is_sorted(after.begin(), after.end()));
    std::vector<uint32_t> common;
    std::set_intersection(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(common));
    EXPECT_GE(common.size() + 2, before.size());
    f.abort();
}

// The unique question as UPDATE asks it: is the key held by another row?
TEST_F(IndexDeltaBuilt, HoldsSeesOtherRowsOnly) {
    jet::PageFile f = openFile(db_);
    const jet::Layout l = jet::Layout::forFormat(f.jet3());
    const jet::TableDefData t = tableNamed(f, "L");
    const size_t real = indexOnColumn(f, "L", "ID");
    const Entries all = walkEntries(f, l, t.realIndexes[real].rootPage);
    jet::IndexDelta d(f, l, t, real);
    for (const auto& e : all) {
        ASSERT_FALSE(d.holds(bytesOf(keyOf(e)), rowOf(e)));
        ASSERT_TRUE(d.holds(bytesOf(keyOf(e)), RowPointer{1, 1}));
    }
    // Two rows swap their keys: each key is held by the other row only.
    const std::string a = *all.begin(), b = *std::next(all.begin(), 2500);
    d.change(rowOf(a), bytesOf(keyOf(a)), bytesOf(keyOf(b)));
    EXPECT_TRUE(d.holds(bytesOf(keyOf(b)), rowOf(b)));
    EXPECT_FALSE(d.holds(bytesOf(keyOf(a)), rowOf(b)));
    d.change(rowOf(b), bytesOf(keyOf(b)), bytesOf(keyOf(a)));
    EXPECT_FALSE(d.holds(bytesOf(keyOf(b)), rowOf(a)));
    EXPECT_TRUE(d.holds(bytesOf(keyOf(b)), rowOf(b)));
    EXPECT_TRUE(d.holds(bytesOf(keyOf(a)), rowOf(a)));
}

// Indexes Access wrote: Jet3, Jet4 and ACE copies of corpus files.
void exerciseCorpus(const std::string& name, const std::filesystem::path& source) {
    if (!std::filesystem::exists(source)) GTEST_SKIP() << "skipped: " << source << " is absent (the shared corpus is not beside the project)";
    TempDir dir;
    const auto db = dir / name;
    std::filesystem::copy_file(source, db);
    std::filesystem::permissions(db, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    const auto problems = indexProblems(db);
    std::vector<std::pair<std::string, size_t>> indexes;
    {
        jet::PageFile f(db.string(), {});
        for (const auto& e : jet::readTableCatalog(f)) {
            if (!e.local()) continue;
            const jet::TableDefData t = jet::readTableDef(f, e.tdefPage);
            for (size_t r = 0; r < t.realIndexes.size(); ++r) indexes.emplace_back(e.name, r);
        }
    }
    ASSERT_FALSE(indexes.empty());
    std::mt19937 rng(5);
    int multiLevel = 0;
    for (const auto& [table, real] : indexes) {
        SCOPED_TRACE(table + " index " + std::to_string(real));
        multiLevel += exercise(db, table, real, rng, 200, Mix::Mixed, true).levelsBefore > 1;
    }
    ::testing::Test::RecordProperty("multi_level_indexes", multiLevel);
    EXPECT_GT(multiLevel, 0) << "no index of several levels in " << name;
    EXPECT_EQ(indexProblems(db), problems);
}

TEST(IndexDeltaCorpus, Jet3) { exerciseCorpus("nwind97.mdb", corpusFile("ex-mdbtools-nwind97.mdb")); }
TEST(IndexDeltaCorpus, Jet4) { exerciseCorpus("lordkarnak.mdb", corpusFile("nw-lordkarnak.mdb")); }
TEST(IndexDeltaCorpus, Ace) {
    exerciseCorpus("binIdx.accdb", sharedDir() / "corpus-ace" / "jk-V2010-binIdxTestV2010.accdb");
}

}  // namespace

TEST(IndexEntryOrder, EntriesCompareAsUnsignedBytesThenByLength) {
    std::mt19937 rng(3);
    for (int i = 0; i < 20000; ++i) {
        std::vector<uint8_t> a(rng() % 24), b;
        for (auto& x : a) x = uint8_t(rng() % 4 == 0 ? 0xFF : rng() % 3);
        b = a;
        if (rng() % 2 && !b.empty()) b[rng() % b.size()] = uint8_t(rng());
        if (rng() % 3 == 0) b.resize(rng() % 24, uint8_t(rng() % 2));
        const bool less = std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
        const bool more = std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end());
        const int c = jet::compareBytes(a.data(), a.size(), b.data(), b.size());
        EXPECT_EQ(c < 0, less);
        EXPECT_EQ(c > 0, more);
    }
}
