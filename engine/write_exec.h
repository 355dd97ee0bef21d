// Running INSERT INTO ... VALUES and DELETE statements. Rows Jet would refuse
// (a rule of the column or a unique index) are counted, not written; a
// statement the engine cannot run safely fails whole.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "catalog.h"
#include "page_file.h"
#include "sql_ast.h"
#include "table_writer.h"
#include "update_exec.h"

namespace vantrel::jet {

// The table writers of one transaction: a table's index changes collect in
// its writer and are written once, at flush().
class WriterSet {
public:
    explicit WriterSet(PageFile& file) : file_(file) {}
    // The writer of a local table, with the rules its catalog entry declares.
    TableWriter& get(const CatalogEntry& table);
    void flush();
    // Forgets the writers (after flush, or when the transaction is undone).
    void clear() { writers_.clear(); }
    bool empty() const { return writers_.empty(); }

private:
    PageFile& file_;
    std::map<uint32_t, std::unique_ptr<TableWriter>> writers_;
};

// The catalog entry of a table named in a statement; JetError 3078 when there is none.
const CatalogEntry& tableNamed(const std::vector<CatalogEntry>& catalog, const std::string& name);

UpdateReport executeInsert(PageFile& file, const std::vector<CatalogEntry>& catalog, const InsertStatement& st, WriterSet& writers);
UpdateReport executeDelete(PageFile& file, const std::vector<CatalogEntry>& catalog, DeleteStatement st, WriterSet& writers, double today);

}  // namespace vantrel::jet
