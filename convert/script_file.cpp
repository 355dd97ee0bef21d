#include "script_file.h"

#include <algorithm>

#include "code_page.h"
#include "error.h"
#include "text_codec.h"

namespace vantrel {

std::string MakeScriptPath(const std::string& dbPath) {
    std::u16string chars = jet::utf8ToUtf16(dbPath);
    if (chars.size() < 3) throw err::invalidCall();
    // Count characters, not bytes: drop the last three.
    size_t cut = dbPath.size();
    for (int dropped = 0; dropped < 3; ++dropped) {
        do {
            --cut;
        } while (cut > 0 && (static_cast<unsigned char>(dbPath[cut]) & 0xC0) == 0x80);
    }
    return dbPath.substr(0, cut) + "tdb";
}

ScriptEncoder::ScriptEncoder() : ScriptEncoder(platform::SystemCharset()) {}

ScriptEncoder::ScriptEncoder(std::string charset) : charset_(std::move(charset)) {
    // The plain C locale names ASCII; the tool writes UTF-8 there.
    if (charset_.empty() || charset_ == "ANSI_X3.4-1968" || charset_ == "ASCII" || charset_ == "US-ASCII") charset_ = "UTF-8";
    utf8_ = charset_ == "UTF-8" || charset_ == "utf8" || charset_ == "UTF8";
    if (utf8_) return;
    encoder_ = std::make_shared<platform::CharsetEncoder>(charset_);
    if (encoder_->valid()) fallback_ = encoder_->defaultChar();
}

std::string ScriptEncoder::encode(const std::string& utf8, size_t* missing) const {
    if (utf8_ || !encoder_->valid()) return utf8;
    platform::CharsetEncoder& encoder = *encoder_;
    const std::string& fallback = fallback_;
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        // One character at a time, so that each one the code page lacks
        // becomes exactly one default character.
        size_t len = 1;
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c >= 0xF0) len = 4;
        else if (c >= 0xE0) len = 3;
        else if (c >= 0xC0) len = 2;
        len = std::min(len, utf8.size() - i);
        if (!encoder.encodeChar(utf8.data() + i, len, out)) {
            out += fallback;
            if (missing) ++*missing;
        }
        i += len;
    }
    return out;
}

}  // namespace vantrel
