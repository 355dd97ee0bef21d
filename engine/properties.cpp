#include "properties.h"

#include <cctype>
#include <cstring>

#include "data_page.h"
#include "row_layout.h"
#include "table_def.h"
#include "text_codec.h"
#include "value_decode.h"

namespace vantrel::jet {

std::string upperAscii(std::string s) {
    for (auto& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

const ColumnProperties* TableProperties::column(const std::string& name) const {
    auto it = columns.find(upperAscii(name));
    return it == columns.end() ? nullptr : &it->second;
}

namespace {
constexpr uint16_t kNameList = 0x80;
constexpr uint16_t kColumnValues = 0x01;
}  // namespace

TableProperties parseProperties(const std::vector<uint8_t>& blob, bool jet3, uint16_t codePage) {
    TableProperties props;
    if (blob.empty()) return props;
    Bytes b(blob.data(), blob.size());
    b.need(0, 4);
    if (std::memcmp(blob.data(), "MR2\0", 4) != 0 && std::memcmp(blob.data(), "KKD\0", 4) != 0)
        throw FormatError("unknown property block");
    auto text = [&](Bytes raw) {
        return jet3 ? decodeCodePage(raw.data(), raw.size(), codePage) : decodeJet4Text(raw.data(), raw.size());
    };
    std::vector<std::string> names;
    size_t at = 4;
    while (at < b.size()) {
        const uint32_t len = b.u32(at);
        const uint16_t type = b.u16(at + 4);
        if (len < 6) throw FormatError("property chunk too short");
        Bytes chunk = b.sub(at + 6, len - 6);
        at += len;
        if (type == kNameList) {
            for (size_t p = 0; p < chunk.size();) {
                uint16_t n = chunk.u16(p);
                names.push_back(text(chunk.sub(p + 2, n)));
                p += 2 + size_t(n);
            }
            continue;
        }
        // A value list: its own name (the column's, for column lists), then values.
        const uint32_t nameBlock = chunk.u32(0);
        std::string owner;
        if (nameBlock > 6) owner = text(chunk.sub(6, chunk.u16(4)));
        if (nameBlock < 4) throw FormatError("property name block too short");
        for (size_t p = nameBlock; p < chunk.size();) {
            const uint16_t valueLen = chunk.u16(p);
            if (valueLen < 8) throw FormatError("property value too short");
            const uint8_t dataType = chunk.u8(p + 3);
            const uint16_t nameIdx = chunk.u16(p + 4);
            const uint16_t dataSize = chunk.u16(p + 6);
            Bytes data = chunk.sub(p + 8, dataSize);
            p += valueLen;
            if (nameIdx >= names.size()) throw FormatError("property names a missing name");
            const std::string name = upperAscii(names[nameIdx]);
            const bool isColumn = type == kColumnValues;
            auto flag = [&] { return data.size() > 0 && data.u8(0) != 0; };
            if (name == "ALLOWZEROLENGTH" && isColumn && dataType == kBool) props.columns[upperAscii(owner)].allowZeroLength = flag();
            else if (name == "REQUIRED" && isColumn && dataType == kBool) props.columns[upperAscii(owner)].required = flag();
            else if (name == "DEFAULTVALUE" && isColumn) {
                props.columns[upperAscii(owner)].hasDefault = true;
                if (dataType == kText || dataType == kMemo) props.columns[upperAscii(owner)].defaultValue = text(data);
            } else if (name == "VALIDATIONTEXT" && (dataType == kText || dataType == kMemo)) {
                if (isColumn) props.columns[upperAscii(owner)].validationText = text(data);
                else props.validationText = text(data);
            }
            else if (name == "VALIDATIONRULE" && (dataType == kText || dataType == kMemo)) {
                if (isColumn) props.columns[upperAscii(owner)].validationRule = text(data);
                else props.validationRule = text(data);
            }
        }
    }
    return props;
}

TableProperties readTableProperties(PageFile& file, const CatalogEntry& table) {
    const Layout l = Layout::forFormat(file.jet3());
    TableDefData cat = readTableDef(file, kCatalogPage);
    const ColumnDef* lvProp = nullptr;
    size_t index = 0;
    for (size_t i = 0; i < cat.columns.size(); ++i)
        if (cat.columns[i].name == "LvProp") lvProp = &cat.columns[i], index = i;
    if (!lvProp) return {};
    RowBytes row = rowAt(file, l, table.row);
    CrackedRow cracked;
    crackRow(l, cat, row.bytes, cracked);
    Variant v = decodeValue(file, l, *lvProp, cracked.columns[index]);
    if (v.isNull()) return {};
    const std::string& s = v.str();
    return parseProperties(std::vector<uint8_t>(s.begin(), s.end()), file.jet3(), file.header().codePage);
}

}  // namespace vantrel::jet
