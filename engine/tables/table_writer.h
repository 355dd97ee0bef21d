// Adding, changing and deleting rows of one table, with every index kept in
// step: the one writer of a table's rows for INSERT, UPDATE and DELETE.
// Index changes collect in the table's one index cache (TableIndexes: the
// changes, not the indexes, in memory) and reach the index pages at flush(),
// or earlier when they pass its memory bound, so that a run of statements
// rewrites each index about once, not once a row.
//
// Invariants: a refused row changes nothing; every question a statement
// asks of an index (a unique key, a row's entry) sees the changes of every
// statement before it through this writer; the writer is only valid for the
// pages it saw: after the file is rolled back it must be dropped.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "index_key.h"
#include "index_write.h"
#include "row_store.h"
#include "table_indexes.h"
#include "layout.h"
#include "long_value_write.h"
#include "page_file.h"
#include "table_def.h"
#include "variant.h"

namespace vantrel::jet {

class TableWriter {
public:
    // maxPendingBytes: the memory the index cache's pending changes may take
    // before they are written early (TableIndexes).
    TableWriter(PageFile& file, uint32_t tdefPage, size_t maxPendingBytes = size_t(40) << 20);
    ~TableWriter();
    const TableDefData& table() const { return t_; }

    // Adds a row. `values` has one entry per column (in definition order);
    // `given` says which the statement named: an autonumber column not given
    // counts up, a Yes/No column not given is No. Returns "" or why Jet would
    // refuse the row ("required", "unique index", "value too long", ...);
    // a refused row changes nothing.
    std::string insert(std::vector<Variant> values, const std::vector<bool>& given);

    // Deletes the live row whose slot is `where`, its long values and its entries.
    void remove(RowPointer where);

    // Stores changed row bytes in the slot `where` (the caller changes the
    // row's entries through indexes()); true when the row had to move.
    bool replace(RowPointer where, const std::vector<uint8_t>& row);

    // The table's index cache.
    TableIndexes& indexes() { return indexes_; }

    // Writes the changed indexes and the definition's counters.
    void flush();

    // Rules of the table's columns (from its catalog properties).
    std::vector<bool> allowZeroLength, required;
    // The table's other rules (validation rules, relationships), given the
    // row as it would be stored: "" or why Jet refuses it. Runs after the
    // columns' own rules and before the unique indexes.
    std::function<std::string(const std::vector<Variant>& row)> check;

private:
    // The key of real index `x` for these values: null, or the column whose
    // value cannot be placed in the index's sort order.
    const KeyColumn* keyFor(size_t x, const std::vector<Variant>& values, TableIndexes::Key& key);
    bool allNull(size_t x, const std::vector<Variant>& values);
    uint32_t pageWithRoom(size_t size);
    std::vector<uint8_t> buildRow(const std::vector<Variant>& values, std::vector<std::vector<uint8_t>>* longData,
                                  std::string& refusal);

    PageFile& file_;
    Layout l_;
    TableDefData t_;
    TableIndexes indexes_;
    std::unique_ptr<RowStore> store_;  // made on the first replace()
    LongValueWriter longValues_;
    uint32_t lastPage_ = 0;
    bool lastPageKnown_ = false;
    int64_t rowDelta_ = 0;
    uint32_t autoNumber_ = 0;
    bool dirty_ = false;
};

}  // namespace vantrel::jet
