#include "update_pass.h"

#include <algorithm>
#include <optional>

#include "expr_eval.h"
#include "index_key.h"
#include "long_value.h"
#include "row_encode.h"
#include "row_layout.h"
#include "table_scan.h"
#include "value_decode.h"
#include "value_encode.h"

namespace vantrel::jet {

namespace {

// Column c as a stored row built from `p` would hold it (as crackRow reads it).
ColumnSlice sliceOf(const RowParts& p, const ColumnDef& c) {
    ColumnSlice s;
    if (c.number >= p.columnCount || c.number / 8 >= p.nullMask.size()) return s;
    const bool bit = p.nullMask[c.number / 8] & (1u << (c.number % 8));
    if (c.type == kBool) {
        s.present = bit;
        return s;
    }
    if (!bit) return s;
    if (c.fixed()) {
        if (p.fixed.size() < size_t(c.fixedOffset) + c.length) throw FormatError("row fixed area out of bounds");
        s.data = Bytes(p.fixed.data() + c.fixedOffset, c.length);
    } else {
        if (c.varIndex >= p.vars.size()) return s;
        s.data = Bytes(p.vars[c.varIndex].data(), p.vars[c.varIndex].size());
    }
    s.present = true;
    return s;
}

// The condition of a null-fill, IsNull(column), read straight from the row.
bool isNullTest(const Expr* e) {
    return e && e->kind == Expr::Kind::IsNull && e->args.size() == 1 && e->args[0]->kind == Expr::Kind::Column && e->args[0]->column >= 0;
}

class Pass {
public:
    Pass(PageFile& file, TableWriter& writer, const UpdateTable& table, const std::vector<const UpdatePlan*>& plans, double today)
        : file_(file), table_(table), t_(writer.table()), plans_(plans), today_(today), l_(Layout::forFormat(file.jet3())),
          writer_(writer), indexes_(writer.indexes()), places_(t_), values_(t_.columns.size()), decoded_(t_.columns.size()) {}

    std::vector<UpdateReport> run();

private:
    void step(size_t statement, const UpdatePlan& p, UpdateReport& report);
    // The row's values, index entries and report once a statement changed it.
    void afterChange(const UpdatePlan& p, const std::vector<int>& targets, UpdateReport& report);
    // Makes the statement's changes to the row's bytes in place when none of
    // them moves a byte (false, nothing changed, otherwise).
    bool patch(const std::vector<int>& targets, const std::vector<Converted>& newValues);
    // Column c as the patched row holds it.
    ColumnSlice patchedSlice(const ColumnDef& c) const;

    // A statement's new values, converted and checked against their
    // columns' own rules: the values are constants, so this is done once,
    // when the first row reaches it.
    struct Prepared {
        std::vector<Converted> values;
        std::string refusal;  // the first column rule the values break, or ""
        mutable long rows = 0;  // rows refused for it (counted into the report at the end)
    };
    const Prepared& prepare(size_t statement, const UpdatePlan& p);
    std::vector<std::optional<Prepared>> prepared_;
    const Variant& valueOf(size_t i) {
        if (!decoded_[i]) {
            values_[i] = decodeValue(file_, l_, t_.columns[i], cracked_.columns[i]);
            decoded_[i] = true;
        }
        return values_[i];
    }
    // Whether the column is Null, without decoding a present value whose
    // decoding can neither fail nor give Null (text, binary, numbers of their
    // full width): the same answer decodeValue gives, for less.
    bool isNull(size_t i) {
        if (decoded_[i]) return values_[i].isNull();
        const uint8_t type = places_.columns[i].type;
        const ColumnSlice& s = cracked_.columns[i];
        if (type != kBool && !s.present) return true;
        if (type == kBool || type == kText || type == kBinary) return false;
        size_t width = 0;
        switch (type) {
            case kByte: width = 1; break;
            case kInt: width = 2; break;
            case kLong: case kFloat: width = 4; break;
            case kMoney: case kDouble: case kDateTime: case kBigInt: width = 8; break;
            case kGuid: width = 16; break;
            case kNumeric: width = 17; break;
            case kMemo: case kOle:
                // A present long value is never Null; its pieces are walked
                // (the checks of decoding them) but not copied or decoded.
                // Jet3 memo text goes through its code page, which decoding checks too.
                if (l_.jet3) return valueOf(i).isNull();
                readLongValueParts(file_, l_, s.data, [](Bytes) {});
                return false;
            default: return valueOf(i).isNull();
        }
        return s.data.size() >= width ? false : valueOf(i).isNull();
    }
    void crackWhole() {
        crackRow(l_, t_, view_, cracked_);
        std::fill(decoded_.begin(), decoded_.end(), false);
        whole_ = true;
    }

    PageFile& file_;
    const UpdateTable& table_;
    const TableDefData& t_;
    const std::vector<const UpdatePlan*>& plans_;
    const double today_;
    const Layout l_;
    TableWriter& writer_;
    TableIndexes& indexes_;  // the writer's: changes reach the pages when it flushes
    const RowPlaces places_;

    // The row being worked on, as the statements so far left it: its bytes
    // on the page, cracked; once a statement changes it, its pieces, and the
    // changed columns' values decoded from them (decoded_ is set for those,
    // so the slices of the page are not read for them again).
    RowPointer where_;
    Bytes view_;
    CrackedRow cracked_;
    bool whole_ = false;          // cracked_ holds every column (else only the conditions')
    bool changed_ = false;
    bool split_ = false;          // parts_ holds the row
    bool patched_ = false;        // owned_ holds the row, changed in place (and parts_ does not)
    RowParts parts_;              // the row's pieces
    // What a statement may change of the pieces, as they were before it:
    // put back when the row it makes cannot be stored.
    struct Undo {
        uint16_t columnCount = 0;
        std::vector<uint8_t> fixed, nullMask;
        size_t varCount = 0;
        std::vector<std::pair<size_t, std::vector<uint8_t>>> vars;  // the targets' entries: the first `saved`
        size_t saved = 0;
        void save(const RowParts& p, const TableDefData& t, const std::vector<int>& targets);
        void restore(RowParts& p);
    } undo_;
    std::vector<uint8_t> owned_, joined_;  // the stored form, built once a row; a Jet3 trial build
    // The patched row's layout: its column count, where its mask starts and
    // its fixed area ends, its variable entries' offsets.
    uint16_t patchCols_ = 0;
    size_t maskAt_ = 0, fixedEnd_ = 0;
    VarOffsets patchOffsets_;
    std::vector<Variant> values_;
    std::vector<bool> decoded_;
    // A statement's index keys: the row's now (when it can be computed) and new.
    std::vector<TableIndexes::Key> nowKeys_, newKeys_;
    std::vector<bool> nowKnown_;

    // Per statement: the column of a condition IsNull(column) (or Not), -1
    // for any other condition.
    struct NullTest {
        int column = -1;
        bool negate = false;
    };
    std::vector<NullTest> nullTests_;
};

void Pass::Undo::save(const RowParts& p, const TableDefData& t, const std::vector<int>& targets) {
    columnCount = p.columnCount;
    fixed = p.fixed;
    nullMask = p.nullMask;
    varCount = p.vars.size();
    size_t n = 0;
    for (int target : targets) {
        const ColumnDef& c = t.columns[size_t(target)];
        if (c.fixed() || c.varIndex >= p.vars.size()) continue;
        if (vars.size() <= n) vars.emplace_back();
        vars[n].first = c.varIndex;
        vars[n].second = p.vars[c.varIndex];  // reuses the storage of an earlier row
        ++n;
    }
    saved = n;
}

void Pass::Undo::restore(RowParts& p) {
    p.columnCount = columnCount;
    p.fixed = fixed;
    p.nullMask = nullMask;
    p.vars.resize(varCount);
    for (size_t i = 0; i < saved; ++i) p.vars[vars[i].first].swap(vars[i].second);
}

std::vector<UpdateReport> Pass::run() {
    std::vector<UpdateReport> reports(plans_.size());
    for (auto& r : reports) r.table = table_.entry->name;
    // The columns a row is read for first: the conditions'. A row some
    // statement qualifies is cracked whole.
    std::vector<bool> wanted(t_.columns.size(), false);
    for (const UpdatePlan* p : plans_)
        for (size_t c = 0; c < wanted.size(); ++c)
            if (p->whereColumns[c]) wanted[c] = true;

    // A batch whose conditions read every column (a null-fill) cracks each row once.
    const bool allWanted = std::find(wanted.begin(), wanted.end(), false) == wanted.end();

    nullTests_.clear();
    for (const UpdatePlan* p : plans_) {
        const Expr* e = p->where.get();
        nullTests_.push_back(isNullTest(e) ? NullTest{e->args[0]->column, e->negate} : NullTest{});
    }

    unsigned moved = 0;
    TableScan scan(file_, t_, table_.entry->name);
    while (scan.next()) {
        where_ = scan.where();
        view_ = scan.row().bytes;
        scan.reading([&] {
            if (allWanted)
                crackRow(l_, places_, view_, cracked_);
            else
                crackRow(l_, t_, view_, cracked_, &wanted);
        });
        std::fill(decoded_.begin(), decoded_.end(), false);
        whole_ = allWanted;
        changed_ = false;
        split_ = false;
        patched_ = false;
        for (size_t s = 0; s < plans_.size(); ++s) {
            try {
                scan.reading([&] {
                    // A null-fill's condition, read straight from the row (reading it may fail).
                    if (const NullTest& t = nullTests_[s]; t.column >= 0 && isNull(size_t(t.column)) == t.negate) return;
                    step(s, *plans_[s], reports[s]);
                });
            } catch (...) {
                throw StatementFailure{s, std::current_exception()};
            }
        }
        if (changed_)
            scan.reading([&] {
                if (split_) joinRow(l_, parts_, owned_);
                if (writer_.replace(where_, owned_)) ++moved;
            });
        indexes_.bound();
    }
    for (size_t s = 0; s < prepared_.size(); ++s)
        if (prepared_[s] && prepared_[s]->rows) reports[s].refused[prepared_[s]->refusal] += prepared_[s]->rows;
    for (auto& r : reports) r.movedRows = moved;
    return reports;
}

const Pass::Prepared& Pass::prepare(size_t statement, const UpdatePlan& p) {
    if (prepared_.size() <= statement) prepared_.resize(plans_.size());
    if (prepared_[statement]) return *prepared_[statement];
    const uint16_t codePage = file_.header().codePage;
    Prepared out;
    out.values.resize(p.targets.size());
    for (size_t a = 0; a < p.targets.size() && out.refusal.empty(); ++a) {
        const ColumnDef& c = t_.columns[size_t(p.targets[a])];
        const ColumnProperties* cp = p.properties[a];
        const Variant& lit = p.values[a];
        Converted& v = out.values[a];
        if (lit.isNull()) {
            if (c.type == kBool || !(c.flags & kColNullable) || (cp && cp->required.value_or(false))) out.refusal = "required";
            v = Converted{};
            v.ok = true;
            continue;
        }
        v = convertForColumn(c, lit, l_.jet3, codePage);
        if (!v.ok) {
            out.refusal = v.refusal;
        } else if (v.needsLongValue) {
            out.refusal = "value too long";
        } else if ((c.type == kText || c.type == kMemo) && v.value.str().empty() && cp && cp->allowZeroLength == false) {
            out.refusal = "AllowZeroLength";
        }
    }
    return prepared_[statement].emplace(std::move(out));
}

void Pass::step(size_t statement, const UpdatePlan& p, UpdateReport& report) {
    if (p.where && nullTests_[statement].column < 0) {
        EvalContext ctx;
        ctx.today = today_;
        ctx.columnAt = [&](int i) { return valueOf(size_t(i)); };
        ctx.column = [&](const std::string& name) { return valueOf(size_t(table_.findColumn(name))); };
        if (!isTrue(evaluate(*p.where, ctx))) return;
    }
    if (!whole_) crackWhole();

    const std::vector<int>& targets = p.targets;
    const Prepared& prepared = prepare(statement, p);
    if (!prepared.refusal.empty()) {
        // The values themselves break a rule: every row the statement reaches is refused alike.
        ++prepared.rows;
        return;
    }
    const std::vector<Converted>& newValues = prepared.values;
    std::string refusal;
    auto newValueOf = [&](size_t col) -> Variant {
        for (size_t a = 0; a < targets.size(); ++a)
            if (size_t(targets[a]) == col) return newValues[a].value;
        return valueOf(col);
    };
    if (p.rules->any()) refusal = p.rules->check([&](size_t i) { return valueOf(i); }, newValueOf, today_);

    // New index keys; a unique index refuses a key another row holds. An
    // index is read only once a row gets this far: most statements of a
    // null-fill find no Null in an indexed column and never need it.
    if (refusal.empty())
        for (size_t real : p.indexes) indexes_.load(real);
    // The keys' storage is kept from row to row.
    if (nowKeys_.size() < p.indexes.size()) {
        nowKeys_.resize(p.indexes.size());
        newKeys_.resize(p.indexes.size());
        nowKnown_.resize(p.indexes.size());
    }
    for (size_t x = 0; x < p.indexes.size() && refusal.empty(); ++x) {
        const size_t real = p.indexes[x];
        const std::vector<KeyColumn>& cols = indexes_.columns(real);
        auto columnOf = [&](const KeyColumn& kc) { return int(kc.column - t_.columns.data()); };
        // The key the row has now, from its values as the statements so far left them.
        TableIndexes::Key& now = nowKeys_[x];
        now.clear();
        nowKnown_[x] = true;
        for (const KeyColumn& kc : cols)
            if (!encodeSegment(kc, l_.jet3, valueOf(size_t(columnOf(kc))), now)) {
                nowKnown_[x] = false;
                break;
            }
        TableIndexes::Key& key = newKeys_[x];
        key.clear();
        for (const KeyColumn& kc : cols) {
            if (!encodeSegment(kc, l_.jet3, newValueOf(size_t(columnOf(kc))), key)) {
                // Keep an unchanged column's segment as the index has it.
                if (p.assigns(columnOf(kc)))
                    throw err::notSupported("this engine cannot place the value of " + kc.column->name + " in the sort order of its index");
                key.clear();
                break;
            }
        }
        if (key.empty()) {
            // Rebuild from the row's entry: replace only the changed columns' segments.
            std::optional<TableIndexes::Key> old = indexes_.keyOf(real, where_);
            if (!old) throw FormatError("a row is missing from an index");
            Bytes ob(old->data(), old->size());
            size_t at = 0;
            for (size_t c = 0; c < cols.size(); ++c) {
                const KeyColumn& kc = cols[c];
                size_t len = c + 1 == cols.size() ? ob.size() - at : segmentLength(kc, l_.jet3, ob, at);
                if (p.assigns(columnOf(kc))) encodeSegment(kc, l_.jet3, newValueOf(size_t(columnOf(kc))), key);
                else key.insert(key.end(), old->begin() + long(at), old->begin() + long(at + len));
                at += len;
            }
        }
        if (indexes_.unique(real) && !indexes_.allNull(real, key) && indexes_.holds(real, key, where_)) refusal = "unique index";
    }
    if (!refusal.empty()) {
        ++report.refused[refusal];
        return;
    }

    // Apply, in memory: the row's bytes or its pieces (stored once all
    // statements had them), the changed columns' values as the next
    // statement reads them, the index entries.
    if (!split_ && patch(targets, newValues)) {
        afterChange(p, targets, report);
        return;
    }
    if (!split_) {
        splitRow(l_, t_, patched_ ? Bytes(owned_.data(), owned_.size()) : view_, parts_);
        split_ = true;
    }
    undo_.save(parts_, t_, targets);
    for (size_t a = 0; a < targets.size(); ++a) {
        const ColumnDef& c = t_.columns[size_t(targets[a])];
        if (newValues[a].value.isNull()) {
            if (c.number < parts_.columnCount) parts_.nullMask[c.number / 8] &= uint8_t(~(1u << (c.number % 8)));
            if (!c.fixed() && c.varIndex < parts_.vars.size()) parts_.vars[c.varIndex].clear();
        } else if (c.type == kBool && !newValues[a].value.boolValue()) {
            if (c.number < parts_.columnCount) parts_.nullMask[c.number / 8] &= uint8_t(~(1u << (c.number % 8)));
        } else {
            setColumnBytes(parts_, c, newValues[a].stored);
        }
    }
    bool fits = true;
    if (const std::optional<size_t> size = joinedSize(l_, parts_)) {
        fits = *size <= maxRowSize(l_);
    } else {
        try {
            joinRow(l_, parts_, joined_);
        } catch (const RowTooLong&) {
            fits = false;
        }
    }
    if (!fits) {
        undo_.restore(parts_);
        ++report.refused["row too long"];
        return;
    }
    afterChange(p, targets, report);
}

void Pass::afterChange(const UpdatePlan& p, const std::vector<int>& targets, UpdateReport& report) {
    // The next statement reads the changed columns as they will be stored.
    for (int target : targets) {
        const size_t i = size_t(target);
        const ColumnDef& c = t_.columns[i];
        values_[i] = decodeValue(file_, l_, c, split_ ? sliceOf(parts_, c) : patchedSlice(c));
        decoded_[i] = true;
    }
    changed_ = true;
    for (size_t x = 0; x < p.indexes.size(); ++x)
        indexes_.change(p.indexes[x], where_, nowKnown_[x] ? &nowKeys_[x] : nullptr, newKeys_[x]);
    ++report.affected;
}

bool Pass::patch(const std::vector<int>& targets, const std::vector<Converted>& newValues) {
    if (!patched_) {
        // The row's layout, read once: where the fixed area ends, where each
        // variable entry lies, where the mask starts.
        owned_.assign(view_.data(), view_.data() + view_.size());
        const Bytes row(owned_.data(), owned_.size());
        patchCols_ = l_.jet3 ? row.u8(0) : row.u16(0);
        const size_t maskLen = (size_t(patchCols_) + 7) / 8;
        if (maskLen + l_.rowCountSize > row.size()) throw FormatError("row too short for its null mask");
        maskAt_ = row.size() - maskLen;
        fixedEnd_ = maskAt_;
        patchOffsets_.clear();
        if (t_.varColumns > 0) {
            variableOffsets(l_, row, maskLen, patchOffsets_);
            fixedEnd_ = patchOffsets_[0];
        }
    }
    // Every change must leave the row's length and its other bytes as they
    // are: a mask bit, a fixed column's bytes, an empty variable entry
    // given an empty value. Anything else goes through the row's pieces.
    for (size_t a = 0; a < targets.size(); ++a) {
        const ColumnDef& c = t_.columns[size_t(targets[a])];
        if (c.number >= patchCols_) return false;
        const Converted& v = newValues[a];
        if (c.type == kBool) continue;
        if (c.fixed()) {
            if (l_.rowCountSize + size_t(c.fixedOffset) + c.length > fixedEnd_) return false;
            continue;
        }
        const size_t vi = c.varIndex;
        if (vi + 1 >= patchOffsets_.size() || patchOffsets_[vi + 1] != patchOffsets_[vi]) return false;
        if (!v.value.isNull() && !v.stored.empty()) return false;
    }
    patched_ = true;
    for (size_t a = 0; a < targets.size(); ++a) {
        const ColumnDef& c = t_.columns[size_t(targets[a])];
        const Converted& v = newValues[a];
        uint8_t& bits = owned_[maskAt_ + c.number / 8];
        const uint8_t bit = uint8_t(1u << (c.number % 8));
        if (v.value.isNull() || (c.type == kBool && !v.value.boolValue())) {
            bits &= uint8_t(~bit);
            continue;
        }
        bits |= bit;
        if (c.fixed() && c.type != kBool)
            std::copy(v.stored.begin(), v.stored.begin() + std::min<size_t>(v.stored.size(), c.length),
                      owned_.begin() + long(l_.rowCountSize + c.fixedOffset));
    }
    return true;
}

ColumnSlice Pass::patchedSlice(const ColumnDef& c) const {
    ColumnSlice s;
    if (c.number >= patchCols_) return s;
    const bool bit = owned_[maskAt_ + c.number / 8] & (1u << (c.number % 8));
    if (c.type == kBool) {
        s.present = bit;
        return s;
    }
    if (!bit) return s;
    if (c.fixed()) {
        s.data = Bytes(owned_.data() + l_.rowCountSize + c.fixedOffset, c.length);
    } else {
        const size_t vi = c.varIndex;
        if (vi + 1 >= patchOffsets_.size()) return s;
        s.data = Bytes(owned_.data() + patchOffsets_[vi], patchOffsets_[vi + 1] - patchOffsets_[vi]);
    }
    s.present = true;
    return s;
}

}  // namespace

std::vector<UpdateReport> runUpdatePass(PageFile& file, TableWriter& writer, const UpdateTable& table,
                                        const std::vector<const UpdatePlan*>& plans, double today) {
    return Pass(file, writer, table, plans, today).run();
}

}  // namespace vantrel::jet
