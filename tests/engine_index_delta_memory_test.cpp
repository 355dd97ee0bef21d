// A few changes to a large index cost memory in proportion to the changes:
// IndexDelta::apply() streams the old entries instead of loading them. The
// heap in use is sampled (glibc's counters) before every page the file
// writes, with a small page cache and few changed pages held, so that a
// load of the whole index would show.
#include <gtest/gtest.h>

#include <malloc.h>

#include <algorithm>
#include <random>

#include "catalog.h"
#include "dao.h"
#include "index_delta.h"
#include "index_walk.h"
#include "write_helpers.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

size_t heapInUse() {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

TEST(IndexDeltaMemory, FewChangesToALargeIndexStream) {
    constexpr int kRows = 300000;
    TempDir dir;
    const auto path = dir / "large.mdb";
    {
        Database db = DBEngine::Default().CreateDatabase(path.string(), std::string(dbLangGeneral) + ";pwd=bluefinchtea");
        db.Execute("CREATE TABLE Big (ID LONG, Code TEXT(30))");
        db.Execute("CREATE INDEX Code ON Big (Code)");
        db.BeginTrans();
        for (int i = 0; i < kRows; ++i) {
            const int v = int((uint64_t(i) * 2654435761u) % 1000000007u);
            db.Execute("INSERT INTO Big VALUES (" + std::to_string(i) + ", 'CODE-" + std::to_string(v) + "-X')");
        }
        db.CommitTrans();
        db.Close();
    }

    size_t peak = 0;
    jet::PageFile::Options opt;
    opt.writable = true;
    opt.cachePages = 16;
    opt.maxDirtyPages = 16;
    opt.beforeWrite = [&](uint32_t) { peak = std::max(peak, heapInUse()); };
    jet::PageFile f(path.string(), opt);
    const jet::Layout l = jet::Layout::forFormat(f.jet3());
    jet::TableDefData t;
    for (const auto& e : jet::readTableCatalog(f))
        if (e.name == "Big") t = jet::readTableDef(f, e.tdefPage);
    ASSERT_EQ(t.realIndexes.size(), 1u);

    // A few entries, picked along one walk (which holds nothing either).
    std::vector<std::pair<std::vector<uint8_t>, jet::RowPointer>> picked;
    size_t entries = 0, entryBytes = 0;
    jet::walkIndex(f, l, t.realIndexes[0].rootPage, [&](jet::Bytes key, jet::RowPointer rp) {
        if (entries++ % 10000 == 0) picked.emplace_back(std::vector<uint8_t>(key.data(), key.data() + key.size()), rp);
        entryBytes += key.size() + 4;
    });
    ASSERT_EQ(entries, size_t(kRows));

    const size_t base = heapInUse();
    peak = base;
    jet::IndexDelta d(f, l, t, 0);
    for (auto& [key, rp] : picked) {
        std::vector<uint8_t> moved = key;
        moved.back() ^= 1;
        EXPECT_TRUE(d.holds(key, jet::RowPointer{1, 1}));
        d.change(rp, key, moved);
    }
    d.apply();
    peak = std::max(peak, heapInUse());
    f.commit();
    const size_t growth = peak - base;
    RecordProperty("index_bytes", int(entryBytes));
    RecordProperty("heap_growth_bytes", int(growth));
    // Loading the index would hold every entry: several megabytes here.
    EXPECT_GT(entryBytes, size_t(5) << 20);
    EXPECT_LT(growth, size_t(1) << 20) << "apply() grew the heap by " << growth << " bytes for " << picked.size()
                                       << " changes to an index of " << entryBytes << " bytes";

    size_t after = 0;
    jet::walkIndex(f, l, t.realIndexes[0].rootPage, [&](jet::Bytes, jet::RowPointer) { ++after; });
    EXPECT_EQ(after, size_t(kRows));
}

}  // namespace
