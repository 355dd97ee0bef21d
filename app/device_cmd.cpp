#include "device_cmd.h"

#include <cstdio>

#include "commands.h"
#include "device_report.h"
#include "device_rules.h"
#include "json_out.h"
#include "null_fill_preview.h"
#include "table_choice.h"
#include "user_tables.h"
#include "value_forms.h"

namespace vantrel {

namespace {

std::vector<std::string> userTableNames(const Database& db) {
    std::vector<std::string> names;
    for (const TableDef& t : db.TableDefs())
        if (IsUserTable(t)) names.push_back(t.Name());
    return names;
}

DeviceReport makeReport(Database& db, const std::vector<TableDef>& tables, const std::vector<FillOutcome>& fill,
                        const ScriptEncoder& script) {
    return reportDevice(tables, userTableNames(db), fill, script);
}

std::string countText(size_t n, const char* one, const char* many) { return std::to_string(n) + " " + (n == 1 ? one : many); }

// "Price (Currency -> double)", "Amount (Decimal, not sent)".
std::string columnSubject(const DeviceColumn& c) {
    return "column " + c.name + " (" + typeName(c.type) + (c.deviceType.empty() ? ", not sent" : " -> " + c.deviceType) + ")";
}

void printText(const DeviceReport& r, std::FILE* out) {
    std::fprintf(out, "%s of %s lose something on the way to the device (script file in %s)\n",
                 std::to_string(r.tablesWithLosses()).c_str(), countText(r.tables.size(), "table", "tables").c_str(), r.charset.c_str());
    if (!r.fillFailure.empty()) std::fprintf(out, "convert stops: %s\n", r.fillFailure.c_str());
    for (const DeviceTable& t : r.tables) {
        const size_t n = t.lossCount();
        if (n == 0) {
            std::fprintf(out, "%s: nothing lost\n", t.name.c_str());
            continue;
        }
        std::fprintf(out, "%s: %s\n", t.name.c_str(), countText(n, "loss", "losses").c_str());
        for (const DeviceLoss& l : t.losses) std::fprintf(out, "  table: %s\n", l.text.c_str());
        for (const DeviceColumn& c : t.columns)
            for (const DeviceLoss& l : c.losses) std::fprintf(out, "  %s: %s\n", columnSubject(c).c_str(), l.text.c_str());
        for (const DeviceIndex& i : t.indexes)
            for (const DeviceLoss& l : i.losses) std::fprintf(out, "  index %s: %s\n", i.name.c_str(), l.text.c_str());
    }
}

void writeLosses(JsonOut& j, const std::vector<DeviceLoss>& losses) {
    j.raw("\"losses\": [");
    for (size_t k = 0; k < losses.size(); ++k) {
        j.raw(k ? ", {\"kind\": " : "{\"kind\": ");
        j.string(losses[k].kind);
        j.raw(", \"text\": ");
        j.string(losses[k].text);
        j.raw("}");
    }
    j.raw("]");
}

void writeNameOrNull(JsonOut& j, const std::string& name) {
    if (name.empty())
        j.raw("null");
    else
        j.string(name);
}

void writeTable(JsonOut& j, const DeviceTable& t) {
    j.raw("{\"name\": ");
    j.string(t.name);
    j.raw(", \"deviceName\": ");
    writeNameOrNull(j, t.deviceName);
    j.raw(", \"rows\": " + std::to_string(t.rows) + ", ");
    writeLosses(j, t.losses);
    j.raw(",\n   \"columns\": [");
    for (size_t k = 0; k < t.columns.size(); ++k) {
        const DeviceColumn& c = t.columns[k];
        j.raw(k ? ",\n    {\"name\": " : "\n    {\"name\": ");
        j.string(c.name);
        j.raw(", \"type\": " + std::to_string(c.type) + ", \"typeName\": ");
        j.string(typeName(c.type));
        j.raw(", \"deviceType\": ");
        writeNameOrNull(j, c.deviceType);
        j.raw(", \"nulls\": " + std::to_string(c.nulls) + ", \"nullsLeft\": " + std::to_string(c.nullsLeft));
        if (c.type == dbText || c.type == dbMemo) j.raw(", \"longest\": " + std::to_string(c.longest));
        j.raw(", ");
        writeLosses(j, c.losses);
        j.raw("}");
    }
    j.raw("],\n   \"indexes\": [");
    for (size_t k = 0; k < t.indexes.size(); ++k) {
        const DeviceIndex& i = t.indexes[k];
        j.raw(k ? ",\n    {\"name\": " : "\n    {\"name\": ");
        j.string(i.name);
        j.raw(", \"deviceName\": ");
        writeNameOrNull(j, i.deviceName);
        j.raw(", \"columns\": [");
        for (size_t c = 0; c < i.columns.size(); ++c) {
            if (c) j.raw(", ");
            j.string(i.columns[c]);
        }
        j.raw("], ");
        writeLosses(j, i.losses);
        j.raw("}");
    }
    j.raw("]}");
}

void printJson(const DeviceReport& r, std::FILE* out) {
    JsonOut j(out);
    j.raw("{\"charset\": ");
    j.string(r.charset);
    j.raw(", \"memoLimit\": " + std::to_string(kDeviceMemoUnits) + ", \"fillFailure\": ");
    writeNameOrNull(j, r.fillFailure);
    j.raw(", \"losses\": " + std::to_string(r.lossCount()) + ", \"tables\": [");
    for (size_t k = 0; k < r.tables.size(); ++k) {
        j.raw(k ? ",\n  " : "\n  ");
        writeTable(j, r.tables[k]);
    }
    j.raw("]}\n");
}

}  // namespace

int runDevice(const std::string& path, const std::string& password, const std::vector<std::string>& only, bool json,
              const std::string& charset) {
    Database db = DBEngine::Default().OpenDatabase(path, false, true, ";pwd=" + password);
    const std::vector<TableDef> tables = chosenTables(db, only);
    std::vector<std::string> names;
    for (const TableDef& t : tables) names.push_back(t.Name());
    const FillPreview fill = previewNullFill(path, password, names);
    const ScriptEncoder script = charset.empty() ? ScriptEncoder() : ScriptEncoder(charset);
    DeviceReport report = makeReport(db, tables, fill.outcomes, script);
    report.fillFailure = fill.failure;
    db.Close();
    if (json)
        printJson(report, stdout);
    else
        printText(report, stdout);
    return 0;
}

std::string deviceLossLine(const std::string& path, const std::string& password, const std::vector<FillOutcome>& fill) {
    Database db = DBEngine::Default().OpenDatabase(path, false, true, ";pwd=" + password);
    const DeviceReport report = makeReport(db, chosenTables(db, {}), fill, ScriptEncoder());
    db.Close();
    if (report.lossCount() == 0) return "";
    return "vantrel: " + countText(report.lossCount(), "loss", "losses") + " on the way to the device, in " +
           countText(report.tablesWithLosses(), "table", "tables") + ": see `vantrel device " + path + "`";
}

}  // namespace vantrel
