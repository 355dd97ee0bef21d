// SHA-256 of a value, as lower-case hexadecimal, for fingerprints of binary
// values in dumps: OpenSSL on Linux (it uses the CPU's SHA instructions),
// the digest of sha256_digest.h on Windows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel {

std::string sha256Hex(const uint8_t* data, size_t len);
// The same in buf (64 bytes), without allocating.
std::string_view sha256Hex(const uint8_t* data, size_t len, char* buf);
// The 32 bytes themselves.
std::array<uint8_t, 32> sha256Bytes(const uint8_t* data, size_t len);

}  // namespace vantrel
