// The one error type of the engine and its object model. Callers read
// Number and Description, as they would from DAO's Err object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace vantrel {

class JetError : public std::runtime_error {
public:
    JetError(long number, std::string description)
        : std::runtime_error(description), Number(number), Description(std::move(description)) {}

    long Number;
    std::string Description;

    // True when the failure concerns the file rather than one statement:
    // it cannot be read, written, synced or opened as asked, it is damaged,
    // or the engine no longer trusts its state of it. Work on such a file
    // stops at once; a statement's own failure (names, types, refused rows)
    // does not stop the work around it.
    bool concernsFile() const;
};

// Raised by the storage layers when bytes on disk do not make sense. The
// object model turns it into error 3049, naming the file. Damage says where
// it lies: the table and the page. Each is set once, by the deepest layer
// that knows it (the site that reads a page, else a layer above it that is
// reading that page or that table: see onPage and inTable below); what()
// reads "table 'T': page N: <what was wrong>", leaving out what no layer knew.
class FormatError : public std::runtime_error {
public:
    explicit FormatError(const std::string& what) : std::runtime_error(what), what_(what), full_(what) {}
    FormatError(const std::string& what, uint32_t page) : FormatError(what) { atPage(page); }

    const char* what() const noexcept override { return full_.c_str(); }
    // What was wrong, without the place.
    const std::string& detail() const { return what_; }
    const std::string& table() const { return table_; }
    std::optional<uint32_t> page() const { return page_; }

    // Sets the page unless a deeper layer set it.
    void atPage(uint32_t page);
    // Sets the table by name, unless a deeper layer named it. A table known
    // only by its definition's page (inTableDefinedAt) is named only when
    // `tdefPage` is that page: damage met in another table keeps its own.
    void inTable(const std::string& name, std::optional<uint32_t> tdefPage = {});
    // Sets the table by its definition's page, unless it is known already.
    void inTableDefinedAt(uint32_t tdefPage);

private:
    void compose();
    std::string what_, full_, table_;
    bool named_ = false;  // table_ holds the table's name, not its definition's page
    uint32_t tdefPage_ = 0;  // the definition's page, when table_ gives only that
    std::optional<uint32_t> page_;
};

// Runs f; damage it raises lies on `page` unless a deeper layer said where.
template <class F>
auto onPage(uint32_t page, F&& f) -> decltype(f()) {
    try {
        return f();
    } catch (FormatError& e) {
        e.atPage(page);
        throw;
    }
}

// Runs f; damage it raises lies in table `name` (defined at `tdefPage`)
// unless a deeper layer named a table.
template <class F>
auto inTable(const std::string& name, std::optional<uint32_t> tdefPage, F&& f) -> decltype(f()) {
    try {
        return f();
    } catch (FormatError& e) {
        e.inTable(name, tdefPage);
        throw;
    }
}

// An internal fault: an invariant of the engine or the tool does not hold
// (a caller broke a contract, a structure disagrees with itself). It is not
// damage and not a statement's failure: it ends the run, loudly, and is never
// reported as a skipped column.
class InternalError : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

namespace err {
// Jet's own numbers and texts: one factory a number. Where a text carries a
// varying part (a name, a path, why), the factory takes it; `why` is added
// in parentheses after Jet's text.
JetError invalidCall(const std::string& why = {});          // 5
JetError overflow();                                        // 6
// 6 for a stored date outside the years 100-9999, naming where it is.
JetError dateOutOfRange(const std::string& table, const std::string& column, double stored);
JetError typeMismatch();                                    // 13
JetError badFileName();                                     // 52
JetError fileNotFoundShort();                               // 53
JetError diskFull(const std::string& why = {});             // 61
JetError deviceIo(const std::string& why = {});             // 57
JetError permissionDenied();                                // 70
JetError pathFileAccess(const std::string& why = {});       // 75
JetError pathNotFound(const std::string& more = {});        // 76 (`more` follows ": ")
JetError invalidArgument();                                 // 3001
JetError tableExists(const std::string& table);             // 3010
JetError noCurrentRecord();                                 // 3021
JetError duplicateValues();                                 // 3022
JetError fileNotFound(const std::string& path);             // 3024
JetError readOnly();                                        // 3027
JetError badAccount();                                      // 3029
JetError badPassword();                                     // 3031
JetError noTransaction();                                   // 3034
JetError invalidPath(const std::string& path);              // 3044
JetError fileInUse(const std::string& path);                // 3045
JetError damaged(const std::string& path, const std::string& detail);  // 3049
JetError cannotOpen(const std::string& path);               // 3051, Jet's text
// 3051 with the tool's own account of why (a journal, a name, links): `text`
// says what cannot be opened or made, and why.
JetError cannotOpenBecause(const std::string& text);         // 3051
// 3043: the disk or network failed; `detail` says what and where.
JetError diskOrNetwork(const std::string& detail);           // 3043
// 3075: a date literal that is no date.
JetError dateSyntax(const std::string& literal);             // 3075
JetError nullInIndex();                                     // 3058
JetError tooFewParameters(size_t expected);                 // 3061
JetError noInputTable();                                    // 3067
JetError inputNotFound(const std::string& name);            // 3078
JetError undefinedFunction(const std::string& name);        // 3085
JetError invalidName(const std::string& name);              // 3125
JetError unknownInsertField(const std::string& name);       // 3127
JetError syntaxInFrom();                                    // 3131
JetError syntaxInInsert();                                  // 3134
JetError syntaxInUpdate();                                  // 3144
JetError sizeLimit();                                       // 3183
JetError tooManyFields();                                   // 3190
JetError fieldTwice();                                      // 3191
JetError databaseExists();                                  // 3204
JetError invalidOperation();                                // 3219
JetError notSupported(const std::string& why = {});         // 3251
JetError indexSyntax();                                     // 3257
JetError invalidFieldType();                                // 3259
JetError noFieldDefined();                                  // 3264
JetError itemNotFound(const std::string& name = {});        // 3265
JetError propertyNotFound();                                // 3270
JetError cannotIndexType();                                 // 3280
JetError primaryKeyExists();                                // 3283
JetError indexExists();                                     // 3284
JetError syntaxInCreateTable();                             // 3290
JetError syntaxInFieldDefinition();                         // 3292
JetError syntaxInAlterTable();                              // 3293
JetError propertyTooLarge();                                // 3309
JetError unrecognizedFormat(const std::string& path);       // 3343
JetError valueCountMismatch();                              // 3346
JetError tooComplex(const std::string& why = {});           // 3360
JetError indexNameTaken(const std::string& table, const std::string& index);  // 3375
JetError objectClosed();                                    // 3420
JetError criteriaMismatch();                                // 3464
JetError tooManyIndexes();                                  // 3626

// Not a Jet error: an internal fault (see InternalError).
InternalError internal(const std::string& what);
}  // namespace err

}  // namespace vantrel
