#include "script_file.h"

#include <iconv.h>
#include <langinfo.h>

#include "error.h"
#include "output_file.h"
#include "platform/env.h"
#include "text_codec.h"

namespace vantrel {

std::string MakeScriptPath(const std::string& dbPath) {
    std::u16string chars = jet::utf8ToUtf16(dbPath);
    if (chars.size() < 3) throw JetError(5, "Invalid procedure call or argument");
    // Count characters, not bytes: drop the last three.
    size_t cut = dbPath.size();
    for (int dropped = 0; dropped < 3; ++dropped) {
        do {
            --cut;
        } while (cut > 0 && (static_cast<unsigned char>(dbPath[cut]) & 0xC0) == 0x80);
    }
    return dbPath.substr(0, cut) + "tdb";
}

ScriptEncoder::ScriptEncoder() : ScriptEncoder(nl_langinfo(CODESET)) {}

ScriptEncoder::ScriptEncoder(std::string charset) : charset_(std::move(charset)) {
    // The plain C locale names ASCII; the tool writes UTF-8 there.
    if (charset_.empty() || charset_ == "ANSI_X3.4-1968" || charset_ == "ASCII" || charset_ == "US-ASCII") charset_ = "UTF-8";
    utf8_ = charset_ == "UTF-8" || charset_ == "utf8" || charset_ == "UTF8";
}

std::string ScriptEncoder::encode(const std::string& utf8) const {
    if (utf8_) return utf8;
    iconv_t cd = iconv_open(charset_.c_str(), "UTF-8");
    if (cd == iconv_t(-1)) return utf8;
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0;
    char buf[16];
    while (i < utf8.size()) {
        // One character at a time, so that each one the code page lacks
        // becomes exactly one "?".
        size_t len = 1;
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c >= 0xF0) len = 4;
        else if (c >= 0xE0) len = 3;
        else if (c >= 0xC0) len = 2;
        len = std::min(len, utf8.size() - i);
        char* in = const_cast<char*>(utf8.data() + i);
        size_t inLeft = len;
        char* o = buf;
        size_t outLeft = sizeof buf;
        if (iconv(cd, &in, &inLeft, &o, &outLeft) == size_t(-1)) {
            out += '?';
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        } else {
            out.append(buf, size_t(o - buf));
        }
        i += len;
    }
    iconv_close(cd);
    return out;
}

void AppendLine(const std::string& path, const std::string& encodedLine) {
    if (path.empty()) throw JetError(52, "Bad file name or number");
    const std::string line = encodedLine + "\r\n";
    try {
        auto f = platform::Env::system().open(path, platform::Open::append);
        f->append(reinterpret_cast<const uint8_t*>(line.data()), line.size());
    } catch (const platform::IoError& e) {
        throw OutputError(e, path);
    }
}

}  // namespace vantrel
