// An open database below the object model: the page file, the catalog, the
// open transaction and one table writer per table (WriterSet), and the
// running of statements over them. The DAO objects (dao.h) are handles onto
// a Session; they add the object model and nothing to the writing.
//
// Invariants:
//   - Outside a transaction every statement is committed, or undone, before
//     execute() returns; inside one, a statement that fails undoes the whole
//     transaction (as a failure in DAO does).
//   - The table writers never outlive the pages they saw: commit() writes
//     and drops them, every undo drops them. INSERT, UPDATE and DELETE of a
//     table go through its one writer and see each other's index changes;
//     the other statements read definitions and indexes from the pages, so
//     the writers are written and dropped before them.
//   - Damage found below surfaces as Jet's 3049 naming the file.
#pragma once

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalog.h"
#include "page_file.h"
#include "update_exec.h"
#include "write_exec.h"

namespace vantrel::jet {

// Now, as an OLE date in local time: what Date() and Now() give.
double oleNow();

class Session {
public:
    Session(std::string path, std::unique_ptr<PageFile> file);
    ~Session();

    const std::string& path() const { return path_; }
    PageFile& file() { return *file_; }
    const std::vector<CatalogEntry>& catalog() const { return catalog_; }
    bool inTransaction() const { return inTransaction_; }

    // Runs one statement; commits it unless a transaction is open.
    UpdateReport execute(const std::string& sql);

    // One result of executeEach(): the report when the statement ran, else its error.
    struct Result {
        std::optional<UpdateReport> report;
        std::exception_ptr error;
    };
    // The statements in order, with the results of execute() for each in
    // turn; UPDATEs of one table share scans and units (Database::ExecuteEach).
    std::vector<Result> executeEach(const std::vector<std::string>& sql);

    void begin() { inTransaction_ = true; }
    // Ends the transaction: writes the pending index changes and makes every
    // change durable; a failure undoes it and is passed on.
    void commitTransaction();
    // Undoes every change since the last commit; a failure to undo is passed
    // on (the journal stays behind and the next open rolls it back).
    void rollback() { undo(true); }
    // Ends an open transaction undone and drops the file.
    void close();

private:
    void commit();
    void undo(bool report = false);
    void reloadCatalog();
    WriterSet& writers();

    std::string path_;
    std::unique_ptr<PageFile> file_;
    std::vector<CatalogEntry> catalog_;
    std::unique_ptr<WriterSet> writers_;  // the open transaction's table writers
    bool inTransaction_ = false;
};

}  // namespace vantrel::jet
