// The pages read lately, most recently used first, at most `capacity` of
// them, so that memory stays flat whatever the file's size.
//
// Invariants: a page is held at most once, with the newest bytes put for
// it; a buffer the cache lets go of and nobody else holds is kept (a few)
// and handed out again by fresh(), so reading a file does not allocate a
// page at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace vantrel::jet {

using PageBuf = std::vector<uint8_t>;
using PageRef = std::shared_ptr<const PageBuf>;

class PageCache {
public:
    explicit PageCache(size_t capacity);

    // The page's bytes, now the most recently used; null when not held.
    PageRef find(uint32_t n);
    // Holds `ref` as page n (replacing what was held), letting the least
    // recently used page go when full.
    void put(uint32_t n, PageRef ref);
    void erase(uint32_t n);
    void clear();
    // A buffer of `size` bytes (contents undefined) for a page about to be read.
    std::shared_ptr<PageBuf> fresh(size_t size);

private:
    static constexpr uint32_t kNone = 0xFFFFFFFFu;
    // Enough for the changed pages a spill hands back to the cache.
    static constexpr size_t kSpares = 2048;
    struct Slot {
        uint32_t page = 0;
        uint32_t prev = kNone, next = kNone;
        PageRef ref;
    };
    void unlink(uint32_t s);
    void pushFront(uint32_t s);
    void release(PageRef ref);

    size_t capacity_;
    std::vector<Slot> slots_;
    std::vector<uint32_t> freeSlots_;
    uint32_t head_ = kNone, tail_ = kNone;
    std::unordered_map<uint32_t, uint32_t> index_;  // page -> slot
    std::vector<std::shared_ptr<PageBuf>> spares_;
};

}  // namespace vantrel::jet
