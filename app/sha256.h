// SHA-256 of a value, as lower-case hexadecimal, for fingerprints of binary
// values in dumps: OpenSSL on Linux (it uses the CPU's SHA instructions),
// the digest of sha256_digest.h on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantrel {

std::string sha256Hex(const uint8_t* data, size_t len);

}  // namespace vantrel
