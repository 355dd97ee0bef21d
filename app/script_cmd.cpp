#include <cstdio>
#include <filesystem>

#include "commands.h"
#include "converter.h"
#include "progress_bar.h"
#include "table_choice.h"
#include "type_classes.h"
#include "user_tables.h"
#include "value_forms.h"

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

// The column whose type has no script form (the writers' type mismatch), if any.
const Field* unscriptableColumn(const Collection<Field>& fields) {
    for (const Field& f : fields) {
        const int16_t type = f.Type();
        if (type == dbBinary || type == dbLongBinary || type == dbGUID) continue;  // left out, never written
        if (QuoteStr(Variant::integer(type)).type() == VarType::Text) return &f;
    }
    return nullptr;
}

std::string plural(long n, const char* what) { return std::to_string(n) + " " + what + (n == 1 ? "" : "s"); }
}  // namespace

int runScript(const std::string& dbPath, const std::string& password, const std::string& output,
              const std::vector<std::string>& only) {
    StderrSink sink;
    Converter conv(sink);
    const bool toStdout = output == "-";
    if (toStdout) {
        conv.ScriptPath = "/dev/stdout";  // each line appended to whatever standard output is
    } else {
        conv.ScriptPath = output.empty() ? MakeScriptPath(dbPath) : output;
        std::error_code ec;
        std::filesystem::remove(conv.ScriptPath, ec);  // a new script starts empty
    }
    const std::string where = toStdout ? "standard output" : conv.ScriptPath;

    Database db = DBEngine::Default().OpenDatabase(dbPath, false, true, ";pwd=" + password);
    std::vector<TableDef> tables = chosenTables(db, only);
    ProgressBar bar(ProgressBar::wanted() ? totalRows(tables) : 0);
    for (TableDef& t : tables) {
        conv.onRecord([&] { bar.step(t.Name()); });
        try {
            conv.WriteRecords(db, t);
            if (hasSingleColumnPrimary(t)) conv.CreateIdxStr(t);
        } catch (const JetError& e) {
            const Field* column = e.Number == 13 ? unscriptableColumn(t.Fields()) : nullptr;
            std::string text = t.Name();
            if (column)
                text += "." + column->Name() + ": type " + std::to_string(column->Type()) + " (" + typeName(column->Type()) +
                        ") has no script form";
            bar.finish();
            std::fflush(stdout);
            std::fprintf(stderr, "vantrel: %s: Error Number [%ld] Error Description [%s]\n", text.c_str(), e.Number,
                         e.Description.c_str());
            std::fprintf(stderr, "vantrel: %s %s %s (no \"End Of File\")\n", plural(conv.linesWritten(), "line").c_str(),
                         toStdout ? "went to" : "stayed in", where.c_str());
            return 1;
        }
    }
    conv.WriteString("End Of File");
    db.Close();
    bar.finish();
    std::fprintf(stderr, "vantrel: wrote %s to %s\n", plural(conv.linesWritten(), "line").c_str(), where.c_str());
    return 0;
}

}  // namespace vantrel
