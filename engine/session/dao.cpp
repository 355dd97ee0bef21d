#include "dao.h"

#include <algorithm>

#include "catalog.h"
#include "db_create.h"
#include "header.h"
#include "page_file.h"
#include "properties.h"
#include "relationships.h"
#include "row_layout.h"
#include "table_def.h"
#include "table_scan.h"
#include "session.h"
#include "damage_guard.h"
#include "value_decode.h"

namespace vantrel {

using namespace jet;

struct DatabaseImpl {
    std::string path;
    std::unique_ptr<Session> session;  // the file, the catalog, the transaction, the writers
    Layout layout = Layout::forFormat(false);
    std::vector<std::shared_ptr<const TableDefImpl>> defs;  // parsed on first use
    bool open = true;
    UpdateSummary lastUpdate;

    void checkOpen() const {
        if (!open) throw err::objectClosed();
    }
    PageFile& file() const { return session->file(); }
    const std::vector<CatalogEntry>& catalog() const { return session->catalog(); }
    std::shared_ptr<const TableDefImpl> def(size_t entry);
    // Definitions may have changed on disk (after any statement, commit or undo).
    void forgetDefs() {
        defs.clear();
        defs.resize(catalog().size());
    }
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

bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::shared_ptr<const TableDefImpl> DatabaseImpl::def(size_t i) {
    checkOpen();
    if (!defs[i]) {
        auto t = std::make_shared<TableDefImpl>();
        t->entry = catalog()[i];
        t->jet3 = file().jet3();
        if (t->entry.local()) {
            t->data = guarded(path, t->entry.name, t->entry.tdefPage, [&] { return readTableDef(file(), t->entry.tdefPage); });
            t->props = guarded(path, t->entry.name, t->entry.tdefPage, [&] { return readTableProperties(file(), t->entry); });
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
    if (!rs_) throw err::invalidOperation();
    rs_->checkOpen();
    if (rs_->eof) throw err::noCurrentRecord();
    DatabaseImpl& db = *rs_->db;
    const size_t i = size_t(column_);
    const ColumnDef& c = table_->data.columns[i];
    // Damage below (which names the page) and a date no calendar has both
    // say which table and column they were met in.
    guarded(db.path, [&] {
        try {
            decodeValueInto(db.file(), db.layout, c, rs_->row.columns[i], into);
        } catch (const FormatError& e) {
            throw FormatError("table '" + table_->entry.name + "', column '" + c.name + "': " + e.what());
        }
    });
    if (into.type() == VarType::Date && !oleDateInRange(into.asDouble()))
        throw err::dateOutOfRange(table_->entry.name, c.name, into.asDouble());
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

const std::string& TableDef::Name() const { return db_->catalog()[entry_].name; }
int32_t TableDef::Attributes() const { return db_->catalog()[entry_].attributes; }
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
        if (!r.eof) r.scan->reading([&] { crackRow(r.db->layout, r.table->data, r.scan->row().bytes, r.row); });
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
    switch (impl_->file().header().format) {
        case Format::Jet3: return "3.0";
        case Format::Jet4: return "4.0";
        default: return "12.0";
    }
}
bool Database::IsOpen() const { return impl_ && impl_->open; }

Collection<TableDef> Database::TableDefs() const {
    openOrThrow(impl_);
    std::vector<TableDef> out;
    for (size_t i = 0; i < impl_->catalog().size(); ++i) out.push_back(FieldAccess::makeTable(impl_, i));
    return Collection<TableDef>(std::move(out));
}

std::vector<Relation> Database::Relations() const {
    openOrThrow(impl_);
    std::vector<Relation> out;
    guarded(impl_->path, [&] {
        for (const Relationship& r : readRelationships(impl_->file(), impl_->catalog()))
            out.push_back({r.name, r.referencedTable, r.table, r.referencedColumns, r.columns, r.attributes});
    });
    return out;
}

namespace {
Recordset openTable(const std::shared_ptr<DatabaseImpl>& db, size_t entry) {
    db->checkOpen();
    if (!db->catalog()[entry].local()) throw err::invalidOperation();
    auto r = std::make_shared<RecordsetImpl>();
    r->db = db;
    r->table = db->def(entry);
    guarded(db->path, [&] {
        r->scan = std::make_unique<TableScan>(db->file(), r->table->data, r->table->entry.name);
        r->eof = !r->scan->next();
        if (!r->eof) r->scan->reading([&] { crackRow(db->layout, r->table->data, r->scan->row().bytes, r->row); });
    });
    return FieldAccess::makeRecordset(std::move(r));
}
}  // namespace

Recordset TableDef::OpenRecordset() const { return openTable(db_, entry_); }

Recordset Database::OpenRecordset(const std::string& name) const {
    openOrThrow(impl_);
    for (size_t i = 0; i < impl_->catalog().size(); ++i)
        if (sameName(impl_->catalog()[i].name, name)) return openTable(impl_, i);
    throw err::inputNotFound(name);
}

namespace {
UpdateSummary summaryOf(const UpdateReport& r) { return UpdateSummary{r.table, r.affected, r.refused}; }
}  // namespace

void Database::Execute(const std::string& sql) {
    openOrThrow(impl_);
    try {
        impl_->lastUpdate = summaryOf(impl_->session->execute(sql));
    } catch (...) {
        impl_->forgetDefs();
        throw;
    }
    impl_->forgetDefs();
}

std::vector<StatementResult> Database::ExecuteEach(const std::vector<std::string>& sql) {
    openOrThrow(impl_);
    std::vector<Session::Result> results;
    try {
        results = impl_->session->executeEach(sql);
    } catch (...) {
        impl_->forgetDefs();
        throw;
    }
    impl_->forgetDefs();
    std::vector<StatementResult> out(results.size());
    for (size_t i = 0; i < results.size(); ++i) {
        out[i].error = results[i].error;
        if (results[i].report) {
            out[i].summary = summaryOf(*results[i].report);
            impl_->lastUpdate = out[i].summary;
        }
    }
    return out;
}

void Database::BeginTrans() {
    openOrThrow(impl_);
    if (impl_->session->inTransaction()) throw err::noTransaction();
    impl_->session->begin();
}

void Database::CommitTrans() {
    openOrThrow(impl_);
    if (!impl_->session->inTransaction()) throw err::noTransaction();
    try {
        impl_->session->commitTransaction();
    } catch (...) {
        impl_->forgetDefs();
        throw;
    }
    impl_->forgetDefs();
}

void Database::Rollback() {
    openOrThrow(impl_);
    if (!impl_->session->inTransaction()) throw err::noTransaction();
    try {
        impl_->session->rollback();
    } catch (...) {
        impl_->forgetDefs();
        throw;
    }
    impl_->forgetDefs();
}

long Database::RecordsAffected() const { return impl_->lastUpdate.affected; }
const UpdateSummary& Database::LastUpdate() const { return impl_->lastUpdate; }

void Database::Close() {
    if (!impl_ || !impl_->open) return;
    impl_->session->close();
    impl_->open = false;
    impl_->defs.clear();
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
    auto file = std::make_unique<PageFile>(path, opt);
    if (!passwordMatches(file->header(), passwordFromConnect(connect))) throw err::badPassword();
    impl->layout = Layout::forFormat(file->jet3());
    impl->session = std::make_unique<Session>(path, std::move(file));
    impl->defs.resize(impl->catalog().size());
    return FieldAccess::makeDatabase(std::move(impl));
}

Database DBEngine::CreateDatabase(const std::string& path, const std::string& locale, int options) const {
    if (options & dbVersion30) throw err::notSupported("this engine creates Jet4 databases only");
    if (options & dbEncrypt) throw err::notSupported("encrypted databases");
    if (options & ~(dbVersion40)) throw err::invalidArgument();
    // The locale's language and code page must be those of the General sort order.
    std::string upper = locale;
    for (auto& ch : upper) ch = char(std::toupper(static_cast<unsigned char>(ch)));
    if (upper.find("LANGID=") != std::string::npos && upper.find("LANGID=0X0409") == std::string::npos)
        throw err::notSupported("only the General sort order, LANGID=0x0409");
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
    if (type != dbUseJet) throw err::notSupported();
    if (!sameName(user, "admin") || !password.empty()) throw err::badAccount();
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
