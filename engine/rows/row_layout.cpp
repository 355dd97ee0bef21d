#include "row_layout.h"

namespace vantrel::jet {

// Offsets of the variable columns, eod last.
void variableOffsets(const Layout& l, Bytes row, size_t maskLen, VarOffsets& offs) {
    offs.clear();
    const size_t n = row.size();
    if (l.jet3) {
        if (n < maskLen + 1) throw FormatError("row too short for its null mask");
        const size_t varLenAt = n - maskLen - 1;
        const unsigned varCount = row.u8(varLenAt);
        // Rows longer than 256 bytes carry a jump table: for each 256-byte
        // boundary, the first variable column whose offset lies past it.
        unsigned jumps = unsigned((n - 1) / 256);
        if (varLenAt < size_t(jumps) + varCount + 1) throw FormatError("row too short for its offset table");
        // The table takes one byte per jump entry even when the last entry is
        // only padding (its boundary lies past the data); such an entry is not used.
        const size_t colPtr = varLenAt - jumps - 1;
        if ((colPtr - varCount) / 256 < jumps) --jumps;
        unsigned used = 0;
        for (unsigned i = 0; i <= varCount; ++i) {
            while (used < jumps && i == row.u8(varLenAt - used - 1)) ++used;
            if (colPtr < i) throw FormatError("offset table runs off the row");
            offs.push_back(row.u8(colPtr - i) + 256u * used);
        }
    } else {
        if (n < maskLen + 2) throw FormatError("row too short for its null mask");
        const size_t varLenAt = n - maskLen - 2;
        const unsigned varCount = row.u16(varLenAt);
        if (varLenAt < 2 * (size_t(varCount) + 1)) throw FormatError("row too short for its offset table");
        for (unsigned i = 0; i <= varCount; ++i) offs.push_back(row.u16(varLenAt - 2 * (i + 1)));
    }
}

namespace {

// The columns' places, from `place(i)` (a ColumnPlace or a ColumnDef: the
// fields read are the same), into out.
template <class Place>
void crackColumns(const Layout& l, size_t count, bool hasVars, Place place, Bytes row, CrackedRow& out, const std::vector<bool>* only) {
    const uint16_t cols = l.jet3 ? row.u8(0) : row.u16(0);
    const size_t maskLen = (size_t(cols) + 7) / 8;
    if (maskLen + l.rowCountSize > row.size()) throw FormatError("row too short for its null mask");
    const uint8_t* mask = row.data() + row.size() - maskLen;

    VarOffsets offs;
    if (hasVars) variableOffsets(l, row, maskLen, offs);
    const size_t varCount = offs.empty() ? 0 : offs.size() - 1;

    out.columnCount = cols;
    out.columns.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const auto& c = place(i);
        ColumnSlice& s = out.columns[i];
        s = ColumnSlice{};
        if (only && !(*only)[i]) continue;
        // Columns added after the row was written lie beyond its mask: Null.
        if (c.number >= cols) continue;
        const bool bit = mask[c.number / 8] & (1u << (c.number % 8));
        if (c.type == kBool) {
            s.present = bit;
            continue;
        }
        if (!bit) continue;
        if (c.fixed()) {
            s.data = row.sub(l.rowCountSize + c.fixedOffset, c.length);
            s.present = true;
        } else {
            if (c.varIndex >= varCount) continue;
            uint32_t a = offs[c.varIndex], b = offs[c.varIndex + 1];
            if (b < a || b > row.size()) throw FormatError("variable column offsets out of order");
            s.data = row.sub(a, b - a);
            s.present = true;
        }
    }
}

}  // namespace

void crackRow(const Layout& l, const TableDefData& t, Bytes row, CrackedRow& out, const std::vector<bool>* only) {
    crackColumns(l, t.columns.size(), t.varColumns > 0, [&](size_t i) -> const ColumnDef& { return t.columns[i]; }, row, out, only);
}

RowPlaces::RowPlaces(const TableDefData& t) : hasVars(t.varColumns > 0) {
    for (const ColumnDef& c : t.columns) columns.push_back({c.number, c.varIndex, c.fixedOffset, c.length, c.type, c.fixed()});
}

void crackRow(const Layout& l, const RowPlaces& places, Bytes row, CrackedRow& out) {
    crackColumns(l, places.columns.size(), places.hasVars, [&](size_t i) -> const RowPlaces::Column& { return places.columns[i]; },
                 row, out, nullptr);
}

}  // namespace vantrel::jet
