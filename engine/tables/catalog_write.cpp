#include "catalog_write.h"

#include "catalog.h"
#include "data_page.h"
#include "properties.h"
#include "property_blob.h"
#include "row_layout.h"
#include "table_scan.h"
#include "table_writer.h"
#include "value_decode.h"

namespace vantrel::jet {

namespace {

// The owner Jet records for objects it makes itself, and for the database object.
const std::vector<uint8_t> kEngineOwner = {0x06, 0xEA};
const std::vector<uint8_t> kAdminOwner = {0x07, 0xE8};

size_t columnIndex(const TableDefData& t, const char* name) {
    for (size_t i = 0; i < t.columns.size(); ++i)
        if (t.columns[i].name == name) return i;
    throw FormatError(std::string("system table lacks column ") + name);
}

// Whether the block `bytes` gives back property `name` of `column` as set.
bool readsBack(const std::vector<uint8_t>& bytes, const std::string& column, const std::string& name, uint8_t dataType,
               const std::vector<uint8_t>& data) {
    try {
        const PropertyBlob back = PropertyBlob::parse(bytes);
        for (const auto& list : back.lists) {
            if (list.kind != (column.empty() ? 0 : 1) || upperAscii(list.owner) != upperAscii(column)) continue;
            for (const auto& v : list.values)
                if (v.name < back.names.size() && upperAscii(back.names[v.name]) == upperAscii(name))
                    return v.dataType == dataType && v.data == data;
        }
    } catch (const FormatError&) {
    }
    return false;
}

}  // namespace

void addCatalogObject(PageFile& file, const CatalogObject& o) {
    TableWriter w(file, kCatalogPage);
    const TableDefData& t = w.table();
    std::vector<Variant> v(t.columns.size());
    std::vector<bool> given(t.columns.size(), true);
    v[columnIndex(t, "Id")] = Variant::longInt(o.id);
    v[columnIndex(t, "ParentId")] = Variant::longInt(o.parentId);
    v[columnIndex(t, "Name")] = Variant::text(o.name);
    v[columnIndex(t, "Type")] = Variant::integer(o.type);
    v[columnIndex(t, "DateCreate")] = Variant::date(o.created);
    v[columnIndex(t, "DateUpdate")] = Variant::date(o.created);
    v[columnIndex(t, "Owner")] = Variant::binary(o.systemOwner ? kEngineOwner : kAdminOwner);
    v[columnIndex(t, "Flags")] = Variant::longInt(o.flags);
    const std::string refused = w.insert(std::move(v), given);
    if (refused == "unique index") throw err::tableExists(o.name);
    if (!refused.empty()) throw err::internal("the catalog refused a new entry (" + refused + ")");
    w.flush();
}

void setObjectProperty(PageFile& file, RowPointer catalogRow, const std::string& column, const std::string& name,
                       uint8_t dataType, std::vector<uint8_t> data) {
    if (file.jet3()) throw err::notSupported("properties of Jet3 databases");
    const Layout l = Layout::forFormat(false);
    TableWriter w(file, kCatalogPage);
    const TableDefData& t = w.table();
    CrackedRow cr;
    crackRow(l, t, rowAt(file, l, catalogRow, t.page).bytes, cr);
    std::vector<Variant> values(t.columns.size());
    for (size_t i = 0; i < t.columns.size(); ++i) values[i] = decodeValue(file, l, t.columns[i], cr.columns[i]);
    const size_t prop = columnIndex(t, "LvProp");
    const std::string& old = values[prop].str();
    PropertyBlob blob = PropertyBlob::parse(std::vector<uint8_t>(old.begin(), old.end()));
    blob.set(column, name, dataType, data);
    std::vector<uint8_t> bytes = blob.serialize();
    // What is written must read back as it was meant.
    if (!readsBack(bytes, column, name, dataType, data)) throw err::propertyTooLarge();
    values[prop] = Variant::binary(std::move(bytes));
    // The entry's row is replaced; its indexes follow.
    w.remove(catalogRow);
    if (!w.insert(std::move(values), std::vector<bool>(t.columns.size(), true)).empty())
        throw err::internal("the catalog refused an entry it held");
    w.flush();
}

void inheritAccess(PageFile& file, uint32_t aceTablePage, int32_t objectId) {
    TableWriter w(file, aceTablePage);
    const TableDefData& t = w.table();
    const size_t obj = columnIndex(t, "ObjectId"), sid = columnIndex(t, "SID"), acm = columnIndex(t, "ACM"),
                 inh = columnIndex(t, "FInheritable");
    const Layout l = Layout::forFormat(file.jet3());
    std::vector<std::vector<Variant>> rows;
    TableScan scan(file, t, "MSysACEs");
    CrackedRow cr;
    while (scan.next()) {
        crackRow(l, t, scan.row().bytes, cr);
        if (decodeValue(file, l, t.columns[obj], cr.columns[obj]).asInt() != kContainerTables) continue;
        if (!decodeValue(file, l, t.columns[inh], cr.columns[inh]).boolValue()) continue;
        std::vector<Variant> r(t.columns.size());
        r[obj] = Variant::longInt(objectId);
        r[sid] = decodeValue(file, l, t.columns[sid], cr.columns[sid]);
        r[acm] = decodeValue(file, l, t.columns[acm], cr.columns[acm]);
        r[inh] = Variant::boolean(false);
        rows.push_back(std::move(r));
    }
    const std::vector<bool> given(t.columns.size(), true);
    for (auto& r : rows)
        if (!w.insert(std::move(r), given).empty()) throw err::internal("the access table refused an entry");
    w.flush();
}

}  // namespace vantrel::jet
