// libFuzzer target over making databases: arbitrary text as a script of
// statements on a new database, then the index check of every table and a
// dump. A clean JetError is fine; a crash, a sanitizer report, an index that
// disagrees with its rows, a hang or runaway memory is a finding.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "catalog.h"
#include "commands.h"
#include "dao.h"
#include "index_check.h"
#include "page_file.h"
#include "sql_split.h"
#include "table_def.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/vantrel-fuzz-sql-" + std::to_string(getpid()) + ".mdb";
    static std::FILE* sink = std::fopen("/dev/null", "w");
    std::remove(path.c_str());
    std::remove((path + "-journal").c_str());
    std::istringstream script(std::string(reinterpret_cast<const char*>(data), size));
    vantrel::SqlReader reader(script);
    {
        vantrel::Database db = vantrel::DBEngine::Default().CreateDatabase(path);
        vantrel::SqlStatement s;
        int n = 0;
        while (reader.next(s) && ++n < 64) {
            try {
                db.Execute(s.text);
            } catch (const vantrel::JetError&) {
            }
        }
        db.Close();
    }
    try {
        vantrel::jet::PageFile file(path, {});
        for (const auto& e : vantrel::jet::readTableCatalog(file)) {
            if (!e.local()) continue;
            auto problems = vantrel::jet::checkIndexes(file, vantrel::jet::readTableDef(file, e.tdefPage));
            if (!problems.empty()) {
                std::fprintf(stderr, "index problem in %s: %s\n", e.name.c_str(), problems.front().c_str());
                std::abort();
            }
        }
        vantrel::runDump(path, "", sink);
    } catch (const vantrel::JetError& e) {
        std::fprintf(stderr, "the made database does not read back: %s\n", e.Description.c_str());
        std::abort();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "the made database does not read back: %s\n", e.what());
        std::abort();
    }
    return 0;
}
