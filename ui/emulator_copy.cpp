#include "emulator_copy.h"

#include <cstdlib>
#include <memory>
#include <vector>

#include "error.h"
#include "output_file.h"
#include "env.h"
#include "text_codec.h"

namespace vantrel {

namespace {
// 1-based position of `what` in `s` at or after `start`, 0 if absent;
// positions count UTF-16 units (a character beyond U+FFFF counts two).
long inStr(long start, const std::u16string& s, const std::u16string& what) {
    if (start < 1) start = 1;
    size_t at = s.find(what, size_t(start - 1));
    return at == std::u16string::npos ? 0 : long(at) + 1;
}

int16_t position(long p) {
    if (p > 32767) throw err::overflow();
    return int16_t(p);
}
}  // namespace

std::string ScriptNamePart(const std::string& ScriptPath, char separator) {
    const std::u16string path = jet::utf8ToUtf16(ScriptPath);
    const int16_t n = position(inStr(1, path, u".tdb"));
    int16_t x = 0;
    for (long s = long(n) - 2; s >= 1; --s) {
        x = position(inStr(s, path, std::u16string(1, char16_t(separator))));
        if (x != 0) break;
    }
    // From position x + 1 to the end, back to UTF-8 (surrogate pairs kept whole).
    std::u16string tail = path.substr(size_t(x));
    std::vector<uint8_t> le;
    for (char16_t c : tail) {
        le.push_back(uint8_t(c));
        le.push_back(uint8_t(c >> 8));
    }
    return jet::decodeUtf16(le.data(), le.size());
}

namespace {
JetError copyError(const platform::IoError& e, const std::string& path) {
    switch (e.reason) {
        case platform::Reason::notFound: case platform::Reason::pathNotFound: return err::pathNotFound();
        case platform::Reason::permission: return err::permissionDenied();
        case platform::Reason::noSpace: return err::diskFull();
        default: return OutputError(e, path);
    }
}
}  // namespace

void CopyReplacing(const std::string& from, const std::string& to) {
    platform::Env& env = platform::Env::system();
    std::unique_ptr<platform::File> in;
    try {
        in = env.open(from, platform::Open::read);
    } catch (const platform::IoError& e) {
        if (e.reason == platform::Reason::notFound) throw err::fileNotFoundShort();
        throw copyError(e, from);
    }
    // A regular file is replaced whole (temporary name, then rename); a
    // device or FIFO is written in place; a folder or socket is refused.
    OutputFile out(to, OutputFile::OnFailure::discard, env, &copyError);
    try {
        auto w = env.open(out.writePath(), platform::Open::append);
        std::vector<uint8_t> buf(1 << 16);
        for (uint64_t at = 0;;) {
            const size_t n = in->readAt(at, buf.data(), buf.size());
            if (n == 0) break;
            w->append(buf.data(), n);
            at += n;
        }
    } catch (const platform::IoError& e) {
        throw copyError(e, to);
    }
    out.commit();
}

}  // namespace vantrel
