#include "update_indexes.h"

#include <functional>
#include <string_view>

namespace vantrel::jet {

namespace {
uint64_t packed(RowPointer p) { return (uint64_t(p.page) << 8) | p.row; }
UpdateIndexes::Key keyOfEntry(EntryView entry) { return {entry.begin(), entry.end() - 4}; }
}  // namespace

size_t UpdateIndexes::State::ByteHash::operator()(const Key& v) const {
    return std::hash<std::string_view>()(std::string_view(reinterpret_cast<const char*>(v.data()), v.size()));
}

UpdateIndexes::UpdateIndexes(PageFile& file, const TableDefData& t) : file_(file), t_(t), l_(Layout::forFormat(file.jet3())) {}

UpdateIndexes::State& UpdateIndexes::state(size_t real) {
    auto it = states_.find(real);
    if (it != states_.end()) return it->second;
    State& s = states_[real];
    const RealIndexDef& rd = t_.realIndexes[real];
    s.cols = keyColumns(t_, rd);
    s.unique = rd.flags & 0x01;
    for (const auto& li : t_.indexes)
        if (li.realIndex == real && li.kind == 1) s.unique = true;
    s.ignoreNulls = rd.flags & 0x02;
    return s;
}

const UpdateIndexes::State& UpdateIndexes::loadedState(size_t real) const {
    auto it = states_.find(real);
    if (it == states_.end() || !it->second.loaded) throw std::logic_error("an index was asked before it was read");
    return it->second;
}

const std::vector<KeyColumn>& UpdateIndexes::columns(size_t real) { return state(real).cols; }
bool UpdateIndexes::unique(size_t real) { return state(real).unique; }

bool UpdateIndexes::allNull(size_t real, const Key& key) {
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

void UpdateIndexes::load(size_t real) {
    State& s = state(real);
    if (s.loaded) return;
    s.tree = loadIndexTree(file_, l_, t_.realIndexes[real].rootPage);
    s.entries = std::move(s.tree.entries);
    s.byRow.reserve(s.entries.size());
    for (size_t i = 0; i < s.entries.size(); ++i) {
        const EntryView e = s.entries.at(i);
        RowPointer rp{Bytes(e.data(), e.size()).be24(e.size() - 4), e.back()};
        if (!s.byRow.emplace(packed(rp), i).second) throw FormatError("an index holds two entries for one row");
        if (s.unique) ++s.keys[keyOfEntry(e)];
    }
    s.loaded = true;
}

std::optional<UpdateIndexes::Key> UpdateIndexes::keyOf(size_t real, RowPointer row) const {
    const State& s = loadedState(real);
    auto it = s.byRow.find(packed(row));
    if (it == s.byRow.end()) return std::nullopt;
    return keyOfEntry(s.entries.at(it->second));
}

bool UpdateIndexes::holds(size_t real, const Key& key, RowPointer self) const {
    const State& s = loadedState(real);
    auto it = s.byRow.find(packed(self));
    if (it != s.byRow.end() && keyOfEntry(s.entries.at(it->second)) == key) return false;
    auto k = s.keys.find(key);
    return k != s.keys.end() && k->second > 0;
}

void UpdateIndexes::change(size_t real, RowPointer row, const Key& key) {
    State& s = states_.at(real);
    std::vector<uint8_t> whole = key;
    auto ptr = entryRowPointer(row);
    whole.insert(whole.end(), ptr.begin(), ptr.end());
    auto it = s.byRow.find(packed(row));
    if (it != s.byRow.end()) {
        if (s.unique) --s.keys[keyOfEntry(s.entries.at(it->second))];
        s.entries.replace(it->second, whole);
    } else {
        // An index that ignores Nulls gains the row once it has a value.
        s.byRow.emplace(packed(row), s.entries.add(whole));
    }
    if (s.unique) ++s.keys[key];
    s.changed = true;
}

void UpdateIndexes::apply() {
    for (auto& [real, s] : states_) {
        if (!s.changed) continue;
        // A row whose key became all Null leaves an index that ignores Nulls.
        std::vector<EntryView> sorted = s.entries.sorted();
        if (s.ignoreNulls) std::erase_if(sorted, [&](EntryView e) { return allNull(real, keyOfEntry(e)); });
        writeIndexTree(file_, l_, t_, real, s.tree, sorted);
        writeDistinctKeyCount(file_, l_, t_, real, sorted);
    }
}

}  // namespace vantrel::jet
