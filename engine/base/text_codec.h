// Text as Jet stores it, turned into UTF-8: Jet3 text in a Windows code page,
// Jet4 text in UTF-16LE or in its one-byte "compressed" form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantrel::jet {

void appendUtf8(std::string& out, char32_t cp);

// Windows code page bytes to UTF-8. Code page 1252 (and 0, "unknown") is done
// here; others go through the system's converter and fall back to 1252 where it lacks them.
std::string decodeCodePage(const uint8_t* p, size_t n, uint16_t codePage);

// UTF-16LE to UTF-8; an odd trailing byte is dropped, lone surrogates become U+FFFD.
std::string decodeUtf16(const uint8_t* p, size_t n);

// A Jet4 text value: compressed when it starts with FF FE, else UTF-16LE.
std::string decodeJet4Text(const uint8_t* p, size_t n);

// The same three, appending to `out`: a reader of many values reuses one
// string's storage instead of allocating one per value.
void appendCodePage(std::string& out, const uint8_t* p, size_t n, uint16_t codePage);
void appendUtf16(std::string& out, const uint8_t* p, size_t n);
void appendJet4Text(std::string& out, const uint8_t* p, size_t n);

// UTF-8 to UTF-16 code units (invalid bytes become U+FFFD).
std::u16string utf8ToUtf16(const std::string& s);

}  // namespace vantrel::jet
