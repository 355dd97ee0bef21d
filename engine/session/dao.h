// The DAO-like object model over the engine: DBEngine, Workspace, Database,
// TableDef, Field, Index and Recordset. Objects are reference-counted
// handles; copying one shares the object. Every failure is a JetError.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "error.h"
#include "variant.h"

namespace vantrel::platform {
class Env;
}

namespace vantrel {

struct DatabaseImpl;
struct TableDefImpl;
struct RecordsetImpl;
class Recordset;

// DAO constants the callers use.
constexpr int dbUseJet = 2;
constexpr int dbEncrypt = 2;
constexpr int dbVersion30 = 32;
constexpr int dbVersion40 = 64;
inline const char* const dbLangGeneral = ";LANGID=0x0409;CP=1252;COUNTRY=0";
constexpr int dbDescending = 1;
constexpr int dbFixedField = 1;
constexpr int dbVariableField = 2;
constexpr int dbAutoIncrField = 16;
constexpr int dbUpdatableField = 32;

// DAO field type codes.
enum DaoType : int16_t {
    dbBoolean = 1, dbByte = 2, dbInteger = 3, dbLong = 4, dbCurrency = 5, dbSingle = 6, dbDouble = 7,
    dbDate = 8, dbBinary = 9, dbText = 10, dbLongBinary = 11, dbMemo = 12, dbGUID = 15, dbBigInt = 16,
    dbVarBinary = 17, dbNumeric = 19, dbDecimal = 20, dbFloat = 21, dbAttachment = 101,
};

// DAO relation attributes.
constexpr int32_t dbRelationDontEnforce = 0x2;
constexpr int32_t dbRelationUpdateCascade = 0x100;
constexpr int32_t dbRelationDeleteCascade = 0x1000;

// A relationship between two tables, as DAO's Relation names its parts: the
// referenced table is Table, the referring one ForeignTable; Fields[i] of
// Table matches ForeignFields[i] of ForeignTable.
struct Relation {
    std::string name, table, foreignTable;
    std::vector<std::string> fields, foreignFields;
    int32_t attributes = 0;  // dbRelationDontEnforce, dbRelationUpdateCascade, dbRelationDeleteCascade
};

template <class T>
class Collection {
public:
    Collection() = default;
    explicit Collection(std::vector<T> items) : items_(std::move(items)) {}
    int Count() const { return int(items_.size()); }
    const T& operator[](int i) const;
    const T& Item(const std::string& name) const;  // by Name, case-insensitive; 3265 when absent
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<T> items_;
};

class Field {
public:
    const std::string& Name() const;
    int16_t Type() const;
    int32_t Size() const;
    // A table's field: dbFixedField or dbVariableField, dbAutoIncrField,
    // dbUpdatableField. A field of an index: dbDescending when it sorts down.
    int32_t Attributes() const;
    // Decimal columns: digits in all and after the point.
    int Precision() const;
    int Scale() const;
    // The field's properties (a table's field only): whether "" may be
    // stored, the rule and its message, the default as Access wrote it.
    bool AllowZeroLength() const;
    std::string ValidationRule() const;
    std::string ValidationText() const;
    std::string DefaultValue() const;
    bool Required() const;
    // The value in the current record; only for fields of a Recordset.
    Variant Value() const;
    // The same into `into`, reusing its storage: a loop over many records
    // keeps one Variant per field and allocates only when a value outgrows it.
    void ReadValue(Variant& into) const;

private:
    friend struct FieldAccess;
    std::shared_ptr<const TableDefImpl> table_;
    std::shared_ptr<RecordsetImpl> rs_;
    int column_ = -1;            // index into the table's columns
    int32_t attributes_ = 0;
    bool ofIndex_ = false;
};

class Index {
public:
    const std::string& Name() const;
    bool Primary() const;
    bool Unique() const;
    bool Foreign() const;
    bool IgnoreNulls() const;
    bool Required() const;
    Collection<Field> Fields() const;

private:
    friend struct FieldAccess;
    std::shared_ptr<const TableDefImpl> table_;
    int index_ = -1;
};

class TableDef {
public:
    const std::string& Name() const;
    int32_t Attributes() const;
    Collection<Field> Fields() const;
    Collection<Index> Indexes() const;
    int32_t RecordCount() const;
    Recordset OpenRecordset() const;
    std::string ValidationRule() const;
    std::string ValidationText() const;

private:
    friend struct FieldAccess;
    std::shared_ptr<DatabaseImpl> db_;
    size_t entry_ = 0;
};

class Recordset {
public:
    bool EOF_() const;  // DAO's EOF; EOF is a macro in C
    void MoveNext();
    Collection<Field> Fields() const;
    void Close();

private:
    friend struct FieldAccess;
    std::shared_ptr<RecordsetImpl> impl_;
};

// What one UPDATE did: rows changed, and rows left as they were, by reason.
struct UpdateSummary {
    std::string table;
    long affected = 0;
    std::map<std::string, long> refused;
};

// What one statement of Database::ExecuteEach did: its summary when it ran,
// else the error it failed with (what Execute would have thrown).
struct StatementResult {
    UpdateSummary summary;
    std::exception_ptr error;
};

class Database {
public:
    const std::string& Name() const;
    std::string Version() const;  // "3.0" (Jet3), "4.0" (Jet4), "12.0" (ACE)
    Collection<TableDef> TableDefs() const;
    // The relationships of MSysRelationships, ordered by name.
    std::vector<Relation> Relations() const;
    Recordset OpenRecordset(const std::string& name) const;
    // Runs one SQL statement: UPDATE, INSERT INTO ... VALUES, DELETE,
    // CREATE TABLE, CREATE [UNIQUE] INDEX. Without the fail-on-error option,
    // rows Jet would refuse are left unchanged and counted; a statement that
    // cannot run fails whole and changes nothing.
    void Execute(const std::string& sql);
    // Runs the statements in order with exactly the results of calling
    // Execute for each in turn (each sees the ones before it, each fails or
    // succeeds on its own, the same rows refused for the same reasons), but
    // UPDATE statements on one table share one scan of it and reach the file
    // as one unit (written and synced once, not once a statement). Where two
    // statements cannot share a scan (both assign columns of one unique index;
    // a relationship of the table with itself) the second starts a new scan
    // and unit. Other statements, or any inside a transaction, run one at a
    // time through Execute. A failure that concerns the file
    // (JetError::concernsFile) ends the batch: it is the last result (the
    // statements after it did not run) and the unit it fell in is undone.
    std::vector<StatementResult> ExecuteEach(const std::vector<std::string>& sql);
    // A transaction: the statements between BeginTrans and CommitTrans reach
    // the file together (indexes are written once, at the commit), or not at
    // all after Rollback or a failure. Without one, each statement commits.
    void BeginTrans();
    void CommitTrans();
    void Rollback();
    long RecordsAffected() const;
    const UpdateSummary& LastUpdate() const;
    void Close();
    bool IsOpen() const;

private:
    friend struct FieldAccess;
    std::shared_ptr<DatabaseImpl> impl_;
};

class Workspace {
public:
    // Options: true opens exclusively. ReadOnly opens the file for reading only.
    Database OpenDatabase(const std::string& path, bool exclusive = false, bool readOnly = false,
                          const std::string& connect = "") const;
    const std::string& Name() const { return name_; }
    void Close() {}

private:
    friend class DBEngine;
    std::string name_;
    std::function<void(uint32_t)> writeHook_;
    std::shared_ptr<platform::Env> env_;
};

class DBEngine {
public:
    DBEngine() = default;
    // A new, empty Jet4 database, opened exclusively. `locale` is a DAO
    // locale string, which may carry ";pwd=..." for a database password;
    // options may ask for dbVersion40 only. 3204 when the file exists.
    Database CreateDatabase(const std::string& path, const std::string& locale = dbLangGeneral, int options = 0) const;
    // The engine the whole program shares, created on first use.
    static DBEngine& Default();

    Workspace CreateWorkspace(const std::string& name, const std::string& user, const std::string& password,
                              int type = dbUseJet) const;
    Database OpenDatabase(const std::string& path, bool exclusive = false, bool readOnly = false,
                          const std::string& connect = "") const;

    // Called before every page this engine's databases write to their file.
    // Tests use it to inject I/O errors and crashes.
    void SetWriteHook(std::function<void(uint32_t page)> hook) { writeHook_ = std::move(hook); }
    // The system this engine's files go through (the real one when unset).
    // Tests pass one that injects faults and simulates power loss.
    void SetEnv(std::shared_ptr<platform::Env> env) { env_ = std::move(env); }

private:
    std::function<void(uint32_t)> writeHook_;
    std::shared_ptr<platform::Env> env_;
};

}  // namespace vantrel
