// The database definition page (page 0): format, page size, code page, sort
// order, creation date, page-encoding key and the database password.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vantrel::jet {

enum class Format { Jet3, Jet4, Ace };

struct Header {
    Format format = Format::Jet4;
    uint8_t versionByte = 0;
    uint32_t pageSize = 4096;
    uint16_t codePage = 1252;
    uint32_t sortOrder = 0;
    double creationDate = 0;
    uint32_t encodingKey = 0;             // non-zero: pages after 0 are RC4-encoded
    std::vector<uint8_t> passwordBytes;   // unmasked; all zero when there is none

    bool jet3() const { return format == Format::Jet3; }
    bool hasPassword() const;
};

// Smallest prefix of the file parseHeader needs.
constexpr size_t kHeaderBytes = 0x18 + 128 + 8;

// Parses page 0; returns false when the bytes are not a Jet or ACE database.
bool parseHeader(std::span<const uint8_t> page0, Header& out);

// Page 0 of a new Jet4 database: code page 1252, General sort order, no page
// encoding, the given creation date and password (UTF-8, at most 20 characters).
std::vector<uint8_t> buildJet4Header(double creationDate, const std::string& password);

// True when `password` (UTF-8) opens the database: always for a database
// without a password, else only the exact stored text.
bool passwordMatches(const Header& h, const std::string& password);

// The text of the connect string's "pwd=" key (case-insensitive), or "".
std::string passwordFromConnect(const std::string& connect);

}  // namespace vantrel::jet
