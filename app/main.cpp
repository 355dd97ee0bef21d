// vantrel: with no arguments the window; with a sub-command, headless work.
#include <CLI/CLI.hpp>

#include <clocale>
#include <cstdio>

#include "commands.h"
#include "console.h"
#include "error.h"
#include "program.h"
#include "window_launch.h"

int main(int argc, char** argv) {
    std::setlocale(LC_CTYPE, "");  // the script file is written in the locale's character set
    if (argc == 1) return vantrel::RunWindow(argc, argv);
    vantrel::platform::UseParentConsole();
    // The arguments as UTF-8 (on Windows from the wide command line).
    std::vector<std::string> args = vantrel::platform::ProgramArgs(argc, argv);
    std::vector<char*> utf8Argv;
    for (std::string& a : args) utf8Argv.push_back(a.data());
    utf8Argv.push_back(nullptr);
    argc = int(args.size());
    argv = utf8Argv.data();
    CLI::App app{"Vantrel: prepares an Access (Jet) database for the handheld device."};
    app.require_subcommand(0, 1);
    std::string db, password = vantrel::kFixedPassword;

    auto* tables = app.add_subcommand("tables", "List the user tables of a database");
    tables->add_option("DB", db, "the .mdb file")->required();
    tables->add_option("--password", password, "database password");

    auto* dump = app.add_subcommand("dump", "Print the user tables of a database as JSON");
    dump->add_option("DB", db, "the .mdb file")->required();
    dump->add_option("--password", password, "database password");

    auto* script = app.add_subcommand("script", "Write the device script (INSERT and CREATE INDEX lines) of a database");
    std::string output;
    std::vector<std::string> only;
    script->add_option("DB", db, "the .mdb file")->required();
    script->add_option("-o,--output", output, "script file (default: beside the database, extension tdb)");
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
    auto* demo = app.add_subcommand("demo", "Write DIR/demo.mdb, a small database with Nulls worth filling");
    std::string demoDir;
    demo->add_option("DIR", demoDir, "folder for demo.mdb")->required();
    CLI11_PARSE(app, argc, argv);
    try {
        if (tables->parsed()) return vantrel::runTables(db, password);
        if (dump->parsed()) return vantrel::runDump(db, password);
        if (script->parsed()) return vantrel::runScript(db, password, output, only);
        if (check->parsed()) return vantrel::runCheck(db, password);
        if (convert->parsed()) return vantrel::runConvert(db, password, copy);
        if (create->parsed()) return vantrel::runCreate(db, newPassword, sqlFile);
        if (demo->parsed()) return vantrel::runDemo(demoDir);
        if (sql->parsed()) return vantrel::runSql(db, password);
        std::fprintf(stderr, "%s", app.help().c_str());
        return 2;
    } catch (const vantrel::JetError& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "Error Number [%ld]\nError Description [%s]\n", e.Number, e.Description.c_str());
        return 1;
    }
}
