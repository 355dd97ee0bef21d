// SHA-256 (OpenSSL, which uses the CPU's SHA instructions), for fingerprints
// of binary values in dumps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantrel {

std::string sha256Hex(const uint8_t* data, size_t len);

}  // namespace vantrel
