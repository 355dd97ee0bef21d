#include "json_out.h"

namespace vantrel {

void JsonOut::string(std::string_view s) {
    static const char hex[] = "0123456789abcdef";
    buf_ += '"';
    size_t run = 0;  // start of the stretch that needs no escaping
    for (size_t i = 0; i < s.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        buf_.append(s.data() + run, i - run);
        run = i + 1;
        switch (c) {
            case '"': buf_ += "\\\""; break;
            case '\\': buf_ += "\\\\"; break;
            case '\n': buf_ += "\\n"; break;
            case '\r': buf_ += "\\r"; break;
            case '\t': buf_ += "\\t"; break;
            default:
                if (c < 0x20) {
                    buf_ += "\\u00";
                    buf_ += hex[c >> 4];
                    buf_ += hex[c & 15];
                }
        }
    }
    buf_.append(s.data() + run, s.size() - run);
    buf_ += '"';
    if (buf_.size() > (1 << 16)) flush();
}

}  // namespace vantrel
