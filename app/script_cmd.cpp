#include <cstdio>
#include <optional>

#include "commands.h"
#include "converter.h"
#include "progress_bar.h"
#include "script_report.h"
#include "output_file.h"
#include "stream_env.h"
#include "user_tables.h"

namespace vantrel {

namespace {
class StderrSink : public MessageSink {
public:
    void Show(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
};

bool hasSingleColumnPrimary(const TableDef& t) {
    for (const Index& i : t.Indexes())
        if (i.Primary() && i.Fields().Count() == 1) return true;
    return false;
}
}  // namespace

int runScript(const std::string& dbPath, const std::string& password, const std::string& output,
              const std::vector<std::string>& only) {
    StderrSink sink;
    Converter conv(sink);
    // "-" is the process's standard output itself, never a name for it.
    const bool toStdout = output == "-";
    StreamEnv standardOutput(stdout, "standard output");
    if (toStdout) conv.scriptEnv(standardOutput);
    conv.ScriptPath = toStdout ? "standard output" : output.empty() ? MakeScriptPath(dbPath) : output;
    const std::string where = conv.ScriptPath;
    if (!toStdout) RefuseOutputOverDatabase(conv.ScriptPath, dbPath);
    Database db = DBEngine::Default().OpenDatabase(dbPath, false, true, ";pwd=" + password);
    std::vector<TableDef> tables;
    if (only.empty()) {
        for (const TableDef& t : db.TableDefs())
            if (IsUserTable(t)) tables.push_back(t);
    } else {
        auto all = db.TableDefs();
        for (const std::string& name : only) tables.push_back(all.Item(name));
    }
    // The output is touched only once the database and its tables are found.
    // Written under a temporary name; on a failure the lines before it keep
    // the file's name, as the statement writers promise.
    std::optional<OutputFile> out;
    if (!toStdout) {
        out.emplace(conv.ScriptPath, OutputFile::OnFailure::keepPartial);
        conv.ScriptPath = out->writePath();
    }
    long rows = 0;
    if (ProgressBar::wanted())
        for (const TableDef& t : tables) rows += t.RecordCount();
    ProgressBar bar(rows);
    for (TableDef& t : tables) {
        conv.onRecord([&] { bar.step(t.Name()); });
        try {
            conv.WriteRecords(db, t);
            if (hasSingleColumnPrimary(t)) conv.CreateIdxStr(t);
        } catch (const JetError& e) {
            bar.finish();
            std::fflush(stdout);
            std::fprintf(stderr, "vantrel: %s\nvantrel: %s %s %s (no \"End Of File\")\n", scriptFailureText(t, e).c_str(),
                         lineCount(conv.linesWritten()).c_str(), toStdout ? "went to" : "stayed in", where.c_str());
            return 1;
        }
    }
    conv.WriteString("End Of File");
    db.Close();
    if (out) out->commit();
    bar.finish();
    std::fprintf(stderr, "vantrel: wrote %s to %s\n", lineCount(conv.linesWritten()).c_str(), where.c_str());
    return 0;
}

}  // namespace vantrel
