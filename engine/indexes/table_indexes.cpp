#include "table_indexes.h"

#include <algorithm>
#include <functional>
#include <string_view>
#include <unordered_set>

#include "ace_keys.h"
#include "index_page_entries.h"
#include "index_walk.h"

namespace vantrel::jet {

namespace {
TableIndexes::Key keyOfEntry(EntryView entry) { return {entry.begin(), entry.end() - 4}; }
}  // namespace

// The entries of an index being filled: whole entries in arrival order and,
// in a unique index, the entries whose key is not all Null, found by key:
// by a binary search while every key came above the one before (a table
// loaded in key order), else through a hash set built when one did not.
struct TableIndexes::State::Fill {
    struct KeyHash {
        using is_transparent = void;
        const EntryArena* arena;
        size_t operator()(std::string_view k) const { return std::hash<std::string_view>()(k); }
        size_t operator()(uint32_t i) const { return (*this)(keyText(arena->at(i))); }
    };
    struct KeyEqual {
        using is_transparent = void;
        const EntryArena* arena;
        std::string_view key(uint32_t i) const { return keyText(arena->at(i)); }
        std::string_view key(std::string_view k) const { return k; }
        template <class A, class B>
        bool operator()(const A& a, const B& b) const { return key(a) == key(b); }
    };
    static std::string_view keyText(EntryView e) { return {reinterpret_cast<const char*>(e.data()), e.size() - 4}; }

    EntryArena entries;
    bool inOrder = true;  // every key above the one before: `keys` is not kept
    std::unordered_multiset<uint32_t, KeyHash, KeyEqual> keys{16, KeyHash{&entries}, KeyEqual{&entries}};
    size_t bytes() const { return entries.bytes.size() + entries.refs.size() * 8 + keys.size() * 24; }
};

size_t TableIndexes::State::ByteHash::operator()(const Key& v) const {
    return std::hash<std::string_view>()(std::string_view(reinterpret_cast<const char*>(v.data()), v.size()));
}

TableIndexes::TableIndexes(PageFile& file, const TableDefData& t, size_t maxPendingBytes)
    : maxPendingBytes_(maxPendingBytes), file_(file), t_(t), l_(Layout::forFormat(file.jet3())) {}

TableIndexes::State& TableIndexes::state(size_t real) {
    if (real < byReal_.size() && byReal_[real]) return *byReal_[real];
    State& s = states_[real];
    if (byReal_.size() <= real) byReal_.resize(real + 1, nullptr);
    byReal_[real] = &s;
    const RealIndexDef& rd = t_.realIndexes[real];
    s.cols = keyColumns(t_, rd);
    s.unique = t_.uniqueIndex(real);
    s.ignoreNulls = rd.flags & 0x02;
    s.textual = std::any_of(s.cols.begin(), s.cols.end(), [](const KeyColumn& kc) { return !settledKind(kc.column->type); });
    return s;
}

const std::vector<uint8_t>& TableIndexes::wholeEntry(const Key& key, RowPointer row) {
    scratch_.assign(key.begin(), key.end());
    scratch_.push_back(uint8_t(row.page >> 16));
    scratch_.push_back(uint8_t(row.page >> 8));
    scratch_.push_back(uint8_t(row.page));
    scratch_.push_back(uint8_t(row.row));
    return scratch_;
}

TableIndexes::State& TableIndexes::stateAt(size_t real) {
    if (real >= byReal_.size() || !byReal_[real]) throw err::internal("an index was changed before it was asked");
    return *byReal_[real];
}

const TableIndexes::State& TableIndexes::loadedState(size_t real) const {
    auto it = states_.find(real);
    if (it == states_.end() || !it->second.loaded) throw err::internal("an index was asked before it was read");
    return it->second;
}

const std::vector<KeyColumn>& TableIndexes::columns(size_t real) { return state(real).cols; }
bool TableIndexes::unique(size_t real) { return state(real).unique; }

bool TableIndexes::allNull(size_t real, const Key& key) {
    const State& s = state(real);
    Bytes b(key.data(), key.size());
    size_t at = 0;
    for (size_t c = 0; c < s.cols.size(); ++c) {
        size_t len = c + 1 == s.cols.size() ? key.size() - at : segmentLength(s.cols[c], l_.jet3, b, at);
        if (!(len == 1 && segmentIsNull(s.cols[c], key[at]))) return false;
        at += len;
    }
    return true;
}

namespace {
bool keyLess(std::span<const uint8_t> a, std::span<const uint8_t> b) { return compareBytes(a.data(), a.size(), b.data(), b.size()) < 0; }
std::span<const uint8_t> keyPart(const EntryArena& arena, EntryArena::Ref r) { return {arena.bytes.data() + r.offset, r.length - 4u}; }
// Sorts row << 32 | entry values by row: two passes of sixteen bits.
void sortByRow(std::vector<uint64_t>& v) {
    std::vector<uint64_t> tmp(v.size());
    for (int shift = 32; shift < 64; shift += 16) {
        std::vector<size_t> count(65537, 0);
        for (uint64_t x : v) ++count[((x >> shift) & 0xFFFF) + 1];
        for (size_t d = 1; d < count.size(); ++d) count[d] += count[d - 1];
        for (uint64_t x : v) tmp[count[(x >> shift) & 0xFFFF]++] = x;
        v.swap(tmp);
    }
}
}  // namespace

size_t TableIndexes::State::entryOf(uint64_t row) const {
    const size_t n = byRow.size();
    auto rowAt = [&](size_t i) { return byRow[i] >> 32; };
    // From the last place found: forward in growing steps, or back before it.
    size_t lo = 0, hi = n;
    if (rowCursor < n && rowAt(rowCursor) <= row) {
        lo = rowCursor;
        size_t step = 1;
        while (lo + step < n && rowAt(lo + step) <= row) {
            lo += step;
            step *= 2;
        }
        hi = std::min(n, lo + step + 1);
    } else {
        hi = std::min(rowCursor, n);
    }
    const auto it = std::lower_bound(byRow.begin() + long(lo), byRow.begin() + long(hi), row,
                                     [](uint64_t v, uint64_t r) { return (v >> 32) < r; });
    const size_t at = size_t(it - byRow.begin());
    rowCursor = at;
    if (at < n && rowAt(at) == row) {
        const size_t e = size_t(uint32_t(byRow[at])) - 1;
        if (entries.refs[e].length != 0) return e;
    }
    auto g = gained.find(row);
    return g == gained.end() ? SIZE_MAX : g->second;
}

std::vector<EntryView> TableIndexes::State::sortedEntries() const {
    auto less = [](EntryView a, EntryView b) { return compareBytes(a.data(), a.size(), b.data(), b.size()) < 0; };
    std::vector<EntryView> kept, other;
    kept.reserve(readCount);
    for (size_t i = 0; i < entries.size(); ++i) {
        const EntryView e = entries.at(i);
        if (e.empty()) continue;  // lost
        (i < readCount && !moved[i] ? kept : other).push_back(e);
    }
    // An index read out of order (damage Access tolerates) is sorted whole.
    if (!std::is_sorted(kept.begin(), kept.end(), less)) {
        kept.insert(kept.end(), other.begin(), other.end());
        std::sort(kept.begin(), kept.end(), less);
        return kept;
    }
    std::sort(other.begin(), other.end(), less);
    std::vector<EntryView> out(kept.size() + other.size());
    std::merge(kept.begin(), kept.end(), other.begin(), other.end(), out.begin(), less);
    return out;
}

int TableIndexes::State::count(const Key& key) const {
    const std::span<const uint8_t> k(key.data(), key.size());
    auto lo = std::lower_bound(byKey.begin(), byKey.end(), k,
                               [&](EntryArena::Ref r, std::span<const uint8_t> v) { return keyLess(keyPart(entries, r), v); });
    auto hi = std::upper_bound(lo, byKey.end(), k,
                               [&](std::span<const uint8_t> v, EntryArena::Ref r) { return keyLess(v, keyPart(entries, r)); });
    int n = int(hi - lo);
    if (auto d = keyDelta.find(key); d != keyDelta.end()) n += d->second;
    return n;
}

void TableIndexes::load(size_t real) {
    State& s = state(real);
    if (s.loaded || s.delta || s.fill) return;
    const uint32_t root = t_.realIndexes[real].rootPage;
    PageRef p = file_.page(root);
    const Bytes pb(p->data(), p->size());
    if (pb.u8(0) == kPageIndexLeaf && indexPageEntries(l_, pb).empty()) {
        s.tree = loadIndexTree(file_, l_, root);
        s.fill = std::make_shared<State::Fill>();
        s.startedEmpty = true;
        return;
    }
    s.delta = std::make_unique<IndexDelta>(file_, l_, t_, real);
}

void TableIndexes::endFill(size_t real, State& s, bool streamOn) {
    if (!s.fill) return;
    std::shared_ptr<State::Fill> fill = std::move(s.fill);
    if (!fill->entries.refs.empty()) {
        const std::vector<EntryView> sorted = fill->entries.sorted();
        writeIndexTree(file_, l_, t_, real, s.tree, sorted);
        writeDistinctKeyCount(file_, l_, t_, real, sorted);
    }
    s.tree = IndexTree{};
    if (streamOn) s.delta = std::make_unique<IndexDelta>(file_, l_, t_, real);
}

void TableIndexes::readWhole(size_t real, State& s) {
    if (s.loaded) return;
    endFill(real, s);
    if (s.delta) {
        s.delta->apply();  // the pages then hold every change so far
        s.delta.reset();
    }
    s.tree = loadIndexTree(file_, l_, t_.realIndexes[real].rootPage);
    s.entries = std::move(s.tree.entries);
    s.byRow.resize(s.entries.size());
    for (size_t i = 0; i < s.entries.size(); ++i) {
        const EntryView e = s.entries.at(i);
        const uint64_t row = RowPointer{Bytes(e.data(), e.size()).be24(e.size() - 4), e.back()}.packed();
        s.byRow[i] = row << 32 | (i + 1);
    }
    sortByRow(s.byRow);
    s.rowCursor = 0;
    for (size_t i = 1; i < s.byRow.size(); ++i)
        if (s.byRow[i] >> 32 == s.byRow[i - 1] >> 32) throw FormatError("an index holds two entries for one row");
    s.readCount = s.entries.size();
    s.moved.assign(s.readCount, false);
    if (s.unique) {
        s.byKey = s.entries.refs;
        std::stable_sort(s.byKey.begin(), s.byKey.end(),
                         [&](EntryArena::Ref a, EntryArena::Ref b) { return keyLess(keyPart(s.entries, a), keyPart(s.entries, b)); });
    }
    s.loaded = true;
}

bool TableIndexes::readWhole(size_t real) const {
    auto it = states_.find(real);
    return it != states_.end() && it->second.loaded;
}

void TableIndexes::bound() {
    if (pendingBytes() <= maxPendingBytes_) return;
    for (auto& [real, s] : states_) {
        if (s.fill) endFill(real, s);
        else if (s.delta) s.delta->apply();
    }
}

size_t TableIndexes::pendingBytes() const {
    size_t n = 0;
    for (const auto& [real, s] : states_) {
        if (s.delta) n += s.delta->bytes();
        if (s.fill) n += s.fill->bytes();
    }
    return n;
}

std::optional<TableIndexes::Key> TableIndexes::keyOf(size_t real, RowPointer row) {
    readWhole(real, state(real));
    const State& s = loadedState(real);
    const size_t e = s.entryOf(row.packed());
    if (e == SIZE_MAX) return std::nullopt;
    return keyOfEntry(s.entries.at(e));
}

void TableIndexes::State::gave(const Key& key) {
    if (startedEmpty && keyLess(greatest, key)) greatest = key;
}

bool TableIndexes::holds(size_t real, const Key& key, RowPointer self) {
    if (State& d = state(real); d.startedEmpty && keyLess(d.greatest, key)) {
        return false;
    } else if (d.fill) {
        const std::string_view k(reinterpret_cast<const char*>(key.data()), key.size());
        const std::vector<uint8_t> me = entryRowPointer(self);
        const State::Fill& f = *d.fill;
        auto other = [&](size_t i) {
            const EntryView e = f.entries.at(i);
            return !std::equal(me.begin(), me.end(), e.end() - 4);
        };
        if (f.inOrder) {
            size_t lo = 0, hi = f.entries.size();
            while (lo < hi) {
                const size_t mid = lo + (hi - lo) / 2;
                if (State::Fill::keyText(f.entries.at(mid)) < k) lo = mid + 1;
                else hi = mid;
            }
            return lo < f.entries.size() && State::Fill::keyText(f.entries.at(lo)) == k && other(lo);
        }
        auto [a, b] = f.keys.equal_range(k);
        for (; a != b; ++a)
            if (other(*a)) return true;
        return false;
    } else if (d.delta) {
        return d.delta->holds(key, self);
    }
    const State& s = loadedState(real);
    const size_t e = s.entryOf(self.packed());
    if (e != SIZE_MAX && keyOfEntry(s.entries.at(e)) == key) return false;
    return s.count(key) > 0;
}

bool TableIndexes::settled(size_t real, const Key& key) {
    const State& s = state(real);
    if (!s.textual) return true;
    Bytes b(key.data(), key.size());
    size_t at = 0;
    for (size_t c = 0; c < s.cols.size() && at < key.size(); ++c) {
        const KeyColumn& kc = s.cols[c];
        const size_t len = c + 1 == s.cols.size() ? key.size() - at : segmentLength(kc, l_.jet3, b, at);
        if (!(len == 1 && segmentIsNull(kc, key[at])) && !settledKind(kc.column->type)) return false;
        at += len;
    }
    return true;
}

bool TableIndexes::settledKind(uint8_t type) { return type != kText && type != kMemo && !aceKeyKind(type); }

bool TableIndexes::verified(size_t real, State& s, RowPointer row, const Key* now, bool& wasIn) {
    if (!now) return false;
    // The row is in the index unless its key is all Null in an index that
    // ignores Nulls; the index must agree before `now` is used.
    wasIn = !(s.ignoreNulls && allNull(real, *now));
    // A settled key the row is in is not sought: apply() finds the entry
    // it removes or fails (an entry absent where it should be is damage).
    if (wasIn && settled(real, *now)) return true;
    return s.delta->hasEntry(*now, row) == wasIn;
}

void TableIndexes::change(size_t real, RowPointer row, const Key* now, const Key& key) {
    State& s = stateAt(real);
    endFill(real, s);
    if (s.delta) {
        bool wasIn = false;
        if (verified(real, s, row, now, wasIn)) {
            const bool isIn = !(s.ignoreNulls && allNull(real, key));
            s.gave(key);
            s.delta->change(row, wasIn ? now : nullptr, isIn ? &key : nullptr);
            return;
        }
        readWhole(real, s);
    }
    s.gave(key);
    const std::vector<uint8_t>& whole = wholeEntry(key, row);
    const size_t e = s.entryOf(row.packed());
    if (e != SIZE_MAX) {
        if (s.unique) --s.keyDelta[keyOfEntry(s.entries.at(e))];
        s.entries.replace(e, whole);
        if (e < s.readCount) s.moved[e] = true;
    } else {
        // An index that ignores Nulls gains the row once it has a value.
        s.gained[row.packed()] = s.entries.add(whole);
    }
    if (s.unique) ++s.keyDelta[key];
    s.changed = true;
}

void TableIndexes::gain(size_t real, RowPointer row, const Key& key) {
    State& s = stateAt(real);
    s.gave(key);
    if (s.fill) {
        if (s.ignoreNulls && allNull(real, key)) return;
        const std::vector<uint8_t>& whole = wholeEntry(key, row);
        State::Fill& f = *s.fill;
        const size_t e = f.entries.add(whole);
        if (!s.unique) return;
        if (f.inOrder && (e == 0 || State::Fill::keyText(f.entries.at(e - 1)) < State::Fill::keyText(f.entries.at(e)))) return;
        if (f.inOrder) {
            // Out of order: the keys so far go into the hash set.
            f.inOrder = false;
            f.keys.reserve(e + 1);
            for (size_t i = 0; i < e; ++i)
                if (!allNull(real, keyOfEntry(f.entries.at(i)))) f.keys.insert(uint32_t(i));
        }
        if (!allNull(real, key)) f.keys.insert(uint32_t(e));
        return;
    }
    if (s.delta) {
        if (!(s.ignoreNulls && allNull(real, key))) s.delta->change(row, nullptr, &key);
        return;
    }
    if (s.entryOf(row.packed()) != SIZE_MAX) throw err::internal("a new row is already in an index");
    change(real, row, nullptr, key);
}

void TableIndexes::lose(size_t real, RowPointer row, const Key* now) {
    State& s = stateAt(real);
    endFill(real, s);
    if (s.delta) {
        bool wasIn = false;
        if (verified(real, s, row, now, wasIn)) {
            if (wasIn) s.delta->change(row, now, nullptr);
            return;
        }
        readWhole(real, s);
    }
    const size_t e = s.entryOf(row.packed());
    if (e == SIZE_MAX) {
        // Absent is right only for an all-Null key in an index that ignores Nulls.
        if (s.ignoreNulls && now && allNull(real, *now)) return;
        throw FormatError("a row is missing from an index");
    }
    if (s.unique) --s.keyDelta[keyOfEntry(s.entries.at(e))];
    s.entries.refs[e] = {0, 0};  // apply() leaves it out
    s.gained.erase(row.packed());
    s.changed = true;
}

void TableIndexes::apply() {
    for (auto& [index, s] : states_) {
        endFill(index, s, false);
        if (s.delta) s.delta->apply();
        if (!s.changed) continue;
        const size_t real = index;  // clang's lambdas do not capture structured bindings
        // A row whose key became all Null leaves an index that ignores Nulls.
        std::vector<EntryView> sorted = s.sortedEntries();
        const bool ignoreNulls = s.ignoreNulls;
        if (ignoreNulls) std::erase_if(sorted, [&](EntryView e) { return allNull(real, keyOfEntry(e)); });
        writeIndexTree(file_, l_, t_, real, s.tree, sorted);
        writeDistinctKeyCount(file_, l_, t_, real, sorted);
    }
    // The pages hold everything now; a whole index read before is stale.
    states_.clear();
    byReal_.clear();
}

}  // namespace vantrel::jet
