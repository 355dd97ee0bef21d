#include "update_exec.h"

#include "update_pass.h"
#include "update_plan.h"
#include "write_exec.h"

namespace vantrel::jet {

UpdateReport executeUpdate(PageFile& file, const std::vector<CatalogEntry>& catalog, UpdateStatement st, WriterSet& writers,
                           double today) {
    const UpdateTable table = openUpdateTable(file, catalog, st.table);
    const UpdatePlan plan = planUpdate(file, catalog, table, std::move(st));
    try {
        return runUpdatePass(file, writers.writer(*table.entry), table, {&plan}, today).front();
    } catch (const StatementFailure& f) {
        std::rethrow_exception(f.error);
    }
}

}  // namespace vantrel::jet
