// Bounds-checked little-endian reads over a byte range. Every read that would
// leave the range raises FormatError, so damaged files never read past a page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "error.h"

namespace vantrel::jet {

class Bytes {
public:
    Bytes() = default;
    Bytes(const uint8_t* data, size_t size) : p_(data), n_(size) {}
    explicit Bytes(std::span<const uint8_t> s) : p_(s.data()), n_(s.size()) {}

    const uint8_t* data() const { return p_; }
    size_t size() const { return n_; }

    void need(size_t off, size_t len) const {
        if (off > n_ || len > n_ - off) [[unlikely]]
            outside(off, len);
    }
    Bytes sub(size_t off, size_t len) const {
        need(off, len);
        return {p_ + off, len};
    }
    uint8_t u8(size_t off) const {
        need(off, 1);
        return p_[off];
    }
    uint16_t u16(size_t off) const {
        need(off, 2);
        return uint16_t(p_[off] | (p_[off + 1] << 8));
    }
    uint32_t u24(size_t off) const {
        need(off, 3);
        return uint32_t(p_[off]) | (uint32_t(p_[off + 1]) << 8) | (uint32_t(p_[off + 2]) << 16);
    }
    uint32_t u32(size_t off) const {
        need(off, 4);
        return uint32_t(p_[off]) | (uint32_t(p_[off + 1]) << 8) | (uint32_t(p_[off + 2]) << 16) |
               (uint32_t(p_[off + 3]) << 24);
    }
    uint64_t u64(size_t off) const { return uint64_t(u32(off)) | (uint64_t(u32(off + 4)) << 32); }
    int16_t i16(size_t off) const { return int16_t(u16(off)); }
    int32_t i32(size_t off) const { return int32_t(u32(off)); }
    int64_t i64(size_t off) const { return int64_t(u64(off)); }
    double f64(size_t off) const {
        uint64_t v = u64(off);
        double d;
        std::memcpy(&d, &v, 8);
        return d;
    }
    float f32(size_t off) const {
        uint32_t v = u32(off);
        float f;
        std::memcpy(&f, &v, 4);
        return f;
    }
    // Big-endian reads, used by index entries.
    uint32_t be24(size_t off) const {
        need(off, 3);
        return (uint32_t(p_[off]) << 16) | (uint32_t(p_[off + 1]) << 8) | uint32_t(p_[off + 2]);
    }
    uint32_t be32(size_t off) const {
        need(off, 4);
        return (uint32_t(p_[off]) << 24) | (uint32_t(p_[off + 1]) << 16) | (uint32_t(p_[off + 2]) << 8) |
               uint32_t(p_[off + 3]);
    }

private:
    // Kept out of line so that the checks stay small enough to inline.
    [[noreturn, gnu::cold, gnu::noinline]] void outside(size_t off, size_t len) const {
        throw FormatError("read of " + std::to_string(len) + " bytes at " + std::to_string(off) +
                          " leaves a block of " + std::to_string(n_));
    }

    const uint8_t* p_ = nullptr;
    size_t n_ = 0;
};

}  // namespace vantrel::jet
