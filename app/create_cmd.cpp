#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "commands.h"
#include "dao.h"
#include "files.h"
#include "sql_split.h"

namespace vantrel {

int runCreateFrom(const std::string& db, const std::string& password, std::istream& sql, bool quiet) {
    SqlReader statements(sql);
    size_t count = 0;
    // Whatever goes wrong from here on, no file is left behind, but a file
    // that was there before (3204) is never touched.
    Database d;
    try {
        d = DBEngine::Default().CreateDatabase(db, std::string(dbLangGeneral) + (password.empty() ? "" : ";pwd=" + password));
    } catch (const JetError& e) {
        if (e.Number != 3204) ::unlink(db.c_str());
        throw;
    } catch (...) {
        ::unlink(db.c_str());
        throw;
    }
    long inserted = 0, refused = 0;
    try {
        d.BeginTrans();
        SqlStatement s;
        while (statements.next(s)) {
            ++count;
            try {
                d.Execute(s.text);
            } catch (JetError& e) {
                e.Description += " (line " + std::to_string(s.line) + ")";
                throw;
            }
            const UpdateSummary& u = d.LastUpdate();
            if (s.text.size() >= 6 && (s.text.compare(0, 6, "INSERT") == 0 || s.text.compare(0, 6, "insert") == 0)) inserted += u.affected;
            for (const auto& [why, n] : u.refused) {
                refused += n;
                std::fprintf(stderr, "line %d: %ld row%s refused (%s)\n", s.line, n, n == 1 ? "" : "s", why.c_str());
            }
        }
        d.CommitTrans();
        d.Close();
    } catch (...) {
        d.Close();
        platform::RemoveFile(db);  // a database half made is no use to anyone
        throw;
    }
    if (!quiet) std::printf("%s: %zu statements, %ld rows inserted, %ld refused\n", db.c_str(), count, inserted, refused);
    return refused == 0 ? 0 : 1;
}

int runCreate(const std::string& db, const std::string& password, const std::string& file) {
    if (file.empty() || file == "-") return runCreateFrom(db, password, std::cin, false);
    std::ifstream in(std::filesystem::u8path(file), std::ios::binary);  // UTF-8, also on Windows
    if (!in) throw JetError(3024, "Could not find file '" + file + "'.");
    return runCreateFrom(db, password, in, false);
}

}  // namespace vantrel
