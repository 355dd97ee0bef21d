// Character sets of the system: the one the script file is written in, and
// Windows code pages turned into UTF-8.
//
// Invariants: text in and out of this layer is UTF-8 unless named otherwise;
// nothing here keeps state between calls except an encoder's own converter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vantrel::platform {

// The character set text files for the user are written in: on Windows the
// ANSI code page ("CP1252", "CP950", ...); elsewhere the character set of the
// current LC_CTYPE locale (nl_langinfo), "UTF-8" for the plain C locale.
std::string SystemCharset();

// Bytes in Windows code page `codePage` as UTF-8. Returns false when the
// system has no converter for that code page (the caller picks a fallback).
// A byte sequence the code page does not define becomes U+FFFD.
bool DecodeCodePage(const uint8_t* p, size_t n, uint16_t codePage, std::string& out);

// UTF-8 text into a named character set, one character at a time. A
// character set the system cannot convert to leaves the encoder invalid.
class CharsetEncoder {
public:
    explicit CharsetEncoder(const std::string& charset);
    ~CharsetEncoder();
    CharsetEncoder(const CharsetEncoder&) = delete;
    CharsetEncoder& operator=(const CharsetEncoder&) = delete;

    bool valid() const;
    // Appends the encoding of one character (its `len` UTF-8 bytes) and
    // returns true; returns false, appending nothing, when the character set
    // lacks it.
    bool encodeChar(const char* utf8, size_t len, std::string& out);
    // What stands for a character the set lacks: the code page's own default
    // character on Windows, "?" elsewhere.
    std::string defaultChar() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace vantrel::platform
