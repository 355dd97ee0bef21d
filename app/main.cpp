// vantrel: with no arguments the window; with a sub-command, headless work.
#include <CLI/CLI.hpp>

#include <clocale>
#include <cstdio>

#include "cli_usage.h"
#include "commands.h"
#include "console.h"
#include "error.h"
#include "program.h"
#include "standard_output.h"
#include "window_launch.h"

namespace {

int runCommand(int argc, char** argv) {
    // The arguments as UTF-8 (on Windows from the wide command line).
    std::vector<std::string> args = vantrel::platform::ProgramArgs(argc, argv);
    std::vector<char*> utf8Argv;
    for (std::string& a : args) utf8Argv.push_back(a.data());
    utf8Argv.push_back(nullptr);
    argc = int(args.size());
    argv = utf8Argv.data();
    CLI::App app{"Vantrel: prepares an Access (Jet) database for the handheld device.\n"
                 "With no arguments it opens the window.\n"
                 "Exit status: 0 done, 1 the job failed, 2 usage error.",
                 vantrel::programName(argv[0])};
    app.require_subcommand(0, 1);
    // Options are spelled with dashes everywhere: a path such as /data/a.mdb
    // is a path, not a Windows-style option.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", vantrel::versionText(), "Print the version and exit");
    auto* help = app.add_subcommand("help", "Print the help of vantrel or of one command");
    std::string helpTopic;
    help->add_option("COMMAND", helpTopic, "the command");
    std::string db, password = vantrel::kFixedPassword;

    auto* tables = app.add_subcommand("tables", "List the user tables of a database");
    tables->add_option("DB", db, "the .mdb file")->required();
    tables->add_option("--password", password, "database password");

    auto* dump = app.add_subcommand("dump", "Print the user tables of a database as JSON");
    dump->add_option("DB", db, "the .mdb file")->required();
    dump->add_option("--password", password, "database password");
    std::vector<std::string> dumpOnly;
    dump->add_option("--table", dumpOnly, "only this table (repeatable)");

    auto* exportCmd = app.add_subcommand(
        "export", "Print one table's rows as CSV (mdb-export's conventions) or JSON Lines, or copy tables into SQLite");
    std::string exportTable, exportFormat = "csv", sqliteOut;
    vantrel::ExportOptions exportOptions;
    bool noHeader = false, noQuote = false, sqliteReplace = false;
    std::vector<std::string> sqliteOnly;
    exportCmd->add_option("DB", db, "the .mdb file")->required();
    exportCmd->add_option("TABLE", exportTable, "the table (not with --sqlite)");
    exportCmd->add_option("--sqlite", sqliteOut, "copy the user tables into this new SQLite file, verified");
    exportCmd->add_option("--table", sqliteOnly, "--sqlite: only this table (repeatable)");
    exportCmd->add_flag("--replace", sqliteReplace, "--sqlite: replace an existing file");
    exportCmd->add_option("--password", password, "database password");
    exportCmd->add_option("--format", exportFormat, "csv (default) or jsonl: one JSON object per row")
        ->check(CLI::IsMember({"csv", "jsonl"}));
    exportCmd->add_option("-d,--delimiter", exportOptions.delimiter, "CSV: between values (default ','; \\t for a tab)");
    exportCmd->add_option("-R,--row-delimiter", exportOptions.rowDelimiter, "CSV: after each row (default a newline, \\n; also \\r and \\t)");
    exportCmd->add_flag("-H,--no-header", noHeader, "CSV: no first row of column names");
    exportCmd->add_flag("-Q,--no-quote", noQuote, "CSV: text values without quotes");
    exportCmd->add_option("-D,--date-format", exportOptions.dateFormat,
                          "strftime format for dates (default %Y-%m-%d %H:%M:%S)");

    auto* script = app.add_subcommand("script", "Write the device script (INSERT and CREATE INDEX lines) of a database");
    std::string output;
    std::vector<std::string> only;
    script->add_option("DB", db, "the .mdb file")->required();
    script->add_option("-o,--output", output, "script file (default: beside the database, extension tdb; - for standard output)");
    script->add_option("--table", only, "only this table (repeatable)");
    script->add_option("--password", password, "database password");

    auto* convert = app.add_subcommand("convert", "Fill every Null of every user table in place and close the script file");
    bool copy = false;
    convert->add_option("DB", db, "the .mdb file")->required();
    convert->add_option("--password", password, "database password");
    convert->add_flag("--copy", copy, "also copy the script file into the emulator folder");

    auto* check = app.add_subcommand("check", "Check that every index of every table agrees with the rows");
    check->add_option("DB", db, "the .mdb file")->required();
    check->add_option("--password", password, "database password");

    auto* create = app.add_subcommand("create", "Make a new Jet4 database from SQL statements (one per line or ended by ';')");
    std::string sqlFile, newPassword;
    create->add_option("DB", db, "the new .mdb file (must not exist)")->required();
    create->add_option("-f,--file", sqlFile, "the statements (default: standard input)");
    create->add_option("--password", newPassword, "give the new database this password");
    auto* sql = app.add_subcommand("sql", "Print SQL statements that rebuild the user tables of a database (for create)");
    sql->add_option("DB", db, "the .mdb file")->required();
    sql->add_option("--password", password, "database password");
    auto* device = app.add_subcommand("device", "Report what the handheld device will get of a database, and every loss on the way");
    std::vector<std::string> deviceOnly;
    bool deviceJson = false;
    std::string deviceCharset;
    device->add_option("DB", db, "the .mdb file")->required();
    device->add_option("--password", password, "database password");
    device->add_option("--table", deviceOnly, "only this table (repeatable)");
    device->add_flag("--json", deviceJson, "the report as JSON");
    device->add_option("--charset", deviceCharset, "the script file's character set, e.g. CP1252 (default: the system's)");
    device->footer("Per table a summary line, then each loss: names cut or renamed, indexes dropped or reduced,\n"
                   "columns not sent, values the device cannot hold, Nulls convert leaves, what the script file\n"
                   "cannot carry. The file is only read. Exit status 0 when the report is made (losses included),\n"
                   "1 when the database cannot be read.");
    auto* demo = app.add_subcommand("demo", "Write DIR/demo.mdb, a small database with Nulls worth filling");
    std::string demoDir;
    demo->add_option("DIR", demoDir, "folder for demo.mdb")->required();
    if (int status = vantrel::parseCommandLine(app, argc, argv); status >= 0) return status;
    try {
        if (help->parsed()) {
            if (helpTopic.empty()) {
                const auto* f = app.get_formatter().get();
                std::printf("%s", f->make_help(&app, app.get_name(), CLI::AppFormatMode::Normal).c_str());
                return vantrel::kExitDone;
            }
            for (const CLI::App* s : app.get_subcommands([](const CLI::App*) { return true; }))
                if (s->get_name() == helpTopic) {
                    std::printf("%s", s->help(app.get_name()).c_str());
                    return vantrel::kExitDone;
                }
            std::vector<std::string> names;
            for (const CLI::App* s : app.get_subcommands([](const CLI::App*) { return true; })) names.push_back(s->get_name());
            const std::string near = vantrel::closestWord(helpTopic, names);
            return vantrel::usageError(app.get_name(), "'" + helpTopic + "' is not a vantrel command" +
                                           (near.empty() ? "" : "; did you mean '" + near + "'?"),
                                       "");
        }
        if (tables->parsed()) return vantrel::runTables(db, password);
        if (dump->parsed()) return vantrel::runDump(db, password, stdout, dumpOnly);
        if (exportCmd->parsed() && (!sqliteOut.empty() || !sqliteOnly.empty() || sqliteReplace)) {
            if (sqliteOut.empty() || !exportTable.empty())
                return vantrel::usageError(app.get_name(),
                                           sqliteOut.empty() ? "--table and --replace go with --sqlite OUT"
                                                             : "export --sqlite takes no TABLE (--table names tables)",
                                           "export");
            return vantrel::runSqliteExport(db, password, sqliteOut, sqliteOnly, sqliteReplace);
        }
        if (exportCmd->parsed()) {
            if (exportTable.empty()) return vantrel::usageError(app.get_name(), "export needs TABLE or --sqlite OUT", "export");
            exportOptions.delimiter = vantrel::unescape(exportOptions.delimiter);
            exportOptions.rowDelimiter = vantrel::unescape(exportOptions.rowDelimiter);
            exportOptions.jsonLines = exportFormat == "jsonl";
            exportOptions.header = !noHeader;
            exportOptions.quote = !noQuote;
            return vantrel::runExport(db, password, exportTable, exportOptions);
        }
        if (script->parsed()) return vantrel::runScript(db, password, output, only);
        if (check->parsed()) return vantrel::runCheck(db, password);
        if (convert->parsed()) return vantrel::runConvert(db, password, copy);
        if (create->parsed()) return vantrel::runCreate(db, newPassword, sqlFile);
        if (demo->parsed()) return vantrel::runDemo(demoDir);
        if (sql->parsed()) return vantrel::runSql(db, password);
        if (device->parsed()) return vantrel::runDevice(db, password, deviceOnly, deviceJson, deviceCharset);
        return vantrel::usageError(app.get_name(), "a command is needed", "");
    } catch (const vantrel::JetError& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "Error Number [%ld]\nError Description [%s]\n", e.Number, e.Description.c_str());
        return vantrel::kExitFailed;
    } catch (const vantrel::InternalError& e) {
        // Not the file's fault nor the user's: said as what it is.
        std::fflush(stdout);
        std::fprintf(stderr, "vantrel: internal fault: %s\n", e.what());
        return vantrel::kExitFailed;
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "vantrel: %s\n", e.what());
        return vantrel::kExitFailed;
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_CTYPE, "");  // the script file is written in the locale's character set
    if (argc == 1) return vantrel::RunWindow(argc, argv);
    vantrel::platform::UseParentConsole();
    return vantrel::endStandardOutput(runCommand(argc, argv));
}
