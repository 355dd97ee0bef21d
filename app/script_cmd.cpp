#include <cstdio>
#include <filesystem>

#include "commands.h"
#include "converter.h"
#include "output_file.h"
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
    conv.ScriptPath = output.empty() ? MakeScriptPath(dbPath) : output;
    OutputFile out(conv.ScriptPath);  // a regular file is replaced only when the script is whole
    conv.ScriptPath = out.writePath();

    Database db = DBEngine::Default().OpenDatabase(dbPath, false, true, ";pwd=" + password);
    std::vector<TableDef> tables;
    if (only.empty()) {
        for (const TableDef& t : db.TableDefs())
            if (IsUserTable(t)) tables.push_back(t);
    } else {
        auto all = db.TableDefs();
        for (const std::string& name : only) tables.push_back(all.Item(name));
    }
    for (TableDef& t : tables) {
        conv.WriteRecords(db, t);
        if (hasSingleColumnPrimary(t)) conv.CreateIdxStr(t);
    }
    conv.WriteString("End Of File");
    db.Close();
    out.commit();
    return 0;
}

}  // namespace vantrel
