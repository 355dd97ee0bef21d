// Unsigned 128-bit integers: the magnitudes of Jet's decimal values (up to
// 38 digits). Two 64-bit halves, so that 32-bit targets, whose compilers have
// no 128-bit integer type, compute the same values as 64-bit ones. Arithmetic
// wraps modulo 2^128 as unsigned integers do; conversions to narrower
// integers keep the low bits; conversion to double rounds to nearest.
#pragma once

#include <bit>
#include <cmath>
#include <concepts>
#include <cstdint>

namespace vantrel {

class uint128 {
public:
    constexpr uint128() = default;
    // Any integer, as a built-in conversion to an unsigned type gives it:
    // a negative value wraps (is sign-extended).
    template <std::integral T>
    constexpr uint128(T v) : lo_(uint64_t(v)), hi_(negative(v) ? ~uint64_t(0) : 0) {}
    static constexpr uint128 fromHalves(uint64_t hi, uint64_t lo) {
        uint128 r;
        r.hi_ = hi;
        r.lo_ = lo;
        return r;
    }

    template <std::integral T>
    constexpr explicit operator T() const {
        return T(lo_);
    }
    constexpr explicit operator bool() const { return lo_ | hi_; }
    explicit operator double() const {
        if (!hi_) return double(lo_);
        // The top 64 bits, with a bit set at the bottom when anything below
        // them is not zero, round to a double as the whole number would.
        const int drop = 64 - std::countl_zero(hi_);  // 1 to 64 low bits fall off
        uint64_t top = drop == 64 ? hi_ : (hi_ << (64 - drop)) | (lo_ >> drop);
        const uint64_t lost = drop == 64 ? lo_ : lo_ << (64 - drop);
        if (lost) top |= 1;
        return std::ldexp(double(top), drop);
    }

    constexpr uint64_t high() const { return hi_; }
    constexpr uint64_t low() const { return lo_; }

    friend constexpr bool operator==(const uint128& a, const uint128& b) = default;
    friend constexpr auto operator<=>(uint128 a, uint128 b) { return a.hi_ != b.hi_ ? a.hi_ <=> b.hi_ : a.lo_ <=> b.lo_; }

    friend constexpr uint128 operator~(uint128 a) { return fromHalves(~a.hi_, ~a.lo_); }
    friend constexpr uint128 operator|(uint128 a, uint128 b) { return fromHalves(a.hi_ | b.hi_, a.lo_ | b.lo_); }
    friend constexpr uint128 operator&(uint128 a, uint128 b) { return fromHalves(a.hi_ & b.hi_, a.lo_ & b.lo_); }
    friend constexpr uint128 operator<<(uint128 a, int n) {
        if (n <= 0) return a;
        if (n >= 128) return {};
        if (n >= 64) return fromHalves(a.lo_ << (n - 64), 0);
        return fromHalves((a.hi_ << n) | (a.lo_ >> (64 - n)), a.lo_ << n);
    }
    friend constexpr uint128 operator>>(uint128 a, int n) {
        if (n <= 0) return a;
        if (n >= 128) return {};
        if (n >= 64) return fromHalves(0, a.hi_ >> (n - 64));
        return fromHalves(a.hi_ >> n, (a.lo_ >> n) | (a.hi_ << (64 - n)));
    }

    friend constexpr uint128 operator+(uint128 a, uint128 b) {
        const uint64_t lo = a.lo_ + b.lo_;
        return fromHalves(a.hi_ + b.hi_ + (lo < a.lo_), lo);
    }
    friend constexpr uint128 operator-(uint128 a, uint128 b) { return fromHalves(a.hi_ - b.hi_ - (a.lo_ < b.lo_), a.lo_ - b.lo_); }
    friend constexpr uint128 operator*(uint128 a, uint128 b) {
        uint128 r = mul64(a.lo_, b.lo_);
        r.hi_ += a.hi_ * b.lo_ + a.lo_ * b.hi_;
        return r;
    }
    friend constexpr uint128 operator/(uint128 a, uint128 b) { return divide(a, b, nullptr); }
    friend constexpr uint128 operator%(uint128 a, uint128 b) {
        uint128 rest;
        divide(a, b, &rest);
        return rest;
    }

    constexpr uint128& operator+=(uint128 b) { return *this = *this + b; }
    constexpr uint128& operator*=(uint128 b) { return *this = *this * b; }
    constexpr uint128& operator/=(uint128 b) { return *this = *this / b; }

private:
    template <typename T>
    static constexpr bool negative(T v) {
        if constexpr (std::signed_integral<T>)
            return v < 0;
        else
            return false;
    }

    // The full product of two 64-bit numbers, from their 32-bit halves.
    static constexpr uint128 mul64(uint64_t a, uint64_t b) {
        const uint64_t a0 = uint32_t(a), a1 = a >> 32, b0 = uint32_t(b), b1 = b >> 32;
        const uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
        const uint64_t mid = (p00 >> 32) + uint32_t(p01) + uint32_t(p10);
        return fromHalves(p11 + (p01 >> 32) + (p10 >> 32) + (mid >> 32), (mid << 32) | uint32_t(p00));
    }

    // a / b, and the rest in *rest. Dividing by zero is the caller's fault,
    // as for built-in integers; here it gives all ones.
    static constexpr uint128 divide(uint128 a, uint128 b, uint128* rest) {
        if (!b) {
            if (rest) *rest = a;
            return ~uint128();
        }
        if (!b.hi_ && b.lo_ <= 0xFFFFFFFFu) {
            // Four 32-bit digits, each step's dividend fits 64 bits.
            const uint64_t d = b.lo_;
            uint64_t r = 0, q[4] = {};
            const uint64_t digits[4] = {a.hi_ >> 32, uint32_t(a.hi_), a.lo_ >> 32, uint32_t(a.lo_)};
            for (int i = 0; i < 4; ++i) {
                const uint64_t x = (r << 32) | digits[i];
                q[i] = x / d;
                r = x % d;
            }
            if (rest) *rest = r;
            return fromHalves((q[0] << 32) | q[1], (q[2] << 32) | q[3]);
        }
        // Bit by bit: wide divisors are rare (none in the engine's own use).
        uint128 q, r;
        for (int i = 127; i >= 0; --i) {
            r = (r << 1) | ((a >> i) & 1);
            if (r >= b) {
                r = r - b;
                q = q | (uint128(1) << i);
            }
        }
        if (rest) *rest = r;
        return q;
    }

    uint64_t lo_ = 0, hi_ = 0;
};

// The magnitude of a signed 64-bit integer (INT64_MIN's included).
constexpr uint64_t magnitudeOf(int64_t v) { return v < 0 ? uint64_t(0) - uint64_t(v) : uint64_t(v); }

}  // namespace vantrel
