#include "property_blob.h"

#include <cstring>

#include "bytes.h"
#include "error.h"
#include "properties.h"
#include "text_codec.h"

namespace vantrel::jet {

namespace {

constexpr uint16_t kNameList = 0x80;

void put16(std::vector<uint8_t>& b, uint16_t v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)}); }
void put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
// Lengths in a block are 16-bit: a name or value that does not fit could be
// written but not read back, so it is refused.
uint16_t length16(size_t n) {
    if (n > 0xFFFF) throw err::propertyTooLarge();
    return uint16_t(n);
}

std::vector<uint8_t> utf16(const std::string& s) {
    std::vector<uint8_t> out;
    for (char16_t c : utf8ToUtf16(s)) put16(out, uint16_t(c));
    return out;
}

}  // namespace

std::string PropertyBlob::text(const std::vector<uint8_t>& data) const {
    return jet3 ? decodeCodePage(data.data(), data.size(), codePage) : decodeJet4Text(data.data(), data.size());
}

PropertyBlob PropertyBlob::parse(const std::vector<uint8_t>& blob, bool jet3, uint16_t codePage) {
    PropertyBlob pb;
    pb.jet3 = jet3;
    pb.codePage = codePage;
    if (blob.empty()) return pb;
    Bytes b(blob.data(), blob.size());
    b.need(0, 4);
    if (std::memcmp(blob.data(), "MR2\0", 4) != 0 && std::memcmp(blob.data(), "KKD\0", 4) != 0)
        throw FormatError("unknown property block");
    auto text = [&](Bytes raw) { return pb.text(std::vector<uint8_t>(raw.data(), raw.data() + raw.size())); };
    for (size_t at = 4; at < b.size();) {
        const uint32_t len = b.u32(at);
        const uint16_t type = b.u16(at + 4);
        if (len < 6) throw FormatError("property chunk too short");
        Bytes chunk = b.sub(at + 6, len - 6);
        at += len;
        if (type == kNameList) {
            for (size_t p = 0; p < chunk.size();) {
                const uint16_t n = chunk.u16(p);
                pb.names.push_back(text(chunk.sub(p + 2, n)));
                p += 2 + size_t(n);
            }
            continue;
        }
        // A value list: its own name (the column's, for column lists), then values.
        List list;
        list.kind = type;
        const uint32_t nameBlock = chunk.u32(0);
        if (nameBlock < 4) throw FormatError("property name block too short");
        if (nameBlock > 6) list.owner = text(chunk.sub(6, chunk.u16(4)));
        for (size_t p = nameBlock; p < chunk.size();) {
            const uint16_t valueLen = chunk.u16(p);
            if (valueLen < 8) throw FormatError("property value too short");
            Value v;
            v.ddl = chunk.u8(p + 2);
            v.dataType = chunk.u8(p + 3);
            v.name = chunk.u16(p + 4);
            Bytes data = chunk.sub(p + 8, chunk.u16(p + 6));
            v.data.assign(data.data(), data.data() + data.size());
            if (v.name >= pb.names.size()) throw FormatError("property names a missing name");
            list.values.push_back(std::move(v));
            p += valueLen;
        }
        pb.lists.push_back(std::move(list));
    }
    return pb;
}

std::vector<uint8_t> PropertyBlob::serialize() const {
    std::vector<uint8_t> out = {'M', 'R', '2', 0};
    std::vector<uint8_t> names;
    for (const auto& n : this->names) {
        std::vector<uint8_t> u = utf16(n);
        put16(names, length16(u.size()));
        names.insert(names.end(), u.begin(), u.end());
    }
    put32(out, uint32_t(names.size() + 6));
    put16(out, kNameList);
    out.insert(out.end(), names.begin(), names.end());
    for (const auto& list : lists) {
        std::vector<uint8_t> body;
        const std::vector<uint8_t> owner = utf16(list.owner);
        put32(body, uint32_t(6 + owner.size()));
        put16(body, length16(owner.size()));
        body.insert(body.end(), owner.begin(), owner.end());
        for (const auto& v : list.values) {
            put16(body, length16(8 + v.data.size()));
            body.push_back(v.ddl);
            body.push_back(v.dataType);
            put16(body, v.name);
            put16(body, length16(v.data.size()));
            body.insert(body.end(), v.data.begin(), v.data.end());
        }
        put32(out, uint32_t(body.size() + 6));
        put16(out, list.kind);
        out.insert(out.end(), body.begin(), body.end());
    }
    return out;
}

void PropertyBlob::set(const std::string& column, const std::string& name, uint8_t dataType, std::vector<uint8_t> data) {
    uint16_t index = 0;
    while (index < names.size() && upperAscii(names[index]) != upperAscii(name)) ++index;
    if (index == names.size()) names.push_back(name);
    const uint16_t kind = column.empty() ? 0 : 1;
    List* list = nullptr;
    for (auto& l : lists)
        if (l.kind == kind && upperAscii(l.owner) == upperAscii(column)) list = &l;
    if (!list) {
        lists.push_back(List{kind, column, {}});
        list = &lists.back();
    }
    for (auto& v : list->values)
        if (v.name == index) {
            v.dataType = dataType;
            v.data = std::move(data);
            return;
        }
    list->values.push_back(Value{0, dataType, index, std::move(data)});
}

}  // namespace vantrel::jet
