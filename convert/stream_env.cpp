#include "stream_env.h"

#include <cerrno>
#include <cstring>

namespace vantrel {

using platform::IoError;
using platform::Reason;

namespace {

[[noreturn]] void refuse(const std::string& what) { throw IoError(Reason::permission, what, "a stream is only appended to"); }

// The stream as a file that is only appended to; its size is what it took.
class StreamFile : public platform::File {
public:
    StreamFile(std::FILE* stream, const std::string& name, uint64_t& written) : stream_(stream), name_(name), written_(written) {}

    void append(const uint8_t* p, size_t n) override {
        errno = 0;
        const size_t put = std::fwrite(p, 1, n, stream_);
        if (put == n && std::fflush(stream_) == 0) {
            written_ += n;
            return;
        }
        const int e = errno;
        std::clearerr(stream_);
        throw IoError(e == ENOSPC ? Reason::noSpace : Reason::other, "writing " + name_, e ? std::strerror(e) : "the stream took no more");
    }
    void sync() override {
        if (std::fflush(stream_) != 0) throw IoError(Reason::other, "writing " + name_, std::strerror(errno));
    }
    uint64_t size() override { return written_; }
    size_t readAt(uint64_t, uint8_t*, size_t) override { refuse("reading " + name_); }
    void writeAt(uint64_t, const uint8_t*, size_t) override { refuse("writing " + name_ + " at a place"); }
    void truncate(uint64_t) override { refuse("cutting " + name_); }
    platform::FileId id() override { return {}; }
    bool lock(platform::Lock) override { return false; }
    const std::string& path() const override { return name_; }

private:
    std::FILE* stream_;
    const std::string& name_;
    uint64_t& written_;
};

}  // namespace

std::unique_ptr<platform::File> StreamEnv::open(const std::string&, platform::Open mode) {
    if (mode != platform::Open::append) refuse("opening " + name_);
    return std::make_unique<StreamFile>(stream_, name_, written_);
}

platform::FileInfo StreamEnv::info(const std::string&) {
    platform::FileInfo out;
    out.kind = platform::Kind::device;
    return out;
}

void StreamEnv::rename(const std::string&, const std::string&) { refuse("renaming " + name_); }
void StreamEnv::renameNoReplace(const std::string&, const std::string&) { refuse("renaming " + name_); }
void StreamEnv::remove(const std::string&) { refuse("removing " + name_); }

}  // namespace vantrel
