// The check of an `export --sqlite` copy: each table read back from both
// sides, its rows counted and its content digested the same way. A row's
// digest is the SHA-256 of its values' canonical bytes (per value: its
// SQLite storage class, then an 8-byte integer, the 8 bytes of a double, or
// an 8-byte length and the bytes); a table's digest is the sum of its rows'
// digests (four 64-bit lanes, modulo 2^64), so it does not depend on the
// order SQLite gives the rows back in (an INTEGER primary key orders them).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "dao.h"
#include "sqlite_handle.h"
#include "sqlite_values.h"

namespace vantrel {

struct TableDigest {
    long rows = 0;
    std::array<uint64_t, 4> sum{};
    bool operator==(const TableDigest&) const = default;
};

// Adds rows to a digest, one at a time: the values of one row, in the
// carried columns' order, as they are stored in the copy.
class RowDigester {
public:
    void add(const SqlValue* values, size_t count, TableDigest& into);

private:
    std::string buf_;  // the row's canonical bytes
};

// The carried columns of `t`, read through the engine and stored as in the copy.
TableDigest accessDigest(const TableDef& t);

// The same columns of the copy of `t` in `copy`.
TableDigest sqliteDigest(const TableDef& t, SqliteDb& copy);

}  // namespace vantrel
