// The headless sub-commands of the vantrel executable.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace vantrel {

constexpr const char* kFixedPassword = "bluefinchtea";

// Prints the user tables of the database, one per line, in the engine's order.
int runTables(const std::string& db, const std::string& password);

// Prints the JSON dump of the database's user tables (sorted by name), or of
// the named ones in the order given. A value that cannot be read stops it
// with a message naming table, column and row; exit status 1.
int runDump(const std::string& db, const std::string& password, std::FILE* out = stdout,
            const std::vector<std::string>& tables = {});

// How `export` writes a table: CSV in mdb-export's conventions, or JSON Lines.
struct ExportOptions {
    bool jsonLines = false;
    bool header = true;             // CSV: a first row with the column names
    std::string delimiter = ",";    // CSV: between values
    std::string rowDelimiter = "\n";
    bool quote = true;              // CSV: text-like values in double quotes (a quote inside doubled)
    std::string dateFormat;         // strftime format; "" gives "YYYY-MM-DD HH:MM:SS"
};

// "\t", "\n", "\r" and "\\" in a delimiter given on the command line, as mdb-export reads them.
std::string unescape(const std::string& text);

// Writes one table's rows to `out`, streamed.
int runExport(const std::string& db, const std::string& password, const std::string& table, const ExportOptions& options,
              std::FILE* out = stdout);

// Copies the user tables (or the named ones) into a new SQLite file `out`,
// reads both back and prints one line per table; exit status 1 when a table
// differs, and then no `out` is written. An existing `out` is refused unless
// `replace`.
int runSqliteExport(const std::string& db, const std::string& password, const std::string& out,
                    const std::vector<std::string>& tables, bool replace);

// Writes a device script: INSERT lines and the primary index line of each user
// table (or of the named ones), then "End Of File". Output defaults to the
// script path beside the database; "-" is standard output. A table that
// cannot be written stops it with a message naming table, column and type
// and how many lines stayed; exit status 1.
int runScript(const std::string& db, const std::string& password, const std::string& output,
              const std::vector<std::string>& tables);

// Null-fills the database in place and closes its script file with "End Of
// File" (the old script file is deleted first). Messages go to standard
// output, a progress bar and a report to standard error.
int runConvert(const std::string& db, const std::string& password, bool copy);

// Checks every index of every table against the rows, and the user tables
// for stored dates outside the years 100-9999; non-zero on a problem.
int runCheck(const std::string& db, const std::string& password);

// Makes a new database `db` and runs the SQL statements of `file` (standard
// input for "" or "-") in it, in one transaction, under a temporary name
// given to `db` only at the end: on a failure (or a kill) no `db` is left.
int runCreate(const std::string& db, const std::string& password, const std::string& file);

// Prints SQL statements that rebuild the database's user tables: CREATE
// TABLE, CREATE INDEX, one INSERT per row (relationships, properties and
// foreign-key indexes are not carried).
int runSql(const std::string& db, const std::string& password, std::FILE* out = stdout);

// Writes DIR/demo.mdb, a small database with Nulls worth filling (protected
// with the tool's password), and prints its path.
int runDemo(const std::string& dir);

// Reports what the handheld will get of the user tables (or the named ones):
// per table and column the device type and every loss with its reason,
// as text or JSON (`charset`: the script file's, "" for the system's).
// Reading only: the null-fill's outcome is found on a copy kept in memory.
int runDevice(const std::string& db, const std::string& password, const std::vector<std::string>& tables, bool json,
              const std::string& charset);

// Copies a finished script file into the device emulator's folder.
int runCopyToEmulator(const std::string& scriptPath);

}  // namespace vantrel
