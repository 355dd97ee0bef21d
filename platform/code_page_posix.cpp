#include "code_page.h"

#include <iconv.h>
#include <langinfo.h>

#include <vector>

namespace vantrel::platform {

namespace {
void appendReplacement(std::string& out) { out += "\xEF\xBF\xBD"; }
}  // namespace

std::string SystemCharset() {
    std::string name = nl_langinfo(CODESET);
    // The plain C locale names ASCII; the tool writes UTF-8 there.
    if (name.empty() || name == "ANSI_X3.4-1968" || name == "ASCII" || name == "US-ASCII") return "UTF-8";
    return name;
}

bool DecodeCodePage(const uint8_t* p, size_t n, uint16_t codePage, std::string& out) {
    const std::string name = "CP" + std::to_string(codePage);
    iconv_t cd = iconv_open("UTF-8", name.c_str());
    if (cd == iconv_t(-1)) return false;
    std::vector<char> buf(n * 4 + 16);
    char* in = const_cast<char*>(reinterpret_cast<const char*>(p));
    size_t inLeft = n;
    char* o = buf.data();
    size_t outLeft = buf.size();
    out.clear();
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &o, &outLeft) == size_t(-1)) {
            // An unmappable or cut byte sequence: U+FFFD, and on with the next byte.
            out.append(buf.data(), size_t(o - buf.data()));
            o = buf.data();
            outLeft = buf.size();
            appendReplacement(out);
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    out.append(buf.data(), size_t(o - buf.data()));
    iconv_close(cd);
    return true;
}

struct CharsetEncoder::State {
    iconv_t cd = iconv_t(-1);
};

CharsetEncoder::CharsetEncoder(const std::string& charset) : state_(std::make_unique<State>()) {
    state_->cd = iconv_open(charset.c_str(), "UTF-8");
}

CharsetEncoder::~CharsetEncoder() {
    if (state_->cd != iconv_t(-1)) iconv_close(state_->cd);
}

bool CharsetEncoder::valid() const { return state_->cd != iconv_t(-1); }

std::string CharsetEncoder::defaultChar() const { return "?"; }

bool CharsetEncoder::encodeChar(const char* utf8, size_t len, std::string& out) {
    char buf[16];
    char* in = const_cast<char*>(utf8);
    size_t inLeft = len;
    char* o = buf;
    size_t outLeft = sizeof buf;
    if (iconv(state_->cd, &in, &inLeft, &o, &outLeft) == size_t(-1)) {
        iconv(state_->cd, nullptr, nullptr, nullptr, nullptr);
        return false;
    }
    out.append(buf, size_t(o - buf));
    return true;
}

}  // namespace vantrel::platform
