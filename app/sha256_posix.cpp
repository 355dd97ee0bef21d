#include "sha256.h"

#include <openssl/evp.h>

namespace vantrel {

std::string sha256Hex(const uint8_t* data, size_t len) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int mdLen = 0;
    // Fetched once: looking the digest up is dearer than hashing a short value.
    static EVP_MD* const sha256 = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    EVP_Digest(data, len, md, &mdLen, sha256, nullptr);
    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * mdLen);
    for (unsigned i = 0; i < mdLen; ++i) {
        out += hex[md[i] >> 4];
        out += hex[md[i] & 15];
    }
    return out;
}

}  // namespace vantrel
