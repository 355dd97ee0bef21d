#include "emulator_copy.h"

#include <vector>

#include "error.h"
#include "files.h"
#include "text_codec.h"

namespace vantrel {

namespace {
// 1-based position of `what` in `s` at or after `start`, 0 if absent;
// positions count UTF-16 units, as VB's strings do.
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

void CopyReplacing(const std::string& from, const std::string& to) {
    const platform::Failure f = platform::CopyFileReplacing(from, to, to + ".copying");
    switch (f.fault) {
        case platform::Fault::None: return;
        case platform::Fault::FileNotFound: throw JetError(53, "File not found");
        case platform::Fault::PathNotFound: throw JetError(76, "Path not found");
        case platform::Fault::AccessDenied: throw JetError(70, "Permission denied");
        case platform::Fault::DiskFull: throw JetError(61, "Disk full");
        case platform::Fault::Other: break;
    }
    throw JetError(57, "Device I/O error (" + f.detail + ")");
}

}  // namespace vantrel
