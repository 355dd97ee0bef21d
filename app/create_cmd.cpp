#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "commands.h"
#include "dao.h"
#include "env.h"
#include "files.h"
#include "sql_split.h"
#include "stale_writes.h"

namespace vantrel {

namespace {

JetError alreadyExists() { return err::databaseExists(); }

}  // namespace

// The database is made under a temporary name beside `db` and given its
// name only when every statement has run and it is closed: a run that fails
// or is killed never leaves `db` holding a half-made (or empty) database,
// and a file that was there before (3204) is never touched.
int runCreateFrom(const std::string& db, const std::string& password, std::istream& sql, bool quiet) {
    platform::Env& env = platform::Env::system();
    if (env.info(db).kind != platform::Kind::missing) throw alreadyExists();
    RemoveStaleWrites(db, env, ".creating-");
    const std::string building = db + ".creating-" + std::to_string(env.processId());
    SqlReader statements(sql);
    size_t count = 0;
    long inserted = 0, refused = 0;
    Database d;
    try {
        d = DBEngine::Default().CreateDatabase(building, std::string(dbLangGeneral) + (password.empty() ? "" : ";pwd=" + password));
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
        try {
            env.renameNoReplace(building, db);
        } catch (const platform::IoError& e) {
            if (e.reason == platform::Reason::exists) throw alreadyExists();  // made meanwhile by someone else
            throw;
        }
        env.syncFolder(env.folderOf(db));
    } catch (...) {
        d.Close();
        platform::RemoveFile(building);  // a database half made is no use to anyone
        throw;
    }
    if (!quiet) std::printf("%s: %zu statements, %ld rows inserted, %ld refused\n", db.c_str(), count, inserted, refused);
    return refused == 0 ? 0 : 1;
}

int runCreate(const std::string& db, const std::string& password, const std::string& file) {
    if (file.empty() || file == "-") return runCreateFrom(db, password, std::cin, false);
    std::ifstream in(std::filesystem::u8path(file), std::ios::binary);  // UTF-8, also on Windows
    if (!in) throw err::fileNotFound(file);
    return runCreateFrom(db, password, in, false);
}

}  // namespace vantrel
