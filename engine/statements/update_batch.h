// Running several UPDATE statements on one table in one scan, with exactly
// the results of running them one after the other: each statement sees the
// rows as the statements before it left them, and fails or succeeds on its
// own, refusing the same rows for the same reasons.
//
// WHY ONE SCAN GIVES THE SAME RESULTS, AND WHEN IT DOES NOT
// Run one after the other, statement k meets row r with statements 1..k-1
// applied to every row and statements k+1.. to none. In one scan it meets
// row r with statements 1..k-1 applied to r (they ran on r just before it),
// so everything statement k decides from row r alone is decided the same:
// its condition (even one that reads a column an earlier statement assigns:
// it reads the value that statement left), the conversion of its values,
// Required, AllowZeroLength, the column and table validation rules, the row's
// size, the row's own index entries. What differs is the state of the OTHER
// rows: in the scan, rows before r already carry statements k+1.., rows
// after r do not yet carry 1..k-1. A statement reads other rows in two ways:
//   - a unique index: whether another row holds the new key. Another row's
//     key in index X changes only through statements assigning a column of X.
//     When at most one statement of the batch assigns columns of X, the keys
//     it compares against are, for every row, exactly what they would be when
//     that statement runs alone in its turn (rows before r: changed by it;
//     rows after r: not yet; no other statement touches X).
//   - an enforced relationship: the other side's keys are read when the
//     statement is planned. They stay valid unless the other side is this
//     very table (a relationship of a table with itself), which the batch
//     would be changing under them.
// Planning reads only the definitions and other tables, which the batch does
// not change, so planning every statement first gives the same errors.
// Hence statements share one scan only when (1) every unique index of the
// table has columns assigned by at most one of them, and (2) none but the
// first checks a relationship of the table with itself (the first reads the
// table before any other statement of the run changed it, as it would
// alone). A batch runs its longest first run of statements that meets both
// in one scan (a single statement always does: that is a plain UPDATE); the
// caller commits and passes the rest again. Running consecutive runs one
// after the other is running the statements one after the other. The rules
// see one date for the whole batch (taken when it starts).
//
// FAILURES
// A statement that fails at planning is left out; nothing was touched. A
// statement that fails while working on a row (a value its index cannot
// order, an error evaluating a rule) would, alone, have failed at that row
// and been undone: the scan is undone (the caller's open unit is aborted) and
// run again without it. Because the statements before it may themselves fail
// later in the scan (and so not have been there when it ran), a failure is
// final only once a scan completes with every earlier statement; a new
// failure of an earlier statement sets the later ones back to be tried again.
// A failure that concerns the file ends the batch at once: it is reported at
// the statement that met it, the statements after it did not run, and the
// caller undoes the run's unit. Should a scan fail outside any statement, or
// statements keep failing one after another, the caller runs the rest one
// at a time.
#pragma once

#include <exception>
#include <optional>
#include <vector>

#include "update_exec.h"

namespace vantrel::jet {

struct UpdateBatchResult {
    // False when the scan gave up (a failure outside any statement, or too
    // many statements failing one after the other): nothing is changed, and
    // the caller runs the statements one at a time.
    bool onePass = true;
    // How many statements, from the first, this result covers.
    size_t handled = 0;
    // Per statement covered: its report, or the error it failed with.
    std::vector<UpdateReport> reports;
    std::vector<std::exception_ptr> errors;
    // Set when a failure that concerns the file ended the batch at this
    // statement (errors holds it there); the pages changed so far are left to
    // the caller to abort.
    std::optional<size_t> stoppedAt;
};

class WriterSet;

// `statements` all name one table. Changes the rows through the table's
// writer in `writers` (dropped whenever a scan is undone); the caller
// commits or aborts. `today` is the date the rules see for all of them.
UpdateBatchResult executeUpdateBatch(PageFile& file, const std::vector<CatalogEntry>& catalog, std::vector<UpdateStatement> statements,
                                     WriterSet& writers, double today);

// True when the error is not one statement's own and ends the run: it
// concerns the file (damage, the disk), or it is not a Jet error at all (an
// internal fault).
bool concernsFile(const std::exception_ptr& error);

}  // namespace vantrel::jet
