// SHA-256 computed here, without a library: for systems where OpenSSL is not
// linked in (the Windows build). FIPS 180-4; checked against OpenSSL in the tests.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vantrel {

std::array<uint8_t, 32> sha256Digest(const uint8_t* data, size_t len);

// Lower-case hexadecimal of bytes.
std::string hexOf(const uint8_t* p, size_t n);

}  // namespace vantrel
