// The null-fill pass: every Null in every column of every user table becomes
// "" (text-like columns) or 0 (value columns), one UPDATE per column; a column
// whose statement fails (a Jet error of the statement's own) is reported and
// skipped. A table's statements run
// as one batch (one scan, one journaled unit) with the results of running
// them one by one. A failure that concerns the
// file itself (it cannot be read or written, it is damaged) is no column's
// fault: it ends the pass at once and reaches the caller. So does anything
// that is not a Jet error (an internal fault): it is never a skipped column.
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
    // The table's statements, in column order, run as one batch: one scan of
    // the table and one journaled unit, with the results of running them one
    // by one (Database::ExecuteEach).
    std::vector<std::string> statements;
    std::vector<int> statementOf(size_t(fields.Count()), -1);
    std::vector<std::exception_ptr> buildErrors(size_t(fields.Count()));
    for (int i = 0; i < fields.Count(); ++i) {
        const Field& field = fields[i];
        const std::string F = field.Name();
        if (progress_) progress_(T, F);
        try {
            const bool text = equalsBoolean(QuoteStr(Variant::integer(field.Type())), true);
            statementOf[size_t(i)] = int(statements.size());
            statements.push_back("update " + T + " set  " + F + (text ? "=''" : "=0") + " " + "where isnull(" + F + ")");
        } catch (...) {
            buildErrors[size_t(i)] = std::current_exception();
        }
    }
    const std::vector<StatementResult> results = dbSrc.ExecuteEach(statements);
    for (int i = 0; i < fields.Count(); ++i) {
        const std::string F = fields[i].Name();
        const int k = statementOf[size_t(i)];
        // A file error ended the batch before this column's statement ran.
        if (k >= int(results.size())) break;
        FillOutcome outcome{T, F, false, {}, {}};
        try {
            if (k < 0) std::rethrow_exception(buildErrors[size_t(i)]);
            if (results[size_t(k)].error) std::rethrow_exception(results[size_t(k)].error);
            outcome.update = results[size_t(k)].summary;
        } catch (const JetError& e) {
            if (e.concernsFile()) throw;
            outcome.failed = true;
            outcome.error = "Error Number [" + std::to_string(e.Number) + "] Error Description [" + e.Description + "]";
            messages_.Show(T + "表單的 " + F + "欄位  錯誤略過");
        }
        outcomes_.push_back(std::move(outcome));
    }
}

}  // namespace vantrel
