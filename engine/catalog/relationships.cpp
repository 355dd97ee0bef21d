#include "relationships.h"

#include <algorithm>
#include <map>

#include "properties.h"
#include "row_layout.h"
#include "table_def.h"
#include "table_scan.h"
#include "value_decode.h"

namespace vantrel::jet {

namespace {
constexpr int32_t kDontEnforce = 0x2;
}

std::vector<Relationship> readRelationships(PageFile& file, const std::vector<CatalogEntry>& catalog) {
    const CatalogEntry* rel = nullptr;
    for (const auto& e : catalog)
        if (e.local() && upperAscii(e.name) == "MSYSRELATIONSHIPS") rel = &e;
    if (!rel) return {};
    const Layout l = Layout::forFormat(file.jet3());
    TableDefData t = readTableDef(file, rel->tdefPage);
    std::map<std::string, size_t> col;
    for (size_t i = 0; i < t.columns.size(); ++i) col[upperAscii(t.columns[i].name)] = i;
    for (const char* need : {"GRBIT", "ICOLUMN", "SZCOLUMN", "SZOBJECT", "SZREFERENCEDCOLUMN", "SZREFERENCEDOBJECT", "SZRELATIONSHIP"})
        if (!col.count(need)) throw FormatError(std::string("MSysRelationships has no column ") + need);

    struct Part {
        int32_t index;
        std::string column, refColumn;
    };
    std::map<std::string, std::pair<Relationship, std::vector<Part>>> byName;
    TableScan scan(file, t, "MSysRelationships");
    CrackedRow row;
    while (scan.next()) {
        crackRow(l, t, scan.row().bytes, row);
        auto value = [&](const char* name) { return decodeValue(file, l, t.columns[col[name]], row.columns[col[name]]); };
        auto text = [&](const char* name) {
            Variant v = value(name);
            return v.isNull() ? std::string() : v.str();
        };
        const std::string name = text("SZRELATIONSHIP");
        auto& [r, parts] = byName[name];
        r.name = name;
        r.table = text("SZOBJECT");
        r.referencedTable = text("SZREFERENCEDOBJECT");
        Variant grbit = value("GRBIT"), icol = value("ICOLUMN");
        r.attributes = int32_t(grbit.isNull() ? 0 : grbit.asInt());
        r.enforced = !(r.attributes & kDontEnforce);
        parts.push_back({int32_t(icol.isNull() ? 0 : icol.asInt()), text("SZCOLUMN"), text("SZREFERENCEDCOLUMN")});
    }
    std::vector<Relationship> out;
    for (auto& [name, entry] : byName) {
        auto& [r, parts] = entry;
        std::sort(parts.begin(), parts.end(), [](const Part& a, const Part& b) { return a.index < b.index; });
        for (const auto& p : parts) {
            r.columns.push_back(p.column);
            r.referencedColumns.push_back(p.refColumn);
        }
        out.push_back(std::move(r));
    }
    return out;
}

}  // namespace vantrel::jet
