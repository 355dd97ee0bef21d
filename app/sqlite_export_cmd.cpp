// `export DB --sqlite OUT`: a verified SQLite copy of the user tables (or of
// those named with --table). An existing OUT is refused unless --replace.
// The copy is written under a temporary name beside OUT (sqlite_copy.h),
// each row digested as it is read from the database; the copied tables are
// read back from the file and digested the same way (sqlite_verify.h); the
// file is synced and only then given its name: a failure, or a table that differs, leaves no OUT (and an
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

// What each side holds, table by table, in the order of `tables`.
struct Sides {
    std::vector<TableDigest> access, copy;
};

// Prints one line per table; true when every table is identical.
bool identical(const std::vector<TableDef>& tables, const Sides& sides) {
    bool same = true;
    for (size_t k = 0; k < tables.size(); ++k) {
        const std::string& name = tables[k].Name();
        if (carriedColumns(tables[k]).empty()) {
            std::printf("%s: no column SQLite can hold, not copied\n", name.c_str());
            continue;
        }
        const TableDigest& a = sides.access[k];
        const TableDigest& s = sides.copy[k];
        if (a == s) {
            std::printf("%s: %ld rows, identical\n", name.c_str(), a.rows);
            continue;
        }
        same = false;
        if (a.rows != s.rows)
            std::printf("%s: %ld rows, the copy has %ld\n", name.c_str(), a.rows, s.rows);
        else
            std::printf("%s: %ld rows, contents differ\n", name.c_str(), a.rows);
    }
    return same;
}

// Writes the copy at `path`: the rows, each digested as it is read from the
// database; then the indexes, while a second connection reads the copied
// tables back from the file (their rows are committed and the indexes do
// not change them; SQLite's locks keep the reader and the writer apart).
Sides writeCopy(Database& db, const std::vector<TableDef>& tables, const std::string& path) {
    Sides sides;
    sides.access.resize(tables.size());
    sides.copy.resize(tables.size());
    ProgressBar bar(ProgressBar::wanted() ? totalRows(tables) : 0);
    SqliteDb copy(path, false);
    RowDigester digester;
    size_t current = 0;
    const RowRead seen = [&](const TableDef& t, const SqlValue* values, size_t count) {
        while (tables[current].Name() != t.Name()) ++current;
        digester.add(values, count, sides.access[current]);
    };
    copyRowsToSqlite(db, tables, copy, seen, [&](const std::string& table, long) { bar.step(table); });
    SqliteDb check(path, true);
    platform::RunBoth([&] { createSqliteIndexes(tables, copy); },
                      [&] {
                          for (size_t k = 0; k < tables.size(); ++k) sides.copy[k] = sqliteDigest(tables[k], check);
                      });
    check.close();
    copy.close();
    bar.finish();
    return sides;
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
    if (!identical(tables, writeCopy(db, tables, file.writePath()))) {
        std::fflush(stdout);
        std::fprintf(stderr, "vantrel: the copy differs from the database: '%s' is not written\n", out.c_str());
        return 1;
    }
    file.commit();
    db.Close();
    return 0;
}

}  // namespace vantrel
