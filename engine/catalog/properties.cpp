#include "properties.h"

#include <cctype>

#include "data_page.h"
#include "property_blob.h"
#include "row_layout.h"
#include "table_def.h"
#include "value_decode.h"

namespace vantrel::jet {

std::string upperAscii(std::string s) {
    for (auto& c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return s;
}

const ColumnProperties* TableProperties::column(const std::string& name) const {
    auto it = columns.find(upperAscii(name));
    return it == columns.end() ? nullptr : &it->second;
}

TableProperties parseProperties(const std::vector<uint8_t>& bytes, bool jet3, uint16_t codePage) {
    TableProperties props;
    const PropertyBlob blob = PropertyBlob::parse(bytes, jet3, codePage);
    for (const auto& list : blob.lists) {
        const bool isColumn = list.kind == 1;
        for (const auto& v : list.values) {
            const std::string name = upperAscii(blob.names[v.name]);
            const bool flag = !v.data.empty() && v.data[0] != 0;
            const bool isText = v.dataType == kText || v.dataType == kMemo;
            ColumnProperties* column = isColumn ? &props.columns[upperAscii(list.owner)] : nullptr;
            if (name == "ALLOWZEROLENGTH" && column && v.dataType == kBool) column->allowZeroLength = flag;
            else if (name == "REQUIRED" && column && v.dataType == kBool) column->required = flag;
            else if (name == "APPENDONLY" && column && v.dataType == kBool) column->appendOnly = flag;
            else if (name == "DEFAULTVALUE" && column) {
                column->hasDefault = true;
                if (isText) column->defaultValue = blob.text(v.data);
            } else if (name == "VALIDATIONTEXT" && isText) {
                (column ? column->validationText : props.validationText) = blob.text(v.data);
            } else if (name == "VALIDATIONRULE" && isText) {
                (column ? column->validationRule : props.validationRule) = blob.text(v.data);
            }
        }
    }
    return props;
}

namespace {
TableProperties readPropertiesOf(PageFile& file, const CatalogEntry& table);
}  // namespace

TableProperties readTableProperties(PageFile& file, const CatalogEntry& table) {
    // The properties are a value of the table's row in the catalog: damage lies there.
    return inTable("MSysObjects", kCatalogPage, [&] { return onPage(table.row.page, [&] { return readPropertiesOf(file, table); }); });
}

namespace {

TableProperties readPropertiesOf(PageFile& file, const CatalogEntry& table) {
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

}  // namespace

}  // namespace vantrel::jet
