// The indexes one UPDATE pass changes, behind the few questions the pass
// asks: the key a row has now, whether another row holds a key, a row's key
// changing, and writing the changes back at the end of the pass.
//
// Invariants: each index is read from its pages at most once per pass, and
// only when a statement first needs it; until apply() the pages are not
// touched, and every answer reflects the changes made so far in the pass
// (a row's key after change() is the new one, and a unique index counts it).
// Memory: an index's entries, about 12 bytes a row to find a row's entry,
// 8 more in a unique index to count keys, and the changes.
// This is the seam where a streaming index module can take over: nothing
// above it sees how entries are held.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <unordered_map>
#include <vector>

#include "index_key.h"
#include "index_write.h"
#include "layout.h"
#include "page_file.h"
#include "table_def.h"

namespace vantrel::jet {

class UpdateIndexes {
public:
    using Key = std::vector<uint8_t>;  // an entry without its row pointer

    UpdateIndexes(PageFile& file, const TableDefData& t);

    // The shape of real index `real` (read from the definition, no pages).
    const std::vector<KeyColumn>& columns(size_t real);
    bool unique(size_t real);
    // True when every segment of `key` is Null.
    bool allNull(size_t real, const Key& key);

    // Reads the index when not yet read. FormatError when it is damaged.
    void load(size_t real);
    // The row's key now; nullopt when the index does not hold the row (an
    // index that ignores Nulls, or damage: the caller decides).
    std::optional<Key> keyOf(size_t real, RowPointer row) const;
    // Unique indexes: whether a row other than `self` holds `key`.
    bool holds(size_t real, const Key& key, RowPointer self) const;
    // The row's key becomes `key`.
    void change(size_t real, RowPointer row, const Key& key);
    // Writes every index that changed back to its pages.
    void apply();

private:
    struct State {
        std::vector<KeyColumn> cols;
        bool unique = false, ignoreNulls = false, loaded = false, changed = false;
        IndexTree tree;
        EntryArena entries;  // a changed entry is appended; its old bytes stay where they were
        // Row -> entry: the rows the index held when read, sorted by row, and
        // the rows it gained since.
        std::vector<std::pair<uint64_t, uint32_t>> byRow;
        std::unordered_map<uint64_t, size_t> gained;
        // Unique indexes: the entries as read, in key order, and how the
        // count of each key changed since.
        std::vector<EntryArena::Ref> byKey;
        struct ByteHash {
            size_t operator()(const Key& v) const;
        };
        std::unordered_map<Key, int, ByteHash> keyDelta;
        // The entry holding the row, or SIZE_MAX.
        size_t entryOf(uint64_t row) const;
        int count(const Key& key) const;
    };
    State& state(size_t real);
    const State& loadedState(size_t real) const;

    PageFile& file_;
    const TableDefData& t_;
    const Layout l_;
    std::map<size_t, State> states_;
};

}  // namespace vantrel::jet
