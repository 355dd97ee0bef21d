// Adding and deleting rows of one table, with every index kept in step.
// Index changes collect in memory and reach the index pages at flush(), so
// that a run of inserts rewrites each index once, not once a row.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "index_key.h"
#include "index_write.h"
#include "layout.h"
#include "long_value_write.h"
#include "page_file.h"
#include "table_def.h"
#include "variant.h"

namespace vantrel::jet {

class TableWriter {
public:
    TableWriter(PageFile& file, uint32_t tdefPage);
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

    // Writes the changed indexes and the definition's counters.
    void flush();

    // Rules of the table's columns (from its catalog properties).
    std::vector<bool> allowZeroLength, required;
    // The table's other rules (validation rules, relationships), given the
    // row as it would be stored: "" or why Jet refuses it. Runs after the
    // columns' own rules and before the unique indexes.
    std::function<std::string(const std::vector<Variant>& row)> check;

private:
    struct IndexBuf;
    IndexBuf& loaded(size_t i);
    uint32_t pageWithRoom(size_t size);
    std::vector<uint8_t> buildRow(const std::vector<Variant>& values, std::vector<std::vector<uint8_t>>* longData,
                                  std::string& refusal);

    PageFile& file_;
    Layout l_;
    TableDefData t_;
    std::vector<std::unique_ptr<IndexBuf>> indexes_;
    LongValueWriter longValues_;
    uint32_t lastPage_ = 0;
    bool lastPageKnown_ = false;
    int64_t rowDelta_ = 0;
    uint32_t autoNumber_ = 0;
    bool dirty_ = false;
};

}  // namespace vantrel::jet
