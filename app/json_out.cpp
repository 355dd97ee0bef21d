#include "json_out.h"

namespace vantrel {

void JsonOut::string(std::string_view s) {
    static const char hex[] = "0123456789abcdef";
    buf_ += '"';
    for (unsigned char c : s) {
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
                } else {
                    buf_ += char(c);
                }
        }
    }
    buf_ += '"';
    if (buf_.size() > (1 << 16)) flush();
}

}  // namespace vantrel
