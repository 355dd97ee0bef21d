#include <cstdio>
#include <vector>

#include "catalog.h"
#include "commands.h"
#include "dao.h"
#include "index_check.h"
#include "page_file.h"
#include "table_def.h"
#include "user_tables.h"

namespace vantrel {

namespace {

// A stored date outside the years 100-9999 (another tool's, or damage) is a
// problem of its row: each one is printed, naming table, column and row.
int dateProblems(Database& db) {
    int problems = 0;
    for (const TableDef& t : db.TableDefs()) {
        if (!IsUserTable(t)) continue;
        std::vector<int> dates;
        auto defFields = t.Fields();
        for (int i = 0; i < defFields.Count(); ++i)
            if (defFields[i].Type() == dbDate) dates.push_back(i);
        if (dates.empty()) continue;
        Recordset rs = t.OpenRecordset();
        auto fields = rs.Fields();
        Variant v;
        for (long row = 1; !rs.EOF_(); ++row, rs.MoveNext())
            for (int i : dates) {
                try {
                    fields[i].ReadValue(v);
                } catch (const JetError& e) {
                    if (e.Number != err::overflow().Number) throw;
                    std::printf("%s: row %ld: %s\n", t.Name().c_str(), row, e.Description.c_str());
                    ++problems;
                }
            }
        rs.Close();
    }
    return problems;
}

}  // namespace

int runCheck(const std::string& path, const std::string& password) {
    // Opening through the object model checks the password and rolls back
    // an interrupted change first.
    int problems = 0, tables = 0, unverified = 0;
    {
        Database db = DBEngine::Default().OpenDatabase(path, false, true, ";pwd=" + password);
        problems += dateProblems(db);
        db.Close();
    }
    jet::PageFile file(path, {});
    try {
        for (const auto& e : jet::readTableCatalog(file)) {
            if (!e.local()) continue;
            ++tables;
            std::vector<std::string> gaps;
            const auto found =
                inTable(e.name, e.tdefPage, [&] { return jet::checkIndexes(file, jet::readTableDef(file, e.tdefPage), &gaps); });
            for (const auto& p : found) {
                std::printf("%s: %s\n", e.name.c_str(), p.c_str());
                ++problems;
            }
            // Not problems: what the engine cannot judge is said, not guessed.
            for (const auto& g : gaps) std::printf("%s: %s\n", e.name.c_str(), g.c_str());
            unverified += int(gaps.size());
        }
    } catch (const FormatError& e) {
        throw err::damaged(path, e.what());
    }
    std::printf("%d tables checked, %d problem%s", tables, problems, problems == 1 ? "" : "s");
    if (unverified) std::printf(", %d index column%s not verified", unverified, unverified == 1 ? "" : "s");
    std::printf("\n");
    return problems ? 1 : 0;
}

}  // namespace vantrel
