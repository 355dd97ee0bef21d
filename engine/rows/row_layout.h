// Cracking a stored row into its columns: the null mask, the fixed area and
// the variable-length area with its offset table (and, in Jet3, jump table).
#pragma once

#include <array>

#include <vector>

#include "bytes.h"
#include "layout.h"
#include "table_def.h"

namespace vantrel::jet {

struct ColumnSlice {
    bool present = false;  // false: Null (or, for Yes/No, the value false)
    Bytes data;            // the stored bytes of a present, non-boolean column
};

struct CrackedRow {
    uint16_t columnCount = 0;
    std::vector<ColumnSlice> columns;  // parallel to TableDefData::columns
};

// `only`, when given, names the columns wanted (by index); the others stay absent.
void crackRow(const Layout& l, const TableDefData& t, Bytes row, CrackedRow& out, const std::vector<bool>* only = nullptr);

// Where each column of a table lies in its rows, kept together for a caller
// that takes many rows apart (the same answers as from the definition).
struct RowPlaces {
    struct Column {
        uint16_t number, varIndex, fixedOffset, length;
        uint8_t type;
        bool isFixed;
        bool fixed() const { return isFixed; }
    };
    explicit RowPlaces(const TableDefData& t);
    std::vector<Column> columns;
    bool hasVars;
};
// Every column of the row, as crackRow above.
void crackRow(const Layout& l, const RowPlaces& places, Bytes row, CrackedRow& out);

// The offsets of a row's variable-width entries, the end of the variable data
// last: up to 256 kept in place (every table Access makes has fewer
// variable columns), more on the heap.
class VarOffsets {
public:
    void clear() {
        n_ = 0;
        more_.clear();
    }
    void push_back(uint32_t v) {
        if (n_ < inline_.size()) inline_[n_] = v;
        else more_.push_back(v);
        ++n_;
    }
    size_t size() const { return n_; }
    bool empty() const { return n_ == 0; }
    uint32_t operator[](size_t i) const { return i < inline_.size() ? inline_[i] : more_[i - inline_.size()]; }

private:
    std::array<uint32_t, 256> inline_;
    size_t n_ = 0;
    std::vector<uint32_t> more_;
};

// For rows of tables that have variable-width columns.
void variableOffsets(const Layout& l, Bytes row, size_t maskLen, VarOffsets& offs);

}  // namespace vantrel::jet
