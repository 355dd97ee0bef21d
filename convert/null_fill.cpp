// The null-fill pass: every Null in every column of every user table becomes
// "" (text-like columns) or 0 (value columns), one UPDATE per column; a column
// whose statement fails is reported and skipped. A failure that concerns the
// file itself (it cannot be read or written, it is damaged) is no column's
// fault: it ends the pass at once and reaches the caller.
#include "converter.h"
#include "type_classes.h"
#include "user_tables.h"

namespace vantrel {

void Converter::MainSub(Database& db) {
    for (TableDef tbl : db.TableDefs()) {
        if (tbl.Attributes() != 0) continue;
        if (NamePrefixUpper(tbl.Name()) == "MSYS") continue;
        CreateTblStr(tbl);
    }
}

void Converter::CreateTblStr(TableDef& tbl) {
    const std::string T = tbl.Name();
    auto fields = tbl.Fields();
    for (int i = 0; i < fields.Count(); ++i) {
        const Field& field = fields[i];
        const std::string F = field.Name();
        if (progress_) progress_(T, F);
        FillOutcome outcome{T, F, false, {}};
        try {
            const bool text = equalsBoolean(QuoteStr(Variant::integer(field.Type())), true);
            const std::string statement = "update " + T + " set  " + F + (text ? "=''" : "=0") + " " + "where isnull(" + F + ")";
            dbSrc.Execute(statement);
            outcome.update = dbSrc.LastUpdate();
        } catch (const JetError& e) {
            if (e.concernsFile()) throw;
            outcome.failed = true;
            messages_.Show(T + "表單的 " + F + "欄位  錯誤略過");
        } catch (const std::exception&) {
            outcome.failed = true;
            messages_.Show(T + "表單的 " + F + "欄位  錯誤略過");
        }
        outcomes_.push_back(std::move(outcome));
    }
}

}  // namespace vantrel
