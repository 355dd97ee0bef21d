#include "sha256.h"

#include <openssl/evp.h>

#include <memory>

namespace vantrel {

namespace {
struct CtxFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
}  // namespace

std::array<uint8_t, 32> sha256Bytes(const uint8_t* data, size_t len) {
    // Fetched once: looking the digest up is dearer than hashing a short
    // value, and so is making a context per value (a dump hashes every binary
    // value). The context holds nothing from one call to the next: each call
    // starts it afresh.
    static EVP_MD* const sha256 = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    thread_local const std::unique_ptr<EVP_MD_CTX, CtxFree> ctx(EVP_MD_CTX_new());
    std::array<uint8_t, 32> md{};
    unsigned int mdLen = 0;
    if (!ctx || !EVP_DigestInit_ex2(ctx.get(), sha256, nullptr) || !EVP_DigestUpdate(ctx.get(), data, len) ||
        !EVP_DigestFinal_ex(ctx.get(), md.data(), &mdLen))
        EVP_Digest(data, len, md.data(), &mdLen, sha256, nullptr);
    return md;
}

std::string_view sha256Hex(const uint8_t* data, size_t len, char* buf) {
    const std::array<uint8_t, 32> md = sha256Bytes(data, len);
    static const char hex[] = "0123456789abcdef";
    for (size_t i = 0; i < md.size(); ++i) {
        buf[2 * i] = hex[md[i] >> 4];
        buf[2 * i + 1] = hex[md[i] & 15];
    }
    return {buf, 2 * md.size()};
}

std::string sha256Hex(const uint8_t* data, size_t len) {
    char buf[64];
    return std::string(sha256Hex(data, len, buf));
}

}  // namespace vantrel
