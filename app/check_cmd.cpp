#include <cstdio>

#include "catalog.h"
#include "commands.h"
#include "dao.h"
#include "index_check.h"
#include "page_file.h"
#include "table_def.h"

namespace vantrel {

int runCheck(const std::string& path, const std::string& password) {
    // Opening through the object model checks the password and rolls back
    // an interrupted change first.
    DBEngine::Default().OpenDatabase(path, false, true, ";pwd=" + password).Close();
    jet::PageFile file(path, {});
    int problems = 0, tables = 0;
    try {
        for (const auto& e : jet::readTableCatalog(file)) {
            if (!e.local()) continue;
            ++tables;
            for (const auto& p : jet::checkIndexes(file, jet::readTableDef(file, e.tdefPage))) {
                std::printf("%s: %s\n", e.name.c_str(), p.c_str());
                ++problems;
            }
        }
    } catch (const FormatError& e) {
        throw err::damaged(path, e.what());
    }
    std::printf("%d tables checked, %d problem%s\n", tables, problems, problems == 1 ? "" : "s");
    return problems ? 1 : 0;
}

}  // namespace vantrel
