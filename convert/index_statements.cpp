// The CREATE INDEX line of a table's single-column primary index.
#include "converter.h"

namespace vantrel {

void Converter::CreateIdxStr(TableDef& tbl) {
    std::string statement;
    for (const Index& idx : tbl.Indexes()) {
        if (!idx.Primary()) continue;
        auto cols = idx.Fields();
        if (cols.Count() != 1) continue;
        statement = "CREATE INDEX [" + idx.Name() + "] ON [" + tbl.Name() + "] ([" + cols[0].Name() + "])";
    }
    // Written once, whatever it holds: an empty line when there is no such index.
    WriteString(statement);
}

}  // namespace vantrel
