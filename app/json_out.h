// A small streaming JSON writer: the dump of a large database is written as
// it is read, never held whole in memory. Bytes go out in the order they were
// written; the buffer (64 KiB, larger only for a single larger string) is
// handed to the FILE when it fills, at flush() and at the end.
#pragma once

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace vantrel {

class JsonOut {
public:
    explicit JsonOut(std::FILE* f) : f_(f), buf_(new char[kChunk]), cap_(kChunk) {}
    ~JsonOut() { flush(); }
    JsonOut(const JsonOut&) = delete;
    JsonOut& operator=(const JsonOut&) = delete;

    void raw(std::string_view s) {
        std::memcpy(room(s.size()), s.data(), s.size());
        len_ += s.size();
    }
    // A JSON string: quotes, backslashes and control characters escaped,
    // everything else (UTF-8 included) as it is.
    void string(std::string_view s);
    void flush() {
        if (len_) std::fwrite(buf_.get(), 1, len_, f_);
        len_ = 0;
    }

private:
    static constexpr size_t kChunk = 1 << 16;
    // Where n more bytes can be written, the buffer handed on first when full.
    char* room(size_t n) {
        if (cap_ - len_ < n) makeRoom(n);
        return buf_.get() + len_;
    }
    void makeRoom(size_t n);

    std::FILE* f_;
    std::unique_ptr<char[]> buf_;
    size_t len_ = 0, cap_ = 0;
};

}  // namespace vantrel
