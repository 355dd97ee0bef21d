// Reading ahead in a transaction that added pages: the pages after the one
// asked for may be new ones still held in memory, not yet in the file.
#include <gtest/gtest.h>

#include "built_db.h"
#include "corpus.h"
#include "page_file.h"

using namespace vantrel;
using namespace vantrel::test;

TEST(PageFileReadAhead, StopsAtPagesNotWrittenYet) {
    TempDir dir;
    const auto db = buildDb(dir / "a.mdb", projectStatements());
    jet::PageFile::Options opt;
    opt.writable = true;
    opt.cachePages = 2;
    opt.maxDirtyPages = 2;  // every second new page sends the ones before to the file
    jet::PageFile f(db.string(), opt);
    std::vector<uint32_t> added;
    for (int i = 0; i < 7; ++i) {
        added.push_back(f.appendPage());
        f.modify(added.back())[0] = uint8_t(0x40 + i);
    }
    // A miss on the page before the first new one, then on the first new
    // one: a scan, read in one run that reaches past what the file holds.
    f.page(added.front() - 1);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(f.page(added[size_t(i)])->at(0), 0x40 + i) << "page " << added[size_t(i)];
    f.abort();
}
