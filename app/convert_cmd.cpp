#include <cstdio>
#include <map>

#include "commands.h"
#include "console.h"
#include "converter.h"
#include "device_cmd.h"
#include "progress_bar.h"
#include "output_file.h"
#include "user_tables.h"

namespace vantrel {

namespace {

class StdoutSink : public MessageSink {
public:
    void Show(const std::string& text) override {
        std::fprintf(stdout, "%s\n", text.c_str());
        std::fflush(stdout);
    }
};

void printReport(const std::vector<FillOutcome>& outcomes) {
    struct Tally {
        long filled = 0, skipped = 0;
        std::map<std::string, long> left;
    };
    std::map<std::string, Tally> byTable;
    std::vector<std::string> order;
    for (const auto& o : outcomes) {
        if (!byTable.count(o.table)) order.push_back(o.table);
        Tally& t = byTable[o.table];
        t.filled += o.update.affected;
        for (const auto& [why, n] : o.update.refused) t.left[why] += n;
        t.skipped += o.failed;
    }
    for (const auto& name : order) {
        const Tally& t = byTable[name];
        std::fprintf(stderr, "%s: %ld value%s filled", name.c_str(), t.filled, t.filled == 1 ? "" : "s");
        for (const auto& [why, n] : t.left) std::fprintf(stderr, "; %ld left Null: %s", n, why.c_str());
        if (t.skipped) std::fprintf(stderr, "; %ld column%s skipped (statement failed)", t.skipped, t.skipped == 1 ? "" : "s");
        std::fprintf(stderr, "\n");
    }
}

}  // namespace

int runConvert(const std::string& dbPath, const std::string& password, bool copy) {
    StdoutSink sink;
    Converter conv(sink);
    conv.ScriptPath = MakeScriptPath(dbPath);
    RefuseOutputOverDatabase(conv.ScriptPath, dbPath);  // data.tdb would be its own script file
    // The old script goes, whatever happens next; a device or FIFO of that name is written, never replaced.
    OutputFile script(conv.ScriptPath, OutputFile::OnFailure::keepPartial);
    conv.ScriptPath = script.writePath();

    conv.dbSrc = DBEngine::Default().OpenDatabase(dbPath, false, false, ";pwd=" + password);
    int columns = 0;
    for (const TableDef& t : conv.dbSrc.TableDefs())
        if (IsUserTable(t)) columns += t.Fields().Count();
    {
        ProgressBar bar(columns);
        conv.onProgress([&](const std::string& t, const std::string& c) { bar.step(t + "." + c); });
        conv.MainSub(conv.dbSrc);
    }
    conv.WriteString("End Of File");
    conv.dbSrc.Close();
    conv.ScriptPath = script.commit();
    printReport(conv.outcomes());
    // Advice only: the database is converted, whatever the report meets.
    try {
        if (const std::string line = deviceLossLine(dbPath, password, conv.outcomes()); !line.empty())
            std::fprintf(stderr, "%s\n", line.c_str());
    } catch (const JetError&) {
    }
    if (copy) return runCopyToEmulator(conv.ScriptPath);
    return 0;
}

}  // namespace vantrel
