// The built-in SHA-256 against published digests and, on Linux, OpenSSL at
// every length around the block boundaries.
#include <gtest/gtest.h>

#include <string>

#include "sha256.h"
#include "sha256_digest.h"

using namespace vantrel;

namespace {
std::string builtIn(const std::string& s) {
    const auto md = sha256Digest(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    return hexOf(md.data(), md.size());
}
}  // namespace

TEST(Sha256, PublishedDigests) {
    EXPECT_EQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", builtIn(""));
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", builtIn("abc"));
    EXPECT_EQ("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1",
              builtIn("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"));
    EXPECT_EQ("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0", builtIn(std::string(1000000, 'a')));
}

TEST(Sha256, AgreesWithTheLinkedDigestAtEveryLengthNearBlockEdges) {
    std::string s;
    for (int n = 0; n <= 200; ++n) {
        const auto md = sha256Digest(reinterpret_cast<const uint8_t*>(s.data()), s.size());
        ASSERT_EQ(sha256Hex(reinterpret_cast<const uint8_t*>(s.data()), s.size()), hexOf(md.data(), md.size()))
            << "length " << n;
        s += char(n * 37 + 11);
    }
}
