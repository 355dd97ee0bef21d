#include "code_page.h"

#include <windows.h>

#include <cstdlib>

#include "utf16.h"

namespace vantrel::platform {

namespace {
// "CP950", "cp1252", "950", "UTF-8" -> the Windows code page number; 0 if unknown.
UINT codePageOf(const std::string& charset) {
    std::string s;
    for (char c : charset) s += char(c >= 'a' && c <= 'z' ? c - 32 : c);
    if (s == "UTF-8" || s == "UTF8") return CP_UTF8;
    if (s.rfind("CP", 0) == 0) s = s.substr(2);
    else if (s.rfind("WINDOWS-", 0) == 0) s = s.substr(8);
    if (s.empty() || s.find_first_not_of("0123456789") != std::string::npos) return 0;
    return UINT(std::strtoul(s.c_str(), nullptr, 10));
}

// Code pages for which WideCharToMultiByte takes no flags.
bool takesNoFlags(UINT cp) {
    return cp == CP_UTF8 || cp == CP_UTF7 || cp == 42 || (cp >= 50220 && cp <= 50229) || cp == 52936 || cp == 54936 ||
           (cp >= 57002 && cp <= 57011);
}
}  // namespace

std::string SystemCharset() {
    const UINT acp = GetACP();
    return acp == CP_UTF8 ? std::string("UTF-8") : "CP" + std::to_string(acp);
}

bool DecodeCodePage(const uint8_t* p, size_t n, uint16_t codePage, std::string& out) {
    if (!IsValidCodePage(codePage)) return false;
    out.clear();
    if (n == 0) return true;
    const char* in = reinterpret_cast<const char*>(p);
    const int wideLen = MultiByteToWideChar(codePage, 0, in, int(n), nullptr, 0);
    if (wideLen <= 0) return false;
    std::wstring wide(size_t(wideLen), L'\0');
    MultiByteToWideChar(codePage, 0, in, int(n), wide.data(), wideLen);
    out = Narrow(wide);
    return true;
}

struct CharsetEncoder::State {
    UINT cp = 0;
    bool valid = false;
};

CharsetEncoder::CharsetEncoder(const std::string& charset) : state_(std::make_unique<State>()) {
    state_->cp = codePageOf(charset);
    state_->valid = state_->cp != 0 && IsValidCodePage(state_->cp);
}

CharsetEncoder::~CharsetEncoder() = default;

bool CharsetEncoder::valid() const { return state_->valid; }

std::string CharsetEncoder::defaultChar() const {
    CPINFOEXW info{};
    if (state_->valid && GetCPInfoExW(state_->cp, 0, &info)) {
        std::string d;
        for (int i = 0; i < MAX_DEFAULTCHAR && info.DefaultChar[i]; ++i) d += char(info.DefaultChar[i]);
        if (!d.empty()) return d;
    }
    return "?";
}

bool CharsetEncoder::encodeChar(const char* utf8, size_t len, std::string& out) {
    const std::wstring wide = Widen(std::string(utf8, len));
    if (wide.empty()) return true;
    const bool noFlags = takesNoFlags(state_->cp);
    char buf[16];
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(state_->cp, noFlags ? 0 : WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()), buf,
                                      int(sizeof buf), nullptr, noFlags ? nullptr : &usedDefault);
    if (n <= 0 || usedDefault) return false;
    out.append(buf, size_t(n));
    return true;
}

}  // namespace vantrel::platform
