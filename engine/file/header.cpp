#include "header.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "error.h"
#include "rc4.h"
#include "text_codec.h"

namespace vantrel::jet {

namespace {
constexpr uint8_t kHeaderKey[4] = {0xC7, 0xDA, 0x39, 0x6B};
constexpr size_t kMaskStart = 0x18;
constexpr size_t kPasswordAt = 0x42;

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }
}  // namespace

bool Header::hasPassword() const {
    return std::any_of(passwordBytes.begin(), passwordBytes.end(), [](uint8_t b) { return b != 0; });
}

bool parseHeader(std::span<const uint8_t> page0, Header& h) {
    if (page0.size() < kHeaderBytes) return false;
    static const char jet[] = "Standard Jet DB";
    static const char ace[] = "Standard ACE DB";
    if (page0[0] != 0 || (std::memcmp(page0.data() + 4, jet, 16) != 0 && std::memcmp(page0.data() + 4, ace, 16) != 0))
        return false;
    h.versionByte = page0[0x14];
    h.format = h.versionByte == 0 ? Format::Jet3 : h.versionByte == 1 ? Format::Jet4 : Format::Ace;
    h.pageSize = h.jet3() ? 2048 : 4096;

    const size_t maskLen = h.jet3() ? 126 : 128;
    std::vector<uint8_t> plain(page0.begin(), page0.begin() + kHeaderBytes);
    Rc4 rc4(kHeaderKey, 4);
    rc4.apply(plain.data() + kMaskStart, maskLen);

    h.codePage = le16(&plain[0x3C]);
    h.encodingKey = le32(&plain[0x3E]);
    h.sortOrder = h.jet3() ? le16(&plain[0x3A]) : le32(&plain[0x6E]);
    if (!h.jet3()) std::memcpy(&h.creationDate, &plain[0x72], 8);

    const size_t pwLen = h.jet3() ? 20 : 40;
    h.passwordBytes.assign(plain.begin() + kPasswordAt, plain.begin() + kPasswordAt + pwLen);
    if (!h.jet3()) {
        double day = std::isfinite(h.creationDate) ? std::floor(h.creationDate) : 0.0;
        int32_t d = (day >= -2147483648.0 && day <= 2147483647.0) ? int32_t(day) : 0;
        uint8_t mask[4] = {uint8_t(d), uint8_t(d >> 8), uint8_t(d >> 16), uint8_t(d >> 24)};
        for (size_t i = 0; i < pwLen; ++i) h.passwordBytes[i] ^= mask[i % 4];
    }
    return true;
}

std::vector<uint8_t> buildJet4Header(double creationDate, const std::string& password) {
    std::vector<uint8_t> page(4096, 0);
    static const char jet[] = "Standard Jet DB";
    page[1] = 0x01;
    std::memcpy(page.data() + 4, jet, 16);
    page[0x14] = 0x01;  // Jet4
    // The masked block as Jet 4 writes it for a new database.
    for (uint8_t i = 0; i < 6; ++i) page[0x18 + 4 * i] = i;
    page[0x19] = 0x01;
    page[0x1D] = 0x01;
    page[0x3C] = 0xE4;  // code page 1252
    page[0x3D] = 0x04;
    const std::u16string pw = utf8ToUtf16(password);
    if (pw.size() > 20) throw err::badPassword();
    for (size_t i = 0; i < pw.size(); ++i) {
        page[kPasswordAt + 2 * i] = uint8_t(pw[i]);
        page[kPasswordAt + 2 * i + 1] = uint8_t(pw[i] >> 8);
    }
    // The password area is masked with the creation day.
    const int32_t day = int32_t(std::floor(creationDate));
    const uint8_t mask[4] = {uint8_t(day), uint8_t(day >> 8), uint8_t(day >> 16), uint8_t(day >> 24)};
    for (size_t i = 0; i < 40; ++i) page[kPasswordAt + i] ^= mask[i % 4];
    page[0x6A] = 0xA6;
    page[0x6B] = 0x11;
    page[0x6E] = 0x09;  // sort order 1033, General
    page[0x6F] = 0x04;
    std::memcpy(page.data() + 0x72, &creationDate, 8);
    Rc4 rc4(kHeaderKey, 4);
    rc4.apply(page.data() + kMaskStart, 128);
    page[0x98] = 0x54;
    page[0x99] = 0x06;
    std::memcpy(page.data() + 0x9C, "4.0", 4);
    page[0xE00] = 0x01;
    for (size_t i = 0xE01; i < 0x1000; i += 2) page[i] = 0x01;
    return page;
}

bool passwordMatches(const Header& h, const std::string& password) {
    if (!h.hasPassword()) return true;
    std::string stored;
    if (h.jet3()) {
        size_t n = 0;
        while (n < h.passwordBytes.size() && h.passwordBytes[n] != 0) ++n;
        stored = decodeCodePage(h.passwordBytes.data(), n, h.codePage);
    } else {
        size_t n = 0;
        while (n + 1 < h.passwordBytes.size() && (h.passwordBytes[n] | h.passwordBytes[n + 1]) != 0) n += 2;
        stored = decodeUtf16(h.passwordBytes.data(), n);
    }
    return stored == password;
}

std::string passwordFromConnect(const std::string& connect) {
    // ";pwd=secret" or "MS Access;PWD=secret;..." : keys are case-insensitive,
    // the value runs to the next semicolon.
    size_t pos = 0;
    while (pos <= connect.size()) {
        size_t end = connect.find(';', pos);
        if (end == std::string::npos) end = connect.size();
        std::string part = connect.substr(pos, end - pos);
        if (part.size() >= 4) {
            std::string key = part.substr(0, 4);
            std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return char(std::tolower(c)); });
            if (key == "pwd=") return part.substr(4);
        }
        pos = end + 1;
    }
    return {};
}

}  // namespace vantrel::jet
