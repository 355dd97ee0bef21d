#include "emulator_copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "error.h"
#include "text_codec.h"

namespace vantrel {

std::string EmulatorFolder() {
#ifdef _WIN32
    return kEmulatorFolder;
#else
    std::string prefix;
    if (const char* wine = std::getenv("WINEPREFIX"); wine && *wine) prefix = wine;
    else prefix = std::string(std::getenv("HOME") ? std::getenv("HOME") : "") + "/.wine";
    std::string rest = std::string(kEmulatorFolder).substr(3);  // after "C:\"
    for (char& c : rest)
        if (c == '\\') c = '/';
    return prefix + "/drive_c/" + rest;
#endif
}

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
    auto fail = [](int e) -> JetError {
        switch (e) {
            case ENOENT: case ENOTDIR: return {76, "Path not found"};
            case EACCES: case EPERM: case EROFS: return {70, "Permission denied"};
            case ENOSPC: case EDQUOT: return {61, "Disk full"};
            default: return {57, std::string("Device I/O error (") + std::strerror(e) + ")"};
        }
    };
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        if (errno == ENOENT) throw JetError(53, "File not found");
        throw fail(errno);
    }
    const std::string temp = to + ".copying";
    int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        int e = errno;
        ::close(in);
        throw fail(e);
    }
    std::vector<char> buf(1 << 16);
    int err = 0;
    for (;;) {
        ssize_t n = ::read(in, buf.data(), buf.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            err = errno;
            break;
        }
        if (n == 0) break;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::write(out, buf.data() + done, size_t(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                err = w < 0 ? errno : ENOSPC;
                break;
            }
            done += w;
        }
        if (err) break;
    }
    ::close(in);
    if (!err && ::fsync(out) != 0) err = errno;
    if (::close(out) != 0 && !err) err = errno;
    if (!err && ::rename(temp.c_str(), to.c_str()) != 0) err = errno;
    if (err) {
        ::unlink(temp.c_str());
        throw fail(err);
    }
}

}  // namespace vantrel
