// The indexes of one table as its writer keeps them while statements add,
// change and delete rows (INSERT, UPDATE, DELETE: one cache per table),
// behind the few questions they ask: the key a row has now, whether another
// row holds a key, a row gaining, changing or losing its key, and writing
// the changes back.
//
// Invariants: every answer reflects the changes made so far (a row's key
// after change() is the new one, and a unique index counts it), and apply()
// leaves every index holding exactly the entries the rows' keys call for,
// whichever of the two ways below held it.
// - Streamed (the normal way): an index is never read whole. holds() seeks
//   down the B-tree; the changes wait in an IndexDelta. A change or a loss
//   names the row's old key as the caller computed it from the row's values,
//   and the old entry is sought first: only a key found in the index (or,
//   for an all-Null key in an index that ignores Nulls, found absent) is
//   used. A settled old key is not sought (see settled()): the merge of
//   apply() finds every entry it removes or fails, so a disagreement is
//   refused there rather than written. A new row's entry (gain()) is simply
//   added.
//   When the pending changes of all streamed indexes pass `maxPendingBytes`,
//   bound() writes them to the pages at once (the work goes on over the
//   changed tree: holds() and the seeks read it as written).
//   Memory: the pending changes, whatever the index's size.
// - Read whole (the fallback): an index whose old key cannot be computed
//   (keyOf() is asked, or a segment cannot be encoded) or whose computed
//   key is not the one stored is written with its pending changes, read
//   from its pages once, and held in memory until apply(), as before
//   streaming existed: about 12 bytes a row to find a row's entry, 8 more in
//   a unique index to count keys, and the entries.
// - Filled (an index found empty when first asked, as in a table being
//   loaded): the new rows' entries are appended in memory and a unique
//   index's keys hashed, as cheap as an insert can be; apply() sorts and
//   writes them as a new tree. Once the pending memory passes the bound, or
//   a row's entry is to change or go, the entries are written as they are
//   and the index is streamed from then on.
// apply() writes everything and forgets all three: the next question starts
// over from the pages. Nothing above this class sees which way an index is
// held.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "index_delta.h"
#include "index_key.h"
#include "index_write.h"
#include "layout.h"
#include "page_file.h"
#include "table_def.h"

namespace vantrel::jet {

class TableIndexes {
public:
    using Key = std::vector<uint8_t>;  // an entry without its row pointer

    // maxPendingBytes: the memory the pending changes of the streamed indexes
    // together may take (IndexDelta::bytes()) before bound() writes them
    // early. Each early write rewrites the index, so not much less.
    TableIndexes(PageFile& file, const TableDefData& t, size_t maxPendingBytes = size_t(40) << 20);

    // The shape of real index `real` (read from the definition, no pages).
    const std::vector<KeyColumn>& columns(size_t real);
    bool unique(size_t real);
    // True when every segment of `key` is Null.
    bool allNull(size_t real, const Key& key);

    // Makes the index ready for the questions below (reads nothing while
    // it is streamed). FormatError when it is damaged.
    void load(size_t real);
    // The row's key now; nullopt when the index does not hold the row (an
    // index that ignores Nulls, or damage: the caller decides). Reads the
    // index whole from then on.
    std::optional<Key> keyOf(size_t real, RowPointer row);
    // Unique indexes: whether a row other than `self` holds `key`.
    bool holds(size_t real, const Key& key, RowPointer self);
    // The row's key becomes `key`. `now`: the key the row has now, computed
    // from its current values (null when that is not possible); it is
    // checked against the index before it is relied on.
    void change(size_t real, RowPointer row, const Key* now, const Key& key);
    // A new row, not in the index yet, gets `key` (an index that ignores
    // Nulls leaves an all-Null key out).
    void gain(size_t real, RowPointer row, const Key& key);
    // The row leaves the index; `now` as for change(). FormatError when the
    // index lacks a row it should hold.
    void lose(size_t real, RowPointer row, const Key* now);
    // Writes every index that changed back to its pages; the indexes are
    // then read afresh.
    void apply();
    // Writes the pending changes of the streamed indexes when they take more
    // than maxPendingBytes (between rows: a failure here is not a statement's).
    void bound();

    // Whether the index fell back to being read whole (for tests).
    bool readWhole(size_t real) const;

private:
    struct State {
        std::vector<KeyColumn> cols;
        bool unique = false, ignoreNulls = false, loaded = false, changed = false;
        bool textual = false;  // some column's key is not settled by its value alone
        std::unique_ptr<IndexDelta> delta;  // while streamed
        IndexTree tree;
        EntryArena entries;  // a changed entry is appended; its old bytes stay where they were
        // Row -> entry: the rows the index held when read (row << 32 |
        // entry + 1, sorted by row; a row pointer packs into 32 bits), and the
        // rows it gained since. Rows are asked about in storage order, so a
        // search starts from where the last one ended.
        std::vector<uint64_t> byRow;
        mutable size_t rowCursor = 0;
        size_t readCount = 0;     // entries [0, readCount) were read, in key order
        std::vector<bool> moved;  // of them, those whose bytes were replaced
        // The entries that are not lost, in key order: those read and kept
        // are merged with the others, which alone are sorted.
        std::vector<EntryView> sortedEntries() const;
        std::unordered_map<uint64_t, size_t> gained;
        // Unique indexes: the entries as read, in key order, and how the
        // count of each key changed since.
        std::vector<EntryArena::Ref> byKey;
        struct ByteHash {
            size_t operator()(const Key& v) const;
        };
        std::unordered_map<Key, int, ByteHash> keyDelta;
        struct Fill;
        std::shared_ptr<Fill> fill;  // while filled
        // An index that was empty when first asked: no key above the
        // greatest one given to it since can be held (saves unique checks of
        // a table loaded in key order a seek each).
        bool startedEmpty = false;
        Key greatest;
        void gave(const Key& key);
        // The entry holding the row, or SIZE_MAX (a lost entry's length is 0).
        size_t entryOf(uint64_t row) const;
        int count(const Key& key) const;
    };
    State& state(size_t real);
    const State& loadedState(size_t real) const;
    void readWhole(size_t real, State& s);  // the fallback: writes the delta, then reads the index
    // Whether every segment of the key is Null or of a kind whose bytes
    // follow from the value alone (numbers, dates, Yes/No, GUIDs, binary):
    // such a key is the one Access stores. Text keys depend on a sort order
    // whose tables this engine may know imperfectly, so they are checked.
    bool settled(size_t real, const Key& key);
    static bool settledKind(uint8_t type);
    // Streamed: whether `now` is the row's entry (absent when all Null in an
    // index that ignores Nulls), so that it may be named as the old key.
    bool verified(size_t real, State& s, RowPointer row, const Key* now, bool& wasIn);
    size_t pendingBytes() const;
    // Filled: writes the entries as the index's tree; streamed from then on
    // unless `streamOn` is false (the end of the work).
    void endFill(size_t real, State& s, bool streamOn = true);

    const size_t maxPendingBytes_;

    PageFile& file_;
    const TableDefData& t_;
    const Layout l_;
    std::map<size_t, State> states_;
    std::vector<State*> byReal_;  // states_ by real index (a map keeps its nodes where they are)
    State& stateAt(size_t real);  // one already made
    // The key and the row pointer as one entry (in storage reused from call to call).
    const std::vector<uint8_t>& wholeEntry(const Key& key, RowPointer row);
    std::vector<uint8_t> scratch_;
};

}  // namespace vantrel::jet
