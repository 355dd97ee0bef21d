// A small streaming JSON writer: the dump of a large database is written as
// it is read, never held whole in memory.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace vantrel {

class JsonOut {
public:
    explicit JsonOut(std::FILE* f) : f_(f) { buf_.reserve(1 << 16); }
    ~JsonOut() { flush(); }

    void raw(std::string_view s) {
        buf_.append(s);
        if (buf_.size() > (1 << 16)) flush();
    }
    void string(std::string_view s);
    void flush() {
        if (!buf_.empty()) std::fwrite(buf_.data(), 1, buf_.size(), f_);
        buf_.clear();
    }

private:
    std::FILE* f_;
    std::string buf_;
};

}  // namespace vantrel
