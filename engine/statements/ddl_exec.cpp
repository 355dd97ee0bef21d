#include "ddl_exec.h"

#include <algorithm>
#include <unordered_set>

#include "catalog_write.h"
#include "index_key.h"
#include "index_write.h"
#include "properties.h"
#include "text_codec.h"
#include "row_layout.h"
#include "table_create.h"
#include "table_scan.h"
#include "value_decode.h"
#include "write_exec.h"

namespace vantrel::jet {

namespace {

bool hasTable(const std::vector<CatalogEntry>& catalog, const std::string& name) {
    return std::any_of(catalog.begin(), catalog.end(), [&](const CatalogEntry& e) { return upperAscii(e.name) == upperAscii(name); });
}

}  // namespace

void executeCreateTable(PageFile& file, const std::vector<CatalogEntry>& catalog, const CreateTableStatement& st, double now) {
    const Layout l = Layout::forFormat(file.jet3());
    checkObjectName(st.table);
    if (hasTable(catalog, st.table)) throw err::tableExists(st.table);
    NewTable t;
    for (const ColumnSpec& c : st.columns) {
        NewColumn n;
        n.name = c.name;
        n.type = c.type;
        n.length = c.length;
        n.precision = c.precision;
        n.scale = c.scale;
        n.autoNumber = c.autoNumber;
        n.required = c.notNull;
        n.fixedLength = c.fixedLength;
        t.columns.push_back(std::move(n));
    }
    auto columnOf = [&](const std::string& name) {
        for (size_t i = 0; i < t.columns.size(); ++i)
            if (upperAscii(t.columns[i].name) == upperAscii(name)) return i;
        throw err::noFieldDefined();
    };
    std::unordered_set<std::string> names;
    bool primary = false;
    for (const KeySpec& k : st.keys) {
        NewIndex x;
        x.primary = k.primary;
        x.unique = k.unique || k.primary;
        if (k.primary && primary) throw err::primaryKeyExists();
        primary |= k.primary;
        x.name = !k.name.empty() ? k.name : k.primary ? "PrimaryKey" : k.columns.front().first;
        for (int n = 1; names.count(upperAscii(x.name)); ++n) x.name = (k.name.empty() ? k.columns.front().first : k.name) + std::to_string(n);
        if (!names.insert(upperAscii(x.name)).second) throw err::indexExists();
        for (const auto& [name, asc] : k.columns) {
            x.columns.push_back({columnOf(name), asc});
            if (k.primary) t.columns[x.columns.back().column].required = true;
        }
        t.indexes.push_back(std::move(x));
    }
    for (const auto& x : t.indexes)
        for (const auto& c : x.columns)
            if (t.columns[c.column].type == kOle) throw err::cannotIndexType();

    const uint32_t page = createTable(file, l, t);
    CatalogObject o;
    o.id = int32_t(page);
    o.name = st.table;
    o.created = now;
    o.systemOwner = false;
    addCatalogObject(file, o);
    for (const auto& e : catalog)
        if (upperAscii(e.name) == "MSYSACES" && e.local()) inheritAccess(file, e.tdefPage, int32_t(page));
}

void executeCreateIndex(PageFile& file, const std::vector<CatalogEntry>& catalog, const CreateIndexStatement& st) {
    const Layout l = Layout::forFormat(file.jet3());
    const CatalogEntry& entry = tableNamed(catalog, st.table);
    if (!entry.local()) throw err::notSupported("linked table");
    TableDefData t = readTableDef(file, entry.tdefPage);
    for (const auto& x : t.indexes) {
        if (upperAscii(x.name) == upperAscii(st.index.name)) throw err::indexNameTaken(entry.name, x.name);
        if (st.index.primary && x.kind == 1) throw err::primaryKeyExists();
    }
    NewIndex x;
    x.name = st.index.name;
    x.primary = st.index.primary;
    x.unique = st.index.unique || st.index.primary;
    x.ignoreNulls = st.index.ignoreNulls;
    x.required = st.index.required;
    std::vector<uint16_t> numbers;
    std::vector<size_t> positions;
    for (const auto& [name, asc] : st.index.columns) {
        size_t i = 0;
        while (i < t.columns.size() && upperAscii(t.columns[i].name) != upperAscii(name)) ++i;
        if (i == t.columns.size()) throw err::noFieldDefined();
        if (t.columns[i].type == kOle) throw err::cannotIndexType();
        x.columns.push_back({i, asc});
        numbers.push_back(t.columns[i].number);
        positions.push_back(i);
    }
    if (x.columns.size() > 10) throw err::indexSyntax();
    addIndexToTable(file, l, entry.tdefPage, x, numbers);

    // Fill it from the rows.
    t = readTableDef(file, entry.tdefPage);
    const size_t real = t.realIndexes.size() - 1;
    const std::vector<KeyColumn> cols = keyColumns(t, t.realIndexes[real]);
    EntryArena arena;
    std::unordered_set<std::string> keys;
    TableScan scan(file, t, entry.name);
    CrackedRow cracked;
    while (scan.next()) {
        crackRow(l, t, scan.row().bytes, cracked);
        std::vector<uint8_t> key;
        bool allNull = true, anyNull = false;
        for (size_t k = 0; k < cols.size(); ++k) {
            const Variant v = decodeValue(file, l, t.columns[positions[k]], cracked.columns[positions[k]]);
            allNull &= v.isNull();
            anyNull |= v.isNull();
            if (!encodeSegment(cols[k], l.jet3, v, key))
                throw err::notSupported("this engine cannot place the value of " + cols[k].column->name +
                                        " in the sort order of its index");
        }
        if (anyNull && (x.primary || x.required)) throw err::nullInIndex();
        if (allNull && x.ignoreNulls) continue;
        if (x.unique && !allNull && !keys.insert(std::string(key.begin(), key.end())).second) throw err::duplicateValues();
        const auto ptr = entryRowPointer(scan.where());
        key.insert(key.end(), ptr.begin(), ptr.end());
        arena.add(key);
    }
    IndexTree empty;
    empty.pages = {t.realIndexes[real].rootPage};
    empty.leafPages = 1;
    const std::vector<EntryView> sorted = arena.sorted();
    writeIndexTree(file, l, t, real, empty, sorted);
    writeDistinctKeyCount(file, l, t, real, sorted);
}

void executeSetProperty(PageFile& file, const std::vector<CatalogEntry>& catalog, const SetPropertyStatement& st) {
    const CatalogEntry& entry = tableNamed(catalog, st.table);
    if (!entry.local()) throw err::notSupported("linked table");
    std::string column;
    if (!st.column.empty()) {
        const TableDefData t = readTableDef(file, entry.tdefPage);
        for (const auto& c : t.columns)
            if (upperAscii(c.name) == upperAscii(st.column)) column = c.name;
        if (column.empty()) throw err::itemNotFound();
    }
    const std::string name = upperAscii(st.name);
    // The properties kept here, as Access spells them; a table has only the validation pair.
    static const char* const known[] = {"AllowZeroLength", "Required", "ValidationRule", "ValidationText", "DefaultValue"};
    std::string spelled;
    for (const char* k : known)
        if (upperAscii(k) == name) spelled = k;
    const bool isFlag = spelled == "AllowZeroLength" || spelled == "Required";
    if (spelled.empty() || (column.empty() && (isFlag || spelled == "DefaultValue"))) throw err::propertyNotFound();
    if (isFlag) {
        if (st.value.type() != VarType::Boolean && !st.value.isNumeric()) throw err::typeMismatch();
        setObjectProperty(file, entry.row, column, spelled, kBool, {uint8_t(st.value.asDouble() != 0 ? 1 : 0)});
        return;
    }
    if (st.value.type() != VarType::Text) throw err::typeMismatch();
    std::vector<uint8_t> data;
    for (char16_t c : utf8ToUtf16(st.value.str())) data.insert(data.end(), {uint8_t(c), uint8_t(c >> 8)});
    setObjectProperty(file, entry.row, column, spelled, data.size() > 510 ? kMemo : kText, std::move(data));
}

}  // namespace vantrel::jet
