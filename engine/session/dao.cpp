#include "dao.h"

#include <algorithm>

#include "catalog.h"
#include "db_create.h"
#include "ddl_exec.h"
#include "write_exec.h"
#include "header.h"
#include "local_time.h"
#include "page_file.h"
#include "properties.h"
#include "row_layout.h"
#include "table_def.h"
#include "table_scan.h"
#include "sql_parser.h"
#include "update_batch.h"
#include "update_exec.h"
#include "value_decode.h"

#include <ctime>

namespace vantrel {

using namespace jet;

struct DatabaseImpl {
    std::string path;
    std::unique_ptr<PageFile> file;
    Layout layout = Layout::forFormat(false);
    std::vector<CatalogEntry> catalog;
    std::vector<std::shared_ptr<const TableDefImpl>> defs;  // parsed on first use
    bool open = true;
    UpdateSummary lastUpdate;
    std::unique_ptr<WriterSet> writers;  // the open transaction's table writers
    bool inTransaction = false;

    void checkOpen() const {
        if (!open) throw err::objectClosed();
    }
    std::shared_ptr<const TableDefImpl> def(size_t entry);
    // Writes the pending index changes and makes every change durable.
    void commit();
    // Undoes every change since the last commit and reads the catalog again.
    // When undoing fails, the journal stays behind and the next open rolls it
    // back; `report` passes that failure on.
    void undo(bool report = false);
    void reloadCatalog();
};

struct TableDefImpl {
    CatalogEntry entry;
    TableDefData data;
    TableProperties props;
    bool jet3 = false;
    const ColumnProperties* column(int i) const { return props.column(data.columns[size_t(i)].name); }
};

struct RecordsetImpl {
    std::shared_ptr<DatabaseImpl> db;
    std::shared_ptr<const TableDefImpl> table;
    std::unique_ptr<TableScan> scan;
    CrackedRow row;
    bool eof = true;
    bool closed = false;

    void checkOpen() const {
        if (closed) throw err::objectClosed();
        db->checkOpen();
    }
};

struct FieldAccess {
    static Field make(std::shared_ptr<const TableDefImpl> t, std::shared_ptr<RecordsetImpl> rs, int col, int32_t attrs = 0) {
        Field f;
        f.table_ = std::move(t);
        f.rs_ = std::move(rs);
        f.column_ = col;
        f.attributes_ = attrs;
        return f;
    }
    static Field makeIndexField(std::shared_ptr<const TableDefImpl> t, int col, int32_t attrs) {
        Field f = make(std::move(t), nullptr, col, attrs);
        f.ofIndex_ = true;
        return f;
    }
    static Index makeIndex(std::shared_ptr<const TableDefImpl> t, int i) {
        Index x;
        x.table_ = std::move(t);
        x.index_ = i;
        return x;
    }
    static TableDef makeTable(std::shared_ptr<DatabaseImpl> db, size_t entry) {
        TableDef t;
        t.db_ = std::move(db);
        t.entry_ = entry;
        return t;
    }
    static Recordset makeRecordset(std::shared_ptr<RecordsetImpl> impl) {
        Recordset r;
        r.impl_ = std::move(impl);
        return r;
    }
    static Database makeDatabase(std::shared_ptr<DatabaseImpl> impl) {
        Database d;
        d.impl_ = std::move(impl);
        return d;
    }
};

namespace {
// A handle that was never set, or whose object is closed, is Jet's 3420.
template <class Impl>
void openOrThrow(const std::shared_ptr<Impl>& impl) {
    if (!impl) throw err::objectClosed();
    impl->checkOpen();
}
}  // namespace

namespace {

// Damage found below the object model surfaces as Jet's error 3049.
template <class F>
auto guarded(const std::string& path, F&& f) -> decltype(f()) {
    try {
        return f();
    } catch (const FormatError& e) {
        throw err::damaged(path, e.what());
    }
}

bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

void DatabaseImpl::reloadCatalog() {
    try {
        catalog = readTableCatalog(*file);
    } catch (...) {
        return;
    }
    defs.clear();
    defs.resize(catalog.size());
}

void DatabaseImpl::commit() {
    guarded(path, [&] {
        if (writers) writers->flush();
        file->commit();
    });
    if (writers) writers->clear();
    for (auto& d : defs) d.reset();
}

void DatabaseImpl::undo(bool report) {
    inTransaction = false;
    if (writers) writers->clear();
    try {
        file->abort();
    } catch (...) {
        // A broken file refuses the reload too; the error that broke it is the one to report.
        try {
            reloadCatalog();
        } catch (...) {
        }
        if (report) throw;
        return;
    }
    reloadCatalog();
}

std::shared_ptr<const TableDefImpl> DatabaseImpl::def(size_t i) {
    checkOpen();
    if (!defs[i]) {
        auto t = std::make_shared<TableDefImpl>();
        t->entry = catalog[i];
        t->jet3 = file->jet3();
        if (t->entry.local()) {
            t->data = guarded(path, [&] { return readTableDef(*file, t->entry.tdefPage); });
            t->props = guarded(path, [&] { return readTableProperties(*file, t->entry); });
        }
        defs[i] = std::move(t);
    }
    return defs[i];
}

// ---- Collection

template <class T>
const T& Collection<T>::operator[](int i) const {
    if (i < 0 || size_t(i) >= items_.size()) throw err::itemNotFound(std::to_string(i));
    return items_[size_t(i)];
}

template <class T>
const T& Collection<T>::Item(const std::string& name) const {
    for (const auto& x : items_)
        if (sameName(x.Name(), name)) return x;
    throw err::itemNotFound(name);
}

template class Collection<Field>;
template class Collection<Index>;
template class Collection<TableDef>;

// ---- Field

const std::string& Field::Name() const { return table_->data.columns[size_t(column_)].name; }
int16_t Field::Type() const {
    const ColumnDef& c = table_->data.columns[size_t(column_)];
    return int16_t(daoTypeOf(c.type));
}
int32_t Field::Size() const {
    const ColumnDef& c = table_->data.columns[size_t(column_)];
    if (c.longValue()) return 0;
    if (c.type == kText && !table_->jet3) return c.length / 2;
    return c.length;
}
int32_t Field::Attributes() const {
    if (ofIndex_) return attributes_;
    const ColumnDef& c = table_->data.columns[size_t(column_)];
    int32_t a = (c.fixed() ? dbFixedField : dbVariableField) | dbUpdatableField;
    if ((c.flags & kColAutoLong) && c.type == kLong) a |= dbAutoIncrField;
    return a;
}
int Field::Precision() const { return table_->data.columns[size_t(column_)].precision; }
int Field::Scale() const { return table_->data.columns[size_t(column_)].scale; }
bool Field::Required() const {
    const ColumnProperties* p = table_->column(column_);
    return !(table_->data.columns[size_t(column_)].flags & kColNullable) || (p && p->required.value_or(false));
}
bool Field::AllowZeroLength() const {
    const ColumnProperties* p = table_->column(column_);
    return !p || p->allowZeroLength.value_or(true);
}
std::string Field::ValidationRule() const {
    const ColumnProperties* p = table_->column(column_);
    return p ? p->validationRule : std::string();
}
std::string Field::ValidationText() const {
    const ColumnProperties* p = table_->column(column_);
    return p ? p->validationText : std::string();
}
std::string Field::DefaultValue() const {
    const ColumnProperties* p = table_->column(column_);
    return p ? p->defaultValue : std::string();
}

Variant Field::Value() const {
    Variant v;
    ReadValue(v);
    return v;
}

void Field::ReadValue(Variant& into) const {
    if (!rs_) throw JetError(3219, "Invalid operation.");
    rs_->checkOpen();
    if (rs_->eof) throw err::noCurrentRecord();
    DatabaseImpl& db = *rs_->db;
    const size_t i = size_t(column_);
    guarded(db.path, [&] { decodeValueInto(*db.file, db.layout, table_->data.columns[i], rs_->row.columns[i], into); });
}

// ---- Index

namespace {
const RealIndexDef& realOf(const TableDefImpl& t, int i) { return t.data.realIndexes[t.data.indexes[size_t(i)].realIndex]; }
}  // namespace

const std::string& Index::Name() const { return table_->data.indexes[size_t(index_)].name; }
bool Index::Primary() const { return table_->data.indexes[size_t(index_)].kind == 1; }
bool Index::Foreign() const { return table_->data.indexes[size_t(index_)].kind == 2; }
bool Index::Unique() const { return Primary() || (realOf(*table_, index_).flags & 0x01); }
bool Index::IgnoreNulls() const { return realOf(*table_, index_).flags & 0x02; }
bool Index::Required() const { return Primary() || (realOf(*table_, index_).flags & 0x08); }

Collection<Field> Index::Fields() const {
    std::vector<Field> out;
    for (const auto& c : realOf(*table_, index_).columns) {
        const auto& cols = table_->data.columns;
        for (size_t k = 0; k < cols.size(); ++k)
            if (cols[k].number == c.number) out.push_back(FieldAccess::makeIndexField(table_, int(k), c.ascending ? 0 : dbDescending));
    }
    return Collection<Field>(std::move(out));
}

// ---- TableDef

const std::string& TableDef::Name() const { return db_->catalog[entry_].name; }
int32_t TableDef::Attributes() const { return db_->catalog[entry_].attributes; }
std::string TableDef::ValidationRule() const { return db_->def(entry_)->props.validationRule; }
std::string TableDef::ValidationText() const { return db_->def(entry_)->props.validationText; }

Collection<Field> TableDef::Fields() const {
    auto t = db_->def(entry_);
    std::vector<Field> out;
    for (size_t k = 0; k < t->data.columns.size(); ++k) out.push_back(FieldAccess::make(t, nullptr, int(k)));
    return Collection<Field>(std::move(out));
}

Collection<Index> TableDef::Indexes() const {
    auto t = db_->def(entry_);
    std::vector<Index> out;
    for (size_t k = 0; k < t->data.indexes.size(); ++k) out.push_back(FieldAccess::makeIndex(t, int(k)));
    return Collection<Index>(std::move(out));
}

int32_t TableDef::RecordCount() const { return int32_t(db_->def(entry_)->data.rowCount); }

// ---- Recordset

bool Recordset::EOF_() const {
    openOrThrow(impl_);
    return impl_->eof;
}

void Recordset::MoveNext() {
    openOrThrow(impl_);
    if (impl_->eof) throw err::noCurrentRecord();
    RecordsetImpl& r = *impl_;
    guarded(r.db->path, [&] {
        r.eof = !r.scan->next();
        if (!r.eof) crackRow(r.db->layout, r.table->data, r.scan->row().bytes, r.row);
    });
}

Collection<Field> Recordset::Fields() const {
    openOrThrow(impl_);
    std::vector<Field> out;
    for (size_t k = 0; k < impl_->table->data.columns.size(); ++k) out.push_back(FieldAccess::make(impl_->table, impl_, int(k)));
    return Collection<Field>(std::move(out));
}

void Recordset::Close() {
    if (impl_) {
        impl_->closed = true;
        impl_->scan.reset();
    }
}

// ---- Database

const std::string& Database::Name() const {
    if (!impl_) throw err::objectClosed();
    return impl_->path;
}

std::string Database::Version() const {
    openOrThrow(impl_);
    switch (impl_->file->header().format) {
        case Format::Jet3: return "3.0";
        case Format::Jet4: return "4.0";
        default: return "12.0";
    }
}
bool Database::IsOpen() const { return impl_ && impl_->open; }

Collection<TableDef> Database::TableDefs() const {
    openOrThrow(impl_);
    std::vector<TableDef> out;
    for (size_t i = 0; i < impl_->catalog.size(); ++i) out.push_back(FieldAccess::makeTable(impl_, i));
    return Collection<TableDef>(std::move(out));
}

namespace {
Recordset openTable(const std::shared_ptr<DatabaseImpl>& db, size_t entry) {
    db->checkOpen();
    if (!db->catalog[entry].local()) throw JetError(3219, "Invalid operation.");
    auto r = std::make_shared<RecordsetImpl>();
    r->db = db;
    r->table = db->def(entry);
    guarded(db->path, [&] {
        r->scan = std::make_unique<TableScan>(*db->file, r->table->data, r->table->entry.name);
        r->eof = !r->scan->next();
        if (!r->eof) crackRow(db->layout, r->table->data, r->scan->row().bytes, r->row);
    });
    return FieldAccess::makeRecordset(std::move(r));
}
}  // namespace

Recordset TableDef::OpenRecordset() const { return openTable(db_, entry_); }

Recordset Database::OpenRecordset(const std::string& name) const {
    openOrThrow(impl_);
    for (size_t i = 0; i < impl_->catalog.size(); ++i)
        if (sameName(impl_->catalog[i].name, name)) return openTable(impl_, i);
    throw JetError(3078, "The Microsoft Jet database engine cannot find the input table or query '" + name +
                             "'.  Make sure it exists and that its name is spelled correctly.");
}

namespace {

// Now, as an OLE date in local time.
double oleNow() {
    std::time_t t = std::time(nullptr);
    const std::tm tm = platform::LocalTime(t);
    return oleDay(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday) + (tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec) / 86400.0;
}
}  // namespace

void Database::Execute(const std::string& sql) {
    openOrThrow(impl_);
    Statement st = parseStatement(sql);
    if (!impl_->file->writable()) throw JetError(3027, "Cannot update.  Database or object is read-only.");
    PageFile& file = *impl_->file;
    if (!impl_->writers) impl_->writers = std::make_unique<WriterSet>(file);
    WriterSet& writers = *impl_->writers;
    const double now = oleNow();
    try {
        UpdateReport r = guarded(impl_->path, [&]() -> UpdateReport {
            if (auto* ins = std::get_if<InsertStatement>(&st)) return executeInsert(impl_->catalog, *ins, writers, now);
            if (auto* del = std::get_if<DeleteStatement>(&st)) return executeDelete(file, impl_->catalog, std::move(*del), writers, now);
            if (auto* up = std::get_if<UpdateStatement>(&st)) {
                // The rules kept for new rows may hold keys this statement changes.
                writers.forgetRules();
                return executeUpdate(file, impl_->catalog, std::move(*up), writers, now);
            }
            // The other statements read indexes and definitions from the pages: bring them up to date first.
            writers.flush();
            writers.clear();
            if (auto* ct = std::get_if<CreateTableStatement>(&st)) executeCreateTable(file, impl_->catalog, *ct, now);
            if (auto* ci = std::get_if<CreateIndexStatement>(&st)) executeCreateIndex(file, impl_->catalog, *ci);
            if (auto* sp = std::get_if<SetPropertyStatement>(&st)) executeSetProperty(file, impl_->catalog, *sp);
            impl_->catalog = readTableCatalog(file);
            return UpdateReport{};
        });
        if (!impl_->inTransaction) impl_->commit();
        impl_->lastUpdate = UpdateSummary{r.table, r.affected, r.refused};
    } catch (...) {
        impl_->undo();
        throw;
    }
    // Table definitions may have changed on disk.
    for (auto& d : impl_->defs) d.reset();
    impl_->defs.resize(impl_->catalog.size());
}

std::vector<StatementResult> Database::ExecuteEach(const std::vector<std::string>& sql) {
    openOrThrow(impl_);
    std::vector<StatementResult> out(sql.size());
    // A file error ends the batch at statement i.
    auto stopAt = [&](size_t i, std::exception_ptr e) {
        out[i].error = std::move(e);
        out.resize(i + 1);
        return out;
    };
    // Runs the statements at `indices` through Execute, in order.
    auto oneByOne = [&](const std::vector<size_t>& indices) {
        for (size_t i : indices) {
            try {
                Execute(sql[i]);
                out[i].summary = impl_->lastUpdate;
            } catch (...) {
                auto e = std::current_exception();
                if (concernsFile(e)) return stopAt(i, e);
                out[i].error = e;
            }
        }
        return out;
    };
    std::vector<size_t> all(sql.size());
    for (size_t i = 0; i < sql.size(); ++i) all[i] = i;
    if (impl_->inTransaction || !impl_->file->writable()) return oneByOne(all);

    // Parsed first; what does not parse fails on its own, as in Execute.
    std::vector<size_t> which;  // the statements to run, all UPDATEs of one table
    std::string table;
    auto parsedUpdate = [&](size_t i) { return std::get<UpdateStatement>(parseStatement(sql[i])); };
    for (size_t i = 0; i < sql.size(); ++i) {
        Statement st;
        try {
            st = parseStatement(sql[i]);
        } catch (...) {
            out[i].error = std::current_exception();
            continue;
        }
        auto* up = std::get_if<UpdateStatement>(&st);
        if (!up || (!which.empty() && upperAscii(up->table) != table)) return oneByOne(all);
        if (which.empty()) table = upperAscii(up->table);
        which.push_back(i);
    }
    // Damage found below the object model is Jet's 3049, as Execute reports it.
    auto asJet = [&](std::exception_ptr e) -> std::exception_ptr {
        try {
            std::rethrow_exception(e);
        } catch (const FormatError& f) {
            return std::make_exception_ptr(err::damaged(impl_->path, f.what()));
        } catch (...) {
            return e;
        }
    };

    // Run after run of statements that can share a scan, each committed.
    PageFile& file = *impl_->file;
    for (size_t from = 0; from < which.size();) {
        std::vector<UpdateStatement> rest;
        for (size_t k = from; k < which.size(); ++k) rest.push_back(parsedUpdate(which[k]));
        UpdateBatchResult r;
        try {
            r = guarded(impl_->path, [&] {
                if (!impl_->writers) impl_->writers = std::make_unique<WriterSet>(file);
                impl_->writers->forgetRules();
                return executeUpdateBatch(file, impl_->catalog, std::move(rest), *impl_->writers, oleNow());
            });
        } catch (...) {
            // Undoing or flushing failed: the file, before the run's first statement.
            impl_->undo();
            return stopAt(which[from], std::current_exception());
        }
        if (!r.onePass) return oneByOne(std::vector<size_t>(which.begin() + long(from), which.end()));
        if (r.stoppedAt) {
            impl_->undo();
            for (size_t k = 0; k < *r.stoppedAt; ++k) out[which[from + k]].error = r.errors[k] ? asJet(r.errors[k]) : nullptr;
            return stopAt(which[from + *r.stoppedAt], asJet(r.errors[*r.stoppedAt]));
        }
        try {
            impl_->commit();
        } catch (...) {
            impl_->undo();
            size_t first = 0;
            while (first + 1 < r.handled && r.errors[first]) ++first;
            for (size_t k = 0; k < first; ++k) out[which[from + k]].error = r.errors[k];
            return stopAt(which[from + first], std::current_exception());
        }
        for (size_t k = 0; k < r.handled; ++k) {
            StatementResult& o = out[which[from + k]];
            if (r.errors[k]) {
                o.error = asJet(r.errors[k]);
            } else {
                const UpdateReport& u = r.reports[k];
                o.summary = UpdateSummary{u.table, u.affected, u.refused};
                impl_->lastUpdate = o.summary;
            }
        }
        for (auto& d : impl_->defs) d.reset();
        from += r.handled;
    }
    return out;
}

void Database::BeginTrans() {
    openOrThrow(impl_);
    if (impl_->inTransaction) throw JetError(3034, "You tried to commit or rollback a transaction without first beginning a transaction.");
    impl_->inTransaction = true;
}

void Database::CommitTrans() {
    openOrThrow(impl_);
    if (!impl_->inTransaction) throw JetError(3034, "You tried to commit or rollback a transaction without first beginning a transaction.");
    impl_->inTransaction = false;
    try {
        impl_->commit();
    } catch (...) {
        impl_->undo();
        throw;
    }
}

void Database::Rollback() {
    openOrThrow(impl_);
    if (!impl_->inTransaction) throw JetError(3034, "You tried to commit or rollback a transaction without first beginning a transaction.");
    impl_->undo(true);
}

long Database::RecordsAffected() const { return impl_->lastUpdate.affected; }
const UpdateSummary& Database::LastUpdate() const { return impl_->lastUpdate; }

void Database::Close() {
    if (!impl_ || !impl_->open) return;
    // An open transaction ends undone, as in DAO.
    if (impl_->inTransaction) impl_->undo();
    impl_->writers.reset();
    impl_->open = false;
    impl_->defs.clear();
    impl_->file.reset();
}

// ---- Workspace and DBEngine

Database Workspace::OpenDatabase(const std::string& path, bool exclusive, bool readOnly, const std::string& connect) const {
    (void)exclusive;
    auto impl = std::make_shared<DatabaseImpl>();
    impl->path = path;
    PageFile::Options opt;
    opt.writable = !readOnly;
    opt.beforeWrite = writeHook_;
    opt.env = env_.get();
    impl->file = std::make_unique<PageFile>(path, opt);
    if (!passwordMatches(impl->file->header(), passwordFromConnect(connect))) throw err::badPassword();
    impl->layout = Layout::forFormat(impl->file->jet3());
    impl->catalog = guarded(path, [&] { return readTableCatalog(*impl->file); });
    impl->defs.resize(impl->catalog.size());
    return FieldAccess::makeDatabase(std::move(impl));
}

Database DBEngine::CreateDatabase(const std::string& path, const std::string& locale, int options) const {
    if (options & dbVersion30) throw JetError(3251, "Operation is not supported for this type of object. (this engine creates Jet4 databases only)");
    if (options & dbEncrypt) throw JetError(3251, "Operation is not supported for this type of object. (encrypted databases)");
    if (options & ~(dbVersion40)) throw JetError(3001, "Invalid argument.");
    // The locale's language and code page must be those of the General sort order.
    std::string upper = locale;
    for (auto& ch : upper) ch = char(std::toupper(static_cast<unsigned char>(ch)));
    if (upper.find("LANGID=") != std::string::npos && upper.find("LANGID=0X0409") == std::string::npos)
        throw JetError(3251, "Operation is not supported for this type of object. (only the General sort order, LANGID=0x0409)");
    CreateOptions opt;
    opt.password = passwordFromConnect(locale);
    opt.now = oleNow();
    opt.beforeWrite = writeHook_;
    opt.env = env_.get();
    createDatabaseFile(path, opt);
    return OpenDatabase(path, true, false, ";pwd=" + opt.password);
}

DBEngine& DBEngine::Default() {
    static DBEngine engine;
    return engine;
}

Workspace DBEngine::CreateWorkspace(const std::string& name, const std::string& user, const std::string& password,
                                    int type) const {
    if (type != dbUseJet) throw JetError(3251, "Operation is not supported for this type of object.");
    if (!sameName(user, "admin") || !password.empty()) throw JetError(3029, "Not a valid account name or password.");
    Workspace ws;
    ws.name_ = name;
    ws.writeHook_ = writeHook_;
    ws.env_ = env_;
    return ws;
}

Database DBEngine::OpenDatabase(const std::string& path, bool exclusive, bool readOnly, const std::string& connect) const {
    Workspace defaultWorkspace;
    defaultWorkspace.writeHook_ = writeHook_;
    defaultWorkspace.env_ = env_;
    return defaultWorkspace.OpenDatabase(path, exclusive, readOnly, connect);
}

}  // namespace vantrel
