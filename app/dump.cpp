#include <algorithm>
#include <cstdio>

#include "commands.h"
#include "dao.h"
#include "json_out.h"
#include "progress_bar.h"
#include "table_choice.h"
#include "user_tables.h"
#include "value_forms.h"

namespace vantrel {

namespace {

std::string connectFor(const std::string& password) { return ";pwd=" + password; }

}  // namespace

int runTables(const std::string& path, const std::string& password) {
    Database db = DBEngine::Default().OpenDatabase(path, false, true, connectFor(password));
    for (const TableDef& t : db.TableDefs())
        if (IsUserTable(t)) std::printf("%s\n", t.Name().c_str());
    db.Close();
    return 0;
}

int runDump(const std::string& path, const std::string& password, std::FILE* file, const std::vector<std::string>& only) {
    Database db = DBEngine::Default().OpenDatabase(path, false, true, connectFor(password));
    std::vector<TableDef> tables = chosenTables(db, only);
    if (only.empty())
        std::sort(tables.begin(), tables.end(), [](const TableDef& a, const TableDef& b) { return a.Name() < b.Name(); });

    JsonOut out(file);
    ProgressBar bar(ProgressBar::wanted() ? totalRows(tables) : 0);
    const std::string version = db.Version();
    out.raw("{\"format\": ");
    out.string(version == "3.0" ? "Jet3" : version == "4.0" ? "Jet4" : "ACE");
    out.raw(", \"tables\": [");
    bool firstTable = true;
    for (const TableDef& t : tables) {
        out.raw(firstTable ? "\n {\"name\": " : ",\n {\"name\": ");
        firstTable = false;
        out.string(t.Name());
        out.raw(", \"columns\": [");
        auto defFields = t.Fields();
        for (int i = 0; i < defFields.Count(); ++i) {
            const Field& f = defFields[i];
            out.raw(i ? ", {\"name\": " : "{\"name\": ");
            out.string(f.Name());
            out.raw(", \"type\": " + std::to_string(f.Type()) + "}");
        }
        out.raw("],\n  \"rows\": [");
        // The column being read, by its place: the recordset's fields are
        // gone by the time a failure is reported.
        int current = -1;
        long row = -1;
        try {
            Recordset rs = t.OpenRecordset();
            auto fields = rs.Fields();
            std::vector<const Field*> columns;
            std::vector<int16_t> types;
            for (const Field& f : fields) {
                columns.push_back(&f);
                types.push_back(f.Type());
            }
            // One value per column, reused from row to row.
            std::vector<Variant> values(columns.size());
            bool firstRow = true;
            for (row = 0; !rs.EOF_(); ++row) {
                out.raw(firstRow ? "\n   [" : ",\n   [");
                firstRow = false;
                for (size_t i = 0; i < columns.size(); ++i) {
                    if (i) out.raw(", ");
                    current = int(i);
                    columns[i]->ReadValue(values[i]);
                    writeJsonValue(out, types[i], values[i], BinaryForm::Digest);
                }
                current = -1;
                out.raw("]");
                bar.step(t.Name());
                rs.MoveNext();
            }
            rs.Close();
        } catch (const JetError& e) {
            out.flush();
            std::fflush(file);
            bar.finish();
            std::fprintf(stderr, "vantrel: %s\n", failureText(t.Name(), current >= 0 ? &defFields[current] : nullptr, row, e).c_str());
            return 1;
        }
        out.raw("]}");
    }
    out.raw("]}\n");
    out.flush();
    db.Close();
    return 0;
}

}  // namespace vantrel
