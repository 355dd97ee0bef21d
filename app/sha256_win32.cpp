#include "sha256.h"
#include "sha256_digest.h"

namespace vantrel {

// No OpenSSL in the Windows build: the digest computed here.
std::string sha256Hex(const uint8_t* data, size_t len) {
    const auto md = sha256Digest(data, len);
    return hexOf(md.data(), md.size());
}

std::string_view sha256Hex(const uint8_t* data, size_t len, char* buf) {
    const std::string hex = sha256Hex(data, len);
    hex.copy(buf, hex.size());
    return {buf, hex.size()};
}

std::array<uint8_t, 32> sha256Bytes(const uint8_t* data, size_t len) { return sha256Digest(data, len); }

}  // namespace vantrel
