// One scan of a table that runs planned UPDATE statements on each row in
// turn: for every row, each statement in order evaluates its condition
// against the row as the statements before it left it, converts and checks
// its new values (AllowZeroLength, Required, validation rules, enforced
// relationships, unique indexes) and, unless the row is refused, changes the
// row in memory; the row is then written once and its index entries changed
// once. With one statement this is exactly Jet's UPDATE without the
// fail-on-error option; with several it equals running them one after the
// other only under the conditions update_batch.h checks first.
//
// Rows and index entries change through the table's writer (its index
// cache keeps the changes until it flushes); the caller commits or aborts,
// and drops the writers when it aborts. A failure
// while a statement works on a row is raised as StatementFailure naming the
// statement (its index in `plans`); a failure outside any statement (the
// scan, writing a row or an index) is raised as it is.
#pragma once

#include <exception>
#include <vector>

#include "table_writer.h"
#include "update_exec.h"
#include "update_plan.h"

namespace vantrel::jet {

struct StatementFailure {
    size_t statement;
    std::exception_ptr error;
};

std::vector<UpdateReport> runUpdatePass(PageFile& file, TableWriter& writer, const UpdateTable& table,
                                        const std::vector<const UpdatePlan*>& plans, double today);

}  // namespace vantrel::jet
