#include "page_cache.h"

#include <utility>

namespace vantrel::jet {

PageCache::PageCache(size_t capacity) : capacity_(capacity ? capacity : 1) {
    slots_.reserve(capacity_);
    index_.reserve(capacity_);
}

void PageCache::unlink(uint32_t s) {
    Slot& x = slots_[s];
    (x.prev == kNone ? head_ : slots_[x.prev].next) = x.next;
    (x.next == kNone ? tail_ : slots_[x.next].prev) = x.prev;
    x.prev = x.next = kNone;
}

void PageCache::pushFront(uint32_t s) {
    Slot& x = slots_[s];
    x.prev = kNone;
    x.next = head_;
    if (head_ != kNone) slots_[head_].prev = s;
    head_ = s;
    if (tail_ == kNone) tail_ = s;
}

PageRef PageCache::find(uint32_t n) {
    auto it = index_.find(n);
    if (it == index_.end()) return nullptr;
    if (it->second != head_) {
        unlink(it->second);
        pushFront(it->second);
    }
    return slots_[it->second].ref;
}

void PageCache::put(uint32_t n, PageRef ref) {
    if (auto it = index_.find(n); it != index_.end()) {
        release(std::exchange(slots_[it->second].ref, std::move(ref)));
        if (it->second != head_) {
            unlink(it->second);
            pushFront(it->second);
        }
        return;
    }
    uint32_t s;
    if (index_.size() >= capacity_) {
        s = tail_;
        unlink(s);
        index_.erase(slots_[s].page);
        release(std::move(slots_[s].ref));
    } else if (!freeSlots_.empty()) {
        s = freeSlots_.back();
        freeSlots_.pop_back();
    } else {
        s = uint32_t(slots_.size());
        slots_.emplace_back();
    }
    slots_[s].page = n;
    slots_[s].ref = std::move(ref);
    pushFront(s);
    index_.emplace(n, s);
}

void PageCache::erase(uint32_t n) {
    auto it = index_.find(n);
    if (it == index_.end()) return;
    const uint32_t s = it->second;
    unlink(s);
    release(std::move(slots_[s].ref));
    slots_[s].ref = nullptr;
    index_.erase(it);
    freeSlots_.push_back(s);
}

void PageCache::clear() {
    slots_.clear();
    freeSlots_.clear();
    index_.clear();
    head_ = tail_ = kNone;
}

void PageCache::release(PageRef ref) {
    // Only a buffer nobody else holds may be written again; it was made
    // writable (fresh() or a changed page), so the const goes with it.
    if (ref && ref.use_count() == 1 && spares_.size() < kSpares) spares_.push_back(std::const_pointer_cast<PageBuf>(std::move(ref)));
}

std::shared_ptr<PageBuf> PageCache::fresh(size_t size) {
    if (spares_.empty()) return std::make_shared<PageBuf>(size);
    std::shared_ptr<PageBuf> b = std::move(spares_.back());
    spares_.pop_back();
    b->resize(size);
    return b;
}

}  // namespace vantrel::jet
