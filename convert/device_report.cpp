// The report walks each chosen table once: its names and indexes through
// the rules, then its rows, counting per column what the device or the
// script file cannot take.
#include "device_report.h"

#include <map>

#include "device_rules.h"
#include "text_forms.h"
#include "type_classes.h"

namespace vantrel {

namespace {

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

std::string plural(long n, const std::string& one, const std::string& many) { return std::to_string(n) + " " + (n == 1 ? one : many); }

// What the rows of one column hold that matters on the way.
struct ColumnTally {
    long values = 0;
    size_t longest = 0;
    long overMemoLimit = 0;
    long currencyChanged = 0;
    int64_t currencyExample = 0;
    size_t missingChars = 0;
    long valuesMissingChars = 0;
    long blanked = 0;  // values with CR, LF or '"', which the script writes as blanks
};

// How the script file writes a column (record_statements.cpp): left out,
// written, or refused (no script form).
enum class ScriptForm { leftOut, written, refused };

ScriptForm scriptFormOf(int16_t type) {
    if (type == dbBinary || type == dbLongBinary || type == dbGUID) return ScriptForm::leftOut;
    return QuoteStr(Variant::integer(type)).type() == VarType::Boolean ? ScriptForm::written : ScriptForm::refused;
}

bool textLike(int16_t type) { return type == dbText || type == dbMemo; }

void tallyValue(const Field& column, const Variant& v, const ScriptEncoder& script, ColumnTally& t, long& nulls) {
    if (v.isNull()) {
        ++nulls;
        return;
    }
    ++t.values;
    const int16_t type = column.Type();
    if (type == dbCurrency && !currencySurvivesDouble(v.asInt())) {
        if (t.currencyChanged++ == 0) t.currencyExample = v.asInt();
    }
    if (!textLike(type)) return;
    const std::string& text = v.str();
    const size_t units = utf16Units(text);
    if (units > t.longest) t.longest = units;
    if (type == dbMemo && units > kDeviceMemoUnits) ++t.overMemoLimit;
    size_t missing = 0;
    script.encode(text, &missing);
    t.missingChars += missing;
    t.valuesMissingChars += missing > 0;
    if (text.find_first_of("\r\n\"") != std::string::npos) ++t.blanked;
}

void addDeviceLosses(DeviceColumn& c, const ColumnTally& t) {
    const DeviceType device = deviceTypeOf(c.type);
    if (device.sending == Sending::no) c.losses.push_back({"not-sent", "not sent: the conversion has no device type for it"});
    if (device.sending == Sending::ifSelected)
        c.losses.push_back({"not-selected", "not sent unless the user selects the column (then varbinary)"});
    if (charCount(c.name) > kDeviceNameChars)
        c.losses.push_back({"field-name-cut", "name cut to 64 characters: " + quoted(firstChars(c.name, kDeviceNameChars))});
    if (t.overMemoLimit)
        c.losses.push_back(
            {"memo-too-long", plural(t.overMemoLimit, "value", "values") + " longer than " + std::to_string(kDeviceMemoUnits) +
                                  " characters, the device's largest string: not sent (longest " + std::to_string(t.longest) + ")"});
    if (t.currencyChanged)
        c.losses.push_back({"currency-inexact", plural(t.currencyChanged, "value changes", "values change") +
                                                    " in the device's double, e.g. " + DefaultText(Variant::currency(t.currencyExample))});
}

void addScriptLosses(DeviceColumn& c, const ColumnTally& t, const std::string& charset) {
    const ScriptForm form = scriptFormOf(c.type);
    if (form == ScriptForm::refused && t.values)
        c.losses.push_back({"no-script-form", "no form in the script file: the script stops at the first of its " +
                                                  plural(t.values, "value", "values") + " (error 13)"});
    if (form == ScriptForm::leftOut && t.values)
        c.losses.push_back({"script-left-out", "left out of the script file (" + plural(t.values, "value", "values") + ")"});
    if (t.missingChars)
        c.losses.push_back({"code-page", plural(long(t.missingChars), "character", "characters") + " in " +
                                             plural(t.valuesMissingChars, "value", "values") + " become \"?\" in the script file (" +
                                             charset + " lacks them)"});
    if (t.blanked)
        c.losses.push_back({"script-blanks", plural(t.blanked, "value has", "values have") +
                                                 " line breaks or double quotes, written as blanks in the script file"});
}

void addNullLosses(DeviceColumn& c, const std::string& table, const std::vector<FillOutcome>& fill) {
    for (const FillOutcome& o : fill) {
        if (o.table != table || o.column != c.name) continue;
        if (o.failed) c.nullsLeft += c.nulls;
        for (const auto& refused : o.update.refused) c.nullsLeft += refused.second;
        if (o.failed && c.nulls)
            c.losses.push_back(
                {"nulls-left", plural(c.nulls, "Null", "Nulls") + " left after convert: the null-fill skips the column (" + o.error + ")"});
        for (const auto& [why, n] : o.update.refused)
            c.losses.push_back({"nulls-left", plural(n, "Null", "Nulls") + " left after convert: " + why});
    }
}

std::vector<DeviceIndex> indexesOf(const TableDef& t) {
    std::vector<IndexShape> shapes;
    std::vector<DeviceIndex> out;
    for (const Index& i : t.Indexes()) {
        IndexShape s{i.Name(), {}, i.Primary(), i.Unique(), i.IgnoreNulls()};
        for (const Field& f : i.Fields()) s.columns.push_back(f.Name());
        out.push_back({i.Name(), "", s.columns, {}});
        shapes.push_back(std::move(s));
    }
    const std::vector<IndexFate> fates = indexFates(shapes);
    for (size_t k = 0; k < out.size(); ++k) {
        DeviceIndex& d = out[k];
        const IndexFate& f = fates[k];
        d.deviceName = f.dropped ? "" : f.deviceName;
        if (f.dropped) {
            d.losses.push_back({"index-dropped", "dropped: the device keeps three indexes a table (unique ones first, then by name)"});
            continue;
        }
        if (f.nameCut) d.losses.push_back({"index-name-cut", "name cut to 64 characters: " + quoted(f.deviceName)});
        if (!f.sameNameAs.empty())
            d.losses.push_back({"index-same-name", "its device name is index " + quoted(f.sameNameAs) +
                                                       "'s (letter case aside): what the device does then is not documented"});
        if (f.firstColumnOnly) {
            std::string rest;
            for (size_t c = 1; c < d.columns.size(); ++c) rest += (c > 1 ? ", " : "") + d.columns[c];
            d.losses.push_back({"index-first-column", "only its first column, " + d.columns[0] + ", is indexed (" + rest + " dropped)"});
        }
        if (!f.attributesLost.empty()) {
            std::string lost;
            for (const std::string& a : f.attributesLost) lost += (lost.empty() ? "" : ", ") + a;
            d.losses.push_back({"index-attributes", lost + " lost: only Ascending/Descending is kept"});
        }
    }
    return out;
}

void addNamingLoss(DeviceTable& d, const TableNaming& n) {
    d.deviceName = n.deviceName;
    switch (n.outcome) {
        case TableNaming::Outcome::same: break;
        case TableNaming::Outcome::cut: d.losses.push_back({"name-cut", "name cut to 31 characters: " + quoted(n.deviceName)}); break;
        case TableNaming::Outcome::renamed:
            d.losses.push_back({"renamed", "renamed " + quoted(n.deviceName) + ": its device name " + quoted(n.clashesWith) +
                                               " is an earlier table's (letter case aside)"});
            break;
        case TableNaming::Outcome::notCopied:
            d.losses.push_back({"not-copied", "not copied: its device name " + quoted(n.clashesWith) +
                                                  " and the ten names ending in a digit are earlier tables'"});
            break;
    }
}

DeviceTable reportTable(const TableDef& t, const TableNaming& naming, const std::vector<FillOutcome>& fill, const ScriptEncoder& script) {
    DeviceTable d;
    d.name = t.Name();
    d.rows = t.RecordCount();
    addNamingLoss(d, naming);
    if (naming.outcome == TableNaming::Outcome::notCopied) return d;  // nothing else reaches the device
    const auto defs = t.Fields();
    std::vector<ColumnTally> tallies(size_t(defs.Count()));
    for (const Field& f : defs) d.columns.push_back({f.Name(), f.Type(), deviceTypeOf(f.Type()).name, 0, 0, 0, {}});
    Recordset rs = t.OpenRecordset();
    auto fields = rs.Fields();
    Variant value;
    for (; !rs.EOF_(); rs.MoveNext())
        for (int i = 0; i < fields.Count(); ++i) {
            fields[i].ReadValue(value);
            tallyValue(fields[i], value, script, tallies[size_t(i)], d.columns[size_t(i)].nulls);
        }
    rs.Close();
    for (size_t i = 0; i < d.columns.size(); ++i) {
        DeviceColumn& c = d.columns[i];
        c.longest = tallies[i].longest;
        addDeviceLosses(c, tallies[i]);
        addNullLosses(c, d.name, fill);
        addScriptLosses(c, tallies[i], script.charset());
    }
    d.indexes = indexesOf(t);
    return d;
}

}  // namespace

size_t DeviceTable::lossCount() const {
    size_t n = losses.size();
    for (const DeviceColumn& c : columns) n += c.losses.size();
    for (const DeviceIndex& i : indexes) n += i.losses.size();
    return n;
}

size_t DeviceReport::lossCount() const {
    size_t n = 0;
    for (const DeviceTable& t : tables) n += t.lossCount();
    return n;
}

size_t DeviceReport::tablesWithLosses() const {
    size_t n = 0;
    for (const DeviceTable& t : tables) n += t.lossCount() > 0;
    return n;
}

DeviceReport reportDevice(const std::vector<TableDef>& tables, const std::vector<std::string>& userTables,
                          const std::vector<FillOutcome>& fill, const ScriptEncoder& script) {
    const std::vector<TableNaming> naming = nameTables(userTables);
    DeviceReport report;
    report.charset = script.charset();
    for (const TableDef& t : tables) {
        TableNaming own;
        for (size_t k = 0; k < userTables.size(); ++k)
            if (userTables[k] == t.Name()) own = naming[k];
        if (own.deviceName.empty() && own.outcome == TableNaming::Outcome::same) own.deviceName = t.Name();
        report.tables.push_back(reportTable(t, own, fill, script));
    }
    return report;
}

}  // namespace vantrel
