// The page cache keeps the pages used last and reuses the buffers of pages
// it let go of, never one somebody still holds.
#include <gtest/gtest.h>

#include "page_cache.h"

using namespace vantrel::jet;

namespace {

PageRef pageOf(uint8_t fill) { return std::make_shared<PageBuf>(16, fill); }

}  // namespace

TEST(PageCache, KeepsTheMostRecentlyUsedPages) {
    PageCache c(3);
    c.put(1, pageOf(1));
    c.put(2, pageOf(2));
    c.put(3, pageOf(3));
    ASSERT_NE(c.find(1), nullptr);  // 1 used again: 2 is now the oldest
    c.put(4, pageOf(4));
    EXPECT_EQ(c.find(2), nullptr);
    for (uint32_t n : {1u, 3u, 4u}) {
        const PageRef p = c.find(n);
        ASSERT_NE(p, nullptr) << n;
        EXPECT_EQ((*p)[0], n);
    }
    // The newest bytes put for a page win, and a page erased is gone.
    c.put(3, pageOf(33));
    EXPECT_EQ((*c.find(3))[0], 33);
    c.erase(3);
    EXPECT_EQ(c.find(3), nullptr);
    c.put(5, pageOf(5));
    c.put(6, pageOf(6));
    EXPECT_EQ(c.find(1), nullptr);
    EXPECT_NE(c.find(4), nullptr);
    c.clear();
    EXPECT_EQ(c.find(4), nullptr);
}

TEST(PageCache, ReusesOnlyBuffersNobodyHolds) {
    PageCache c(2);
    c.put(1, c.fresh(16));
    const PageRef held = c.find(1);
    const PageBuf* heldBytes = held.get();
    c.put(2, c.fresh(16));
    c.put(3, c.fresh(16));  // page 1 leaves the cache, but `held` still reads it
    c.put(4, c.fresh(16));  // page 2 leaves it, held by nobody
    std::shared_ptr<PageBuf> a = c.fresh(16);
    std::shared_ptr<PageBuf> b = c.fresh(16);
    EXPECT_NE(a.get(), heldBytes);
    EXPECT_NE(b.get(), heldBytes);
    EXPECT_EQ(held.use_count(), 1);
    EXPECT_EQ(a->size(), 16u);
}
