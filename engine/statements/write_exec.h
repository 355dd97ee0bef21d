// Running INSERT INTO ... VALUES and DELETE statements. Rows Jet would refuse
// (a rule of the column or the table, an enforced relationship, a unique
// index) are counted, not written; a statement the engine cannot run safely
// fails whole. A new row gets the DefaultValue of each column it does not name.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "catalog.h"
#include "column_default.h"
#include "page_file.h"
#include "row_rules.h"
#include "sql_ast.h"
#include "table_writer.h"
#include "update_exec.h"

namespace vantrel::jet {

// The table writers of one transaction, one per table, used by INSERT,
// DELETE and UPDATE alike: a table's index changes collect in its writer and
// are written once, at flush(). Dropped (clear()) at every commit and undo.
class WriterSet {
public:
    // What a statement needs to know of a table beyond its writer, read once.
    struct Plan {
        std::unordered_map<std::string, size_t> columns;  // upper-cased name -> position
        std::string unsupported;          // why rows cannot be added, if they cannot
        std::vector<ColumnDefault> defaults;  // per column
        std::unique_ptr<RowRules> rules;  // validation rules and relationships a new row must keep
        bool referenced = false;          // other tables' rows refer to this one's (enforced)
    };
    explicit WriterSet(PageFile& file) : file_(file) {}
    // The writer of a local table, with the rules its catalog entry declares
    // for new rows (read on the first call after forgetRules()).
    TableWriter& get(const CatalogEntry& table, const std::vector<CatalogEntry>& catalog, const Plan** plan = nullptr);
    // The writer alone (UPDATE brings its own rules).
    TableWriter& writer(const CatalogEntry& table);
    // Drops the rules read for new rows (they hold other tables' keys, which
    // an UPDATE may change); the writers and their pending changes stay.
    void forgetRules();
    void flush();
    // Forgets the writers (after flush, or when the transaction is undone).
    void clear() { writers_.clear(); }
    bool empty() const { return writers_.empty(); }
    // A row was added to `table`: the rules of the tables that refer to it learn its key.
    void noteInserted(const CatalogEntry& table, const std::vector<Variant>& row);

private:
    PageFile& file_;
    struct Entry {
        std::string name;  // the table's, for the damage its writer meets
        std::unique_ptr<TableWriter> writer;
        std::unique_ptr<Plan> plan;  // null until an INSERT or DELETE asks
    };
    std::map<uint32_t, Entry> writers_;
};

// The catalog entry of a table named in a statement; JetError 3078 when there is none.
const CatalogEntry& tableNamed(const std::vector<CatalogEntry>& catalog, const std::string& name);

// `today` (an OLE date) is what Date() and Now() give in defaults and rules.
UpdateReport executeInsert(const std::vector<CatalogEntry>& catalog, const InsertStatement& st, WriterSet& writers, double today);
UpdateReport executeDelete(PageFile& file, const std::vector<CatalogEntry>& catalog, DeleteStatement st, WriterSet& writers, double today);

}  // namespace vantrel::jet
