#include "user_tables.h"

#include "text_codec.h"

namespace vantrel {

std::string NamePrefixUpper(const std::string& name) {
    // Characters, not bytes: names may hold any script.
    std::u16string u = jet::utf8ToUtf16(name);
    if (u.size() > 4) u.resize(4);
    std::string out;
    for (char16_t c : u) {
        if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
        jet::appendUtf8(out, c);
    }
    return out;
}

bool IsUserTable(const TableDef& tbl) {
    return tbl.Attributes() == 0 && NamePrefixUpper(tbl.Name()) != "MSYS";
}

}  // namespace vantrel
