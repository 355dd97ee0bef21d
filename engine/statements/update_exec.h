// Running an UPDATE statement the way Jet does without its fail-on-error
// option: a row whose new values do not convert, or would break a rule the
// database declares (AllowZeroLength, Required, a unique index, an enforced
// relationship, a validation rule), is left as it was and counted; the
// statement itself fails only when it cannot run at all.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "catalog.h"
#include "page_file.h"
#include "sql_ast.h"

namespace vantrel::jet {

struct UpdateReport {
    std::string table;
    long affected = 0;
    std::map<std::string, long> refused;  // reason -> rows left unchanged
    unsigned movedRows = 0;
};

class WriterSet;

// Changes the rows through the table's writer in `writers`; the caller
// commits or aborts (and then drops the writers).
UpdateReport executeUpdate(PageFile& file, const std::vector<CatalogEntry>& catalog, UpdateStatement st, WriterSet& writers,
                           double today);

}  // namespace vantrel::jet
