#include "ace_write_rules.h"

#include "ace_keys.h"

namespace vantrel::jet {

namespace {

bool knownType(uint8_t t) {
    switch (t) {
        case kBool: case kByte: case kInt: case kLong: case kMoney: case kFloat: case kDouble: case kDateTime:
        case kBinary: case kText: case kOle: case kMemo: case kGuid: case kNumeric:
            return true;
        default: return false;
    }
}

std::string kindOf(const ColumnDef& c) {
    if ((c.extFlags & kColCalculated) == kColCalculated) return "calculated column " + c.name;
    switch (c.type) {
        case kComplex: return "attachment or multi-value column " + c.name;
        case kExtDateTime: return "extended date/time column " + c.name;
        case kBigInt: return "Large Number column " + c.name;
        default: return "column " + c.name + " of type " + std::to_string(c.type);
    }
}

}  // namespace

std::string unwritableColumn(const ColumnDef& c) {
    const bool calculated = (c.extFlags & kColCalculated) == kColCalculated;
    if (knownType(c.type) && !calculated) return "";
    return kindOf(c) + " cannot be written by this engine";
}

std::string unwritableUpdate(const TableDefData& t, const std::vector<int>& targets) {
    for (int c : targets)
        if (auto why = unwritableColumn(t.columns[size_t(c)]); !why.empty()) return why;
    for (const RealIndexDef& r : t.realIndexes) {
        bool touched = false;
        for (const auto& rc : r.columns)
            for (int c : targets) touched |= t.columns[size_t(c)].number == rc.number;
        if (!touched) continue;
        for (const auto& rc : r.columns) {
            const ColumnDef* col = t.columnByNumber(rc.number);
            if (!col) return "an index names a missing column";
            const bool keyFromRow = knownType(col->type) || col->type == kBigInt;
            if (!keyFromRow || aceKeyKind(col->type) || (col->extFlags & kColCalculated) == kColCalculated)
                return "an index over the changed columns holds " + kindOf(*col) + ", whose entries this engine cannot rewrite";
        }
    }
    return "";
}

std::string unwritableRows(const TableDefData& t, bool adding) {
    for (const ColumnDef& c : t.columns) {
        if (adding && !unwritableColumn(c).empty()) return "the table has a " + kindOf(c) + ", which this engine cannot fill in a new row";
        if (!adding && c.type == kComplex) return "the table has an " + kindOf(c) + ", whose values would be left behind";
    }
    return "";
}

}  // namespace vantrel::jet
