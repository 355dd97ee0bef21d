// SHA-256, for fingerprints of binary values in dumps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantrel {

std::string sha256Hex(const uint8_t* data, size_t len);

}  // namespace vantrel
