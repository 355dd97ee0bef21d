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
    int problems = 0, tables = 0, unverified = 0;
    try {
        for (const auto& e : jet::readTableCatalog(file)) {
            if (!e.local()) continue;
            ++tables;
            std::vector<std::string> gaps;
            for (const auto& p : jet::checkIndexes(file, jet::readTableDef(file, e.tdefPage), &gaps)) {
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
