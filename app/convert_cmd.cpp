#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>

#include "commands.h"
#include "converter.h"
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

// A one-line bar on standard error, redrawn in place.
class ProgressBar {
public:
    explicit ProgressBar(int total) : total_(total), tty_(isatty(2)) {}
    ~ProgressBar() {
        if (tty_ && shown_) std::fprintf(stderr, "\r%*s\r", 78, "");
    }
    void step(const std::string& table, const std::string& column) {
        ++done_;
        if (!tty_) return;
        shown_ = true;
        const int width = 30;
        int filled = total_ ? width * done_ / total_ : width;
        std::string label = table + "." + column;
        if (label.size() > 38) label = label.substr(0, 35) + "...";
        std::fprintf(stderr, "\r[%s%s] %3d%% %-38s", std::string(size_t(filled), '#').c_str(),
                     std::string(size_t(width - filled), '.').c_str(), total_ ? 100 * done_ / total_ : 100, label.c_str());
        std::fflush(stderr);
    }

private:
    int total_, done_ = 0;
    bool tty_, shown_ = false;
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
    // The old script goes, whatever happens next; a device or FIFO of that name is written, never replaced.
    OutputFile script(conv.ScriptPath, OutputFile::OnFailure::keepPartial);
    conv.ScriptPath = script.writePath();

    conv.dbSrc = DBEngine::Default().OpenDatabase(dbPath, false, false, ";pwd=" + password);
    int columns = 0;
    for (const TableDef& t : conv.dbSrc.TableDefs())
        if (IsUserTable(t)) columns += t.Fields().Count();
    {
        ProgressBar bar(columns);
        conv.onProgress([&](const std::string& t, const std::string& c) { bar.step(t, c); });
        conv.MainSub(conv.dbSrc);
    }
    conv.WriteString("End Of File");
    conv.dbSrc.Close();
    conv.ScriptPath = script.commit();
    printReport(conv.outcomes());
    if (copy) return runCopyToEmulator(conv.ScriptPath);
    return 0;
}

}  // namespace vantrel
