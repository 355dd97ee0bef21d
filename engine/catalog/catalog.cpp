#include "catalog.h"

#include <algorithm>
#include <map>

#include "index_walk.h"
#include "row_layout.h"
#include "table_def.h"
#include "table_scan.h"
#include "value_decode.h"

namespace vantrel::jet {

int32_t daoAttributes(int16_t objectType, int32_t flags) {
    uint32_t f = uint32_t(flags), a = 0;
    if (f & 0x80000002u) a |= uint32_t(kAttrSystemObject);
    // Flags 0x8 is the hidden mark Access sets from its navigation pane (or an
    // object's Hidden property); it is not DAO's dbHiddenObject and leaves the
    // table an ordinary one.
    if (objectType == 6) a |= uint32_t(kAttrAttachedTable);
    if (objectType == 4) a |= uint32_t(kAttrAttachedODBC);
    return int32_t(a);
}

namespace {

constexpr int32_t kTablesContainerId = 0x0F000001;

int columnIndex(const TableDefData& t, const char* name) {
    for (size_t i = 0; i < t.columns.size(); ++i)
        if (t.columns[i].name == name) return int(i);
    throw FormatError(std::string("catalog has no column ") + name);
}

uint64_t key(RowPointer p) { return (uint64_t(p.page) << 16) | p.row; }

// Case-insensitive name order, used when the catalog index cannot be read.
bool nameLess(const CatalogEntry& a, const CatalogEntry& b) {
    auto lower = [](std::string s) {
        for (auto& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    return lower(a.name) < lower(b.name);
}

// Reorders `tables` by the catalog's (ParentId, Name) index. Leaves the
// order untouched, and returns false, when the index does not account for
// exactly these rows.
bool orderByIndex(PageFile& file, const TableDefData& cat, std::vector<std::pair<RowPointer, CatalogEntry>>& tables) {
    const Layout l = Layout::forFormat(file.jet3());
    const IndexDef* byName = nullptr;
    for (const auto& x : cat.indexes)
        if (x.name == "ParentIdName") byName = &x;
    if (!byName) return false;
    std::map<uint64_t, size_t> where;
    for (size_t i = 0; i < tables.size(); ++i) where[key(tables[i].first)] = i;
    std::vector<size_t> order;
    try {
        walkIndex(file, l, cat.realIndexes.at(byName->realIndex).rootPage, [&](Bytes, RowPointer rp) {
            auto it = where.find(key(rp));
            if (it != where.end()) order.push_back(it->second);
        });
    } catch (const FormatError&) {
        return false;
    }
    std::vector<size_t> check = order;
    std::sort(check.begin(), check.end());
    if (check.size() != tables.size() || std::adjacent_find(check.begin(), check.end()) != check.end()) return false;
    std::vector<std::pair<RowPointer, CatalogEntry>> sorted;
    for (size_t i : order) sorted.push_back(std::move(tables[i]));
    tables = std::move(sorted);
    return true;
}

}  // namespace

std::vector<CatalogEntry> readTableCatalog(PageFile& file) {
    const Layout l = Layout::forFormat(file.jet3());
    TableDefData cat = inTable("MSysObjects", kCatalogPage, [&] { return readTableDef(file, kCatalogPage); });
    const int cId = columnIndex(cat, "Id"), cParent = columnIndex(cat, "ParentId"), cName = columnIndex(cat, "Name"),
              cType = columnIndex(cat, "Type"), cFlags = columnIndex(cat, "Flags");

    std::vector<std::pair<RowPointer, CatalogEntry>> tables;
    int32_t tablesContainer = kTablesContainerId;
    TableScan scan(file, cat, "MSysObjects");
    CrackedRow row;
    auto intOf = [&](int col) {
        Variant v = decodeValue(file, l, cat.columns[size_t(col)], row.columns[size_t(col)]);
        return v.isNull() ? int64_t(0) : v.asInt();
    };
    while (scan.next()) {
        CatalogEntry e;
        scan.reading([&] {
            crackRow(l, cat, scan.row().bytes, row);
            e.objectType = int16_t(intOf(cType));
            e.id = int32_t(intOf(cId));
            e.parentId = int32_t(intOf(cParent));
            e.flags = int32_t(intOf(cFlags));
            Variant name = decodeValue(file, l, cat.columns[size_t(cName)], row.columns[size_t(cName)]);
            e.name = name.isNull() ? std::string() : name.str();
        });
        if (e.objectType == 3 && e.name == "Tables") tablesContainer = e.id;
        if (e.objectType != 1 && e.objectType != 4 && e.objectType != 6) continue;
        e.attributes = daoAttributes(e.objectType, e.flags);
        e.tdefPage = e.local() ? uint32_t(e.id) & 0x00FFFFFFu : 0;
        e.row = scan.where();
        tables.emplace_back(scan.where(), std::move(e));
    }
    std::erase_if(tables, [&](const auto& t) { return t.second.parentId != tablesContainer; });
    if (!orderByIndex(file, cat, tables))
        std::stable_sort(tables.begin(), tables.end(), [](const auto& a, const auto& b) { return nameLess(a.second, b.second); });
    std::vector<CatalogEntry> out;
    out.reserve(tables.size());
    for (auto& t : tables) out.push_back(std::move(t.second));
    return out;
}

}  // namespace vantrel::jet
