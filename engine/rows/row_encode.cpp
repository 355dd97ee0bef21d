#include "row_encode.h"

#include "row_layout.h"

namespace vantrel::jet {

RowParts splitRow(const Layout& l, const TableDefData& t, Bytes row) {
    RowParts p;
    splitRow(l, t, row, p);
    return p;
}

void splitRow(const Layout& l, const TableDefData& t, Bytes row, RowParts& p) {
    p.columnCount = l.jet3 ? row.u8(0) : row.u16(0);
    const size_t maskLen = (size_t(p.columnCount) + 7) / 8;
    if (maskLen + l.rowCountSize > row.size()) throw FormatError("row too short for its null mask");
    Bytes mask = row.sub(row.size() - maskLen, maskLen);
    p.nullMask.assign(mask.data(), mask.data() + maskLen);
    p.hasVarTable = t.varColumns > 0;
    size_t fixedEnd = row.size() - maskLen;
    size_t varCount = 0;
    if (p.hasVarTable) {
        VarOffsets offs;
        variableOffsets(l, row, maskLen, offs);
        varCount = offs.size() - 1;
        if (p.vars.size() < varCount) p.vars.resize(varCount);
        for (size_t i = 0; i < varCount; ++i) {
            if (offs[i + 1] < offs[i] || offs[i + 1] > row.size()) throw FormatError("variable column offsets out of order");
            Bytes v = row.sub(offs[i], offs[i + 1] - offs[i]);
            p.vars[i].assign(v.data(), v.data() + v.size());
        }
        fixedEnd = offs[0];
    }
    p.vars.resize(varCount);  // shrinking keeps the storage of those left
    if (fixedEnd < l.rowCountSize) throw FormatError("row fixed area out of bounds");
    Bytes fixed = row.sub(l.rowCountSize, fixedEnd - l.rowCountSize);
    p.fixed.assign(fixed.data(), fixed.data() + fixed.size());
}

void setColumnBytes(RowParts& p, const ColumnDef& c, const std::vector<uint8_t>& value) {
    if (c.number >= p.columnCount) {
        p.columnCount = uint16_t(c.number + 1);
        p.nullMask.resize((size_t(p.columnCount) + 7) / 8, 0);
    }
    p.nullMask[c.number / 8] |= uint8_t(1u << (c.number % 8));
    if (c.type == kBool) return;
    if (c.fixed()) {
        if (p.fixed.size() < size_t(c.fixedOffset) + c.length) p.fixed.resize(size_t(c.fixedOffset) + c.length, 0);
        std::copy(value.begin(), value.begin() + std::min<size_t>(value.size(), c.length), p.fixed.begin() + c.fixedOffset);
    } else {
        if (!p.hasVarTable) throw FormatError("row has no variable-column table");
        if (p.vars.size() <= c.varIndex) p.vars.resize(size_t(c.varIndex) + 1);
        p.vars[c.varIndex] = value;
    }
}

std::vector<uint8_t> joinRow(const Layout& l, const RowParts& parts) {
    std::vector<uint8_t> out;
    joinRow(l, parts, out);
    return out;
}

std::optional<size_t> joinedSize(const Layout& l, const RowParts& p) {
    if (l.jet3) return std::nullopt;
    size_t n = 2 + p.fixed.size() + (size_t(p.columnCount) + 7) / 8;
    for (const auto& v : p.vars) n += v.size();
    if (p.hasVarTable) n += 2 + 2 * p.vars.size() + 2;
    return n;
}

void joinRow(const Layout& l, const RowParts& p, std::vector<uint8_t>& out) {
    out.clear();
    const size_t maskLen = (size_t(p.columnCount) + 7) / 8;
    if (l.jet3) {
        if (p.columnCount > 255) throw FormatError("too many columns for a Jet3 row");
        out.push_back(uint8_t(p.columnCount));
    } else {
        out.push_back(uint8_t(p.columnCount));
        out.push_back(uint8_t(p.columnCount >> 8));
    }
    out.insert(out.end(), p.fixed.begin(), p.fixed.end());
    const uint32_t varStart = uint32_t(out.size());
    for (const auto& v : p.vars) out.insert(out.end(), v.begin(), v.end());
    const uint32_t eod = uint32_t(out.size());
    // Where each variable entry starts, and the end of the data last.
    std::vector<uint32_t> all;  // Jet3 only: its jump table and its check need them all
    if (p.hasVarTable) {
        if (l.jet3) {
            const size_t varCount = p.vars.size();
            if (varCount > 255) throw FormatError("too many variable columns for a Jet3 row");
            for (uint32_t at = varStart; const auto& v : p.vars) {
                all.push_back(at);
                at += uint32_t(v.size());
            }
            all.push_back(eod);
            // The row's length decides how many jump entries it carries, and
            // the entries add to the length: settle both together.
            size_t base = out.size() + (varCount + 1) + 1 + maskLen;
            size_t jumps = 0;
            while ((base + jumps - 1) / 256 != jumps) jumps = (base + jumps - 1) / 256;
            std::vector<uint8_t> jumpTable(jumps, 0xFF);
            for (size_t j = 0; j < jumps; ++j)
                for (size_t i = 0; i < all.size(); ++i)
                    if (all[i] >= 256 * (j + 1)) {
                        jumpTable[j] = uint8_t(i);
                        break;
                    }
            out.push_back(uint8_t(eod & 0xFF));
            for (size_t i = varCount; i-- > 0;) out.push_back(uint8_t(all[i] & 0xFF));
            for (size_t j = jumps; j-- > 0;) out.push_back(jumpTable[j]);
            out.push_back(uint8_t(varCount));
        } else {
            if (eod > 0xFFFF) throw RowTooLong("row too long");
            out.push_back(uint8_t(eod));
            out.push_back(uint8_t(eod >> 8));
            // Offsets last to first: each entry starts where the next one's data begins less its own size.
            uint32_t at = eod;
            for (size_t i = p.vars.size(); i-- > 0;) {
                at -= uint32_t(p.vars[i].size());
                out.push_back(uint8_t(at));
                out.push_back(uint8_t(at >> 8));
            }
            out.push_back(uint8_t(p.vars.size()));
            out.push_back(uint8_t(p.vars.size() >> 8));
        }
    }
    const size_t have = std::min(maskLen, p.nullMask.size());
    out.insert(out.end(), p.nullMask.begin(), p.nullMask.begin() + long(have));
    out.resize(out.size() + (maskLen - have), 0);
    if (out.size() > maxRowSize(l)) throw RowTooLong("row of " + std::to_string(out.size()) + " bytes does not fit a page");
    if (l.jet3 && p.hasVarTable) {
        // Jet3 offsets go through the jump table: read the row back to be sure
        // it says what was meant.
        VarOffsets back;
        variableOffsets(l, Bytes(out.data(), out.size()), maskLen, back);
        bool same = back.size() == all.size();
        for (size_t i = 0; same && i < all.size(); ++i) same = back[i] == all[i];
        if (!same) throw RowTooLong("the Jet3 offset table cannot express this row");
    }
}

}  // namespace vantrel::jet
