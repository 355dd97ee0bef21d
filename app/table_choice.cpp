#include "table_choice.h"

#include "user_tables.h"
#include "value_forms.h"

namespace vantrel {

std::vector<TableDef> chosenTables(Database& db, const std::vector<std::string>& only) {
    std::vector<TableDef> tables;
    auto all = db.TableDefs();
    if (only.empty()) {
        for (const TableDef& t : all)
            if (IsUserTable(t)) tables.push_back(t);
        return tables;
    }
    for (const std::string& name : only) {
        bool found = false;
        for (const TableDef& t : all)
            if (t.Name() == name) {
                tables.push_back(t), found = true;
                break;
            }
        if (!found) tables.push_back(all.Item(name));  // the same name in another case, or 3265 naming it
    }
    return tables;
}

long totalRows(const std::vector<TableDef>& tables) {
    long rows = 0;
    for (const TableDef& t : tables) rows += t.RecordCount();
    return rows;
}

std::string failureText(const std::string& table, const Field* field, long row, const JetError& e) {
    std::string where = table;
    if (field) where += "." + field->Name() + ": type " + std::to_string(field->Type()) + " (" + typeName(field->Type()) + ")";
    if (row >= 0) where += ", row " + std::to_string(row + 1);
    return where + ": Error Number [" + std::to_string(e.Number) + "] Error Description [" + e.Description + "]";
}

}  // namespace vantrel
