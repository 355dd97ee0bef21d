#include "sqlite_copy.h"

#include <atomic>
#include <exception>
#include <set>

#include "concurrent.h"
#include "sqlite_schema.h"

namespace vantrel {

namespace {

void bind(SqliteStatement& st, int i, const SqlValue& v) {
    switch (v.kind) {
        case SqlValue::Null: st.bindNull(i); break;
        case SqlValue::Integer: st.bindInt(i, v.i); break;
        case SqlValue::Real: st.bindReal(i, v.d); break;
        case SqlValue::Text: st.bindText(i, v.bytes); break;
        case SqlValue::Blob: st.bindBlob(i, v.bytes); break;
    }
}

std::string insertSql(const TableDef& t, const std::vector<Field>& columns) {
    std::string names, marks;
    for (const Field& f : columns) {
        names += (names.empty() ? "" : ", ") + quoteName(f.Name());
        marks += marks.empty() ? "?" : ", ?";
    }
    return "INSERT INTO " + quoteName(t.Name()) + " (" + names + ") VALUES (" + marks + ")";
}

// Rows handed from the reading thread to the writing one. `values` is sized
// once (kBatchRows rows) and never grows: a value's bytes may point into its
// own `own`, which must not move.
struct RowBatch {
    std::vector<SqlValue> values;
    size_t rows = 0;
    bool last = false;  // the table's rows end here (or reading failed)
};

// Reads one table's carried columns, converted as stored in SQLite.
class TableReader {
public:
    TableReader(const TableDef& t, const std::vector<Field>& columns) : rs_(t.OpenRecordset()) {
        const auto all = rs_.Fields();
        for (const Field& c : columns) {
            fields_.push_back(all.Item(c.Name()));
            types_.push_back(c.Type());
        }
        read_.resize(fields_.size());
    }
    size_t width() const { return fields_.size(); }

    // Fills `batch` with the next rows; marks it last at the table's end.
    void fill(RowBatch& batch) {
        batch.rows = 0;
        size_t bytes = 0;
        while (batch.rows < kBatchRows && bytes < kBatchBytes) {
            if (rs_.EOF_()) {
                batch.last = true;
                return;
            }
            bytes += readRow(&batch.values[batch.rows * width()]);
            ++batch.rows;
            rs_.MoveNext();
        }
        batch.last = rs_.EOF_();
    }

private:
    // One row into `out`, each text or binary copied into its value's own
    // storage (the row read is gone once the next is read); its bytes.
    size_t readRow(SqlValue* out) {
        size_t bytes = 0;
        for (size_t i = 0; i < width(); ++i) {
            SqlValue& v = out[i];
            fields_[i].ReadValue(read_[i]);
            toSqlValue(types_[i], read_[i], v);
            if ((v.kind == SqlValue::Text || v.kind == SqlValue::Blob) && v.bytes.data() != v.own.data()) {
                v.own.assign(v.bytes);
                v.bytes = v.own;
            }
            bytes += v.bytes.size();
        }
        return bytes;
    }

    Recordset rs_;
    std::vector<Field> fields_;
    std::vector<int16_t> types_;
    std::vector<Variant> read_;
};

// Two batches passed back and forth: the reader fills one while the writer
// inserts the other. The writer's failure stops the reader at its next batch.
class BatchHandoff {
public:
    explicit BatchHandoff(size_t width) {
        for (RowBatch& b : slots_) b.values.resize(kBatchRows * width);
    }
    // The reader's next empty batch; nullptr when the writer has stopped.
    RowBatch* empty() {
        free_.acquire();
        return stopped_ ? nullptr : &slots_[filled_++ % 2];
    }
    void handOver() { full_.release(); }
    RowBatch& next() {
        full_.acquire();
        return slots_[taken_++ % 2];
    }
    void giveBack() { free_.release(); }
    void stop() {
        stopped_ = true;
        free_.release();
    }

private:
    RowBatch slots_[2];
    platform::Semaphore free_{2}, full_{0};
    std::atomic<bool> stopped_{false};
    size_t filled_ = 0, taken_ = 0;  // each used by one side only
};

class TableWriter {
public:
    TableWriter(const TableDef& t, const std::vector<Field>& columns, SqliteDb& out, const RowRead& seen, const CopyProgress& progress)
        : table_(t), name_(t.Name()), insert_(out, insertSql(t, columns)), width_(columns.size()), seen_(seen), progress_(progress) {}

    void write(const RowBatch& batch) {
        for (size_t r = 0; r < batch.rows; ++r) {
            const SqlValue* row = &batch.values[r * width_];
            for (size_t i = 0; i < width_; ++i) bind(insert_, int(i) + 1, row[i]);
            insert_.step();
            insert_.reset();
            if (seen_) seen_(table_, row, width_);
            ++written_;
            if (progress_) progress_(name_, written_);
        }
    }

private:
    const TableDef& table_;
    std::string name_;
    SqliteStatement insert_;
    size_t width_;
    const RowRead& seen_;
    const CopyProgress& progress_;
    long written_ = 0;
};

// The reading thread's side: batches until the table ends, the writer stops
// or reading fails (the batch is then handed over as the last, and the
// failure rethrown to the caller of RunTogether).
void readBatches(TableReader& reader, BatchHandoff& handoff) {
    for (;;) {
        RowBatch* batch = handoff.empty();
        if (!batch) return;
        try {
            reader.fill(*batch);
        } catch (...) {
            batch->rows = 0, batch->last = true;
            handoff.handOver();
            throw;
        }
        handoff.handOver();
        if (batch->last) return;
    }
}

void writeBatches(TableWriter& writer, BatchHandoff& handoff) {
    try {
        for (;;) {
            const RowBatch& batch = handoff.next();
            writer.write(batch);
            const bool last = batch.last;
            handoff.giveBack();
            if (last) return;
        }
    } catch (...) {
        handoff.stop();
        throw;
    }
}

void copyRows(const TableDef& t, SqliteDb& out, const RowRead& seen, const CopyProgress& progress) {
    const std::vector<Field> columns = carriedColumns(t);
    if (columns.empty()) return;
    TableWriter writer(t, columns, out, seen, progress);
    TableReader reader(t, columns);
    out.exec("BEGIN");
    BatchHandoff handoff(reader.width());
    const bool together = platform::RunTogether([&] { writeBatches(writer, handoff); }, [&] { readBatches(reader, handoff); });
    if (!together) {  // no second thread: one batch at a time here
        RowBatch batch;
        batch.values.resize(kBatchRows * reader.width());
        do {
            reader.fill(batch);
            writer.write(batch);
        } while (!batch.last);
    }
    out.exec("COMMIT");
}

}  // namespace

void copyRowsToSqlite(Database& db, const std::vector<TableDef>& tables, SqliteDb& out, const RowRead& read, const CopyProgress& progress) {
    // A new file under a temporary name: no journal, no syncs (the caller
    // syncs it once, whole); 64 KB pages (the fewest b-tree steps per row,
    // the fewest overflow pages for memos); 32 MB of cache (also what index
    // sorting holds in memory before it spills to temporary files).
    out.exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA page_size=65536; PRAGMA cache_size=-32768; PRAGMA foreign_keys=OFF");
    std::set<std::string> exported;
    for (const TableDef& t : tables) exported.insert(upper(t.Name()));
    const std::vector<Relation> relations = db.Relations();
    for (const TableDef& t : tables) {
        if (carriedColumns(t).empty()) continue;  // nothing SQLite can hold: no table
        out.exec(createTableSql(t, relations, exported));
        copyRows(t, out, read, progress);
    }
}

void createSqliteIndexes(const std::vector<TableDef>& tables, SqliteDb& out) {
    std::set<std::string> indexNames;  // tables and indexes share SQLite's one name space
    for (const TableDef& t : tables) indexNames.insert(upper(t.Name()));
    out.exec("BEGIN");
    for (const TableDef& t : tables)
        for (const std::string& sql : createIndexSql(t, indexNames)) out.exec(sql);
    out.exec("COMMIT");
}

void copyToSqlite(Database& db, const std::vector<TableDef>& tables, SqliteDb& out, const CopyProgress& progress) {
    copyRowsToSqlite(db, tables, out, {}, progress);
    createSqliteIndexes(tables, out);
}

}  // namespace vantrel
