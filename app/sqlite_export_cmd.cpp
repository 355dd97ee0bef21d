// `export DB --sqlite OUT`: a verified SQLite copy of the user tables (or of
// those named with --table). An existing OUT is refused unless --replace.
// The copy is written under a temporary name beside OUT (sqlite_copy.h),
// read back against the database (sqlite_verify.h), synced and only then
// given its name: a failure, or a table that differs, leaves no OUT (and an
// old OUT as it was). One line per table says what was found.
#include <cstdio>
#include <set>

#include "commands.h"
#include "concurrent.h"
#include "env.h"
#include "output_file.h"
#include "progress_bar.h"
#include "sqlite_copy.h"
#include "sqlite_schema.h"
#include "sqlite_verify.h"
#include "table_choice.h"

namespace vantrel {

namespace {

// An existing OUT without --replace, or anything there that is not a file, is refused.
bool refusedOutput(const std::string& out, bool replace) {
    platform::Env& env = platform::Env::system();
    const platform::Kind kind = env.info(out).kind;
    if (kind == platform::Kind::missing) return false;
    if (kind != platform::Kind::regular) {
        std::fprintf(stderr, "vantrel: '%s' is not a file: it is left as it is\n", out.c_str());
        return true;
    }
    if (replace) return false;
    std::fprintf(stderr, "vantrel: '%s' exists: it is left as it is (--replace replaces it)\n", out.c_str());
    return true;
}

// Prints one line per table; true when every table is identical.
bool verified(const std::vector<TableDef>& tables, const std::string& path) {
    SqliteDb copy(path, true);
    bool same = true;
    for (const TableDef& t : tables) {
        if (carriedColumns(t).empty()) {
            std::printf("%s: no column SQLite can hold, not copied\n", t.Name().c_str());
            continue;
        }
        // The two sides at once: the engine here, SQLite on a thread of its own.
        TableDigest a, s;
        platform::RunBoth([&] { a = accessDigest(t); }, [&] { s = sqliteDigest(t, copy); });
        if (a == s) {
            std::printf("%s: %ld rows, identical\n", t.Name().c_str(), a.rows);
            continue;
        }
        same = false;
        if (a.rows != s.rows)
            std::printf("%s: %ld rows, the copy has %ld\n", t.Name().c_str(), a.rows, s.rows);
        else
            std::printf("%s: %ld rows, contents differ\n", t.Name().c_str(), a.rows);
    }
    copy.close();
    return same;
}

// A table named twice (--table a --table A) is copied once.
std::vector<TableDef> eachOnce(const std::vector<TableDef>& tables) {
    std::vector<TableDef> out;
    std::set<std::string> seen;
    for (const TableDef& t : tables)
        if (seen.insert(t.Name()).second) out.push_back(t);
    return out;
}

}  // namespace

int runSqliteExport(const std::string& path, const std::string& password, const std::string& out, const std::vector<std::string>& only,
                    bool replace) {
    try {
        if (refusedOutput(out, replace)) return 1;
    } catch (const platform::IoError& e) {
        throw OutputError(e, out);
    }
    Database db = DBEngine::Default().OpenDatabase(path, false, true, ";pwd=" + password);
    RefuseOutputOverDatabase(out, path);
    const std::vector<TableDef> tables = eachOnce(chosenTables(db, only));
    OutputFile file(out);
    {
        ProgressBar bar(ProgressBar::wanted() ? totalRows(tables) : 0);
        SqliteDb copy(file.writePath(), false);
        copyToSqlite(db, tables, copy, [&](const std::string& table, long) { bar.step(table); });
        copy.close();
        bar.finish();
    }
    if (!verified(tables, file.writePath())) {
        std::fflush(stdout);
        std::fprintf(stderr, "vantrel: the copy differs from the database: '%s' is not written\n", out.c_str());
        return 1;
    }
    file.commit();
    db.Close();
    return 0;
}

}  // namespace vantrel
