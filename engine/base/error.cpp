#include "error.h"

#include <cstdio>

namespace vantrel {

bool JetError::concernsFile() const {
    switch (Number) {
        case 3024:  // the file is missing
        case 3026:  // not enough space on disk
        case 3043:  // disk or network error (a failed read, write, sync, rename, ...)
        case 3044:  // not a valid path
        case 3045:  // in use by another process
        case 3049:  // damaged
        case 3051:  // cannot be opened or written as asked
        case 3183:  // at its size limit
        case 3343:  // not a database
        case 3420:  // the database is closed: nothing more can reach the file
            return true;
        default:
            return false;
    }
}

void FormatError::atPage(uint32_t page) {
    if (page_) return;
    page_ = page;
    compose();
}

void FormatError::inTable(const std::string& name, std::optional<uint32_t> tdefPage) {
    if (named_ || name.empty()) return;
    if (!table_.empty() && tdefPage != tdefPage_) return;
    table_ = name;
    named_ = true;
    compose();
}

void FormatError::inTableDefinedAt(uint32_t tdefPage) {
    if (!table_.empty()) return;
    tdefPage_ = tdefPage;
    table_ = std::to_string(tdefPage);
    compose();
}

void FormatError::compose() {
    full_.clear();
    if (!table_.empty()) full_ = named_ ? "table '" + table_ + "': " : "the table defined at page " + table_ + ": ";
    if (page_) full_ += "page " + std::to_string(*page_) + ": ";
    full_ += what_;
}

}  // namespace vantrel

namespace vantrel::err {

namespace {
// Jet's text, then why in parentheses when there is a why.
std::string with(const char* text, const std::string& why) { return why.empty() ? text : std::string(text) + " (" + why + ")"; }
}  // namespace

JetError invalidCall(const std::string& why) { return {5, with("Invalid procedure call or argument", why)}; }
JetError overflow() { return {6, "Overflow"}; }

JetError dateOutOfRange(const std::string& table, const std::string& column, double stored) {
    char number[32];
    std::snprintf(number, sizeof number, "%.17g", stored);
    return {6, "Overflow (table '" + table + "', column '" + column + "' holds a date outside the years 100-9999: " + number + ")"};
}
JetError typeMismatch() { return {13, "Type mismatch"}; }
JetError badFileName() { return {52, "Bad file name or number"}; }
JetError fileNotFoundShort() { return {53, "File not found"}; }
JetError diskFull(const std::string& why) { return {61, with("Disk full", why)}; }
JetError deviceIo(const std::string& why) { return {57, with("Device I/O error", why)}; }
JetError permissionDenied() { return {70, "Permission denied"}; }
JetError pathFileAccess(const std::string& why) { return {75, with("Path/File access error", why)}; }
JetError pathNotFound(const std::string& more) { return {76, more.empty() ? "Path not found" : "Path not found: " + more}; }
JetError invalidArgument() { return {3001, "Invalid argument."}; }
JetError tableExists(const std::string& table) { return {3010, "Table '" + table + "' already exists."}; }
JetError noCurrentRecord() { return {3021, "No current record."}; }

JetError duplicateValues() {
    return {3022,
            "The changes you requested to the table were not successful because they would create duplicate values in the index, primary "
            "key, or relationship.  Change the data in the field or fields that contain duplicate data, remove the index, or redefine the "
            "index to permit duplicate entries and try again."};
}

JetError fileNotFound(const std::string& path) {
    return {3024, "Could not find file '" + path + "'."};
}

JetError readOnly() { return {3027, "Cannot update.  Database or object is read-only."}; }
JetError badAccount() { return {3029, "Not a valid account name or password."}; }
JetError badPassword() { return {3031, "Not a valid password."}; }
JetError noTransaction() { return {3034, "You tried to commit or rollback a transaction without first beginning a transaction."}; }

JetError invalidPath(const std::string& path) {
    return {3044, "'" + path +
                      "' is not a valid path.  Make sure that the path name is spelled correctly and that you are connected to the server "
                      "on which the file resides."};
}

JetError fileInUse(const std::string& path) { return {3045, "Could not use '" + path + "'; file already in use."}; }

JetError damaged(const std::string& path, const std::string& detail) {
    std::string text = "Cannot open database '" + path +
                       "'.  It may not be a database that your application recognizes, or the file may be corrupt.";
    if (!detail.empty()) text += " (" + detail + ")";
    return {3049, text};
}

JetError cannotOpenBecause(const std::string& text) { return {3051, text}; }
JetError diskOrNetwork(const std::string& detail) { return {3043, "Disk or network error. (" + detail + ")"}; }
JetError dateSyntax(const std::string& literal) {
    return {3075, "Syntax error in date in query expression '#" + literal + "#'."};
}
JetError cannotOpen(const std::string& path) {
    return {3051, "The Microsoft Jet database engine cannot open the file '" + path +
                      "'.  It is already opened exclusively by another user, or you need permission to view its data."};
}

JetError nullInIndex() { return {3058, "Index or primary key cannot contain a Null value."}; }
JetError tooFewParameters(size_t expected) { return {3061, "Too few parameters. Expected " + std::to_string(expected) + "."}; }
JetError noInputTable() { return {3067, "Query input must contain at least one table or query."}; }

JetError inputNotFound(const std::string& name) {
    return {3078, "The Microsoft Jet database engine cannot find the input table or query '" + name +
                      "'.  Make sure it exists and that its name is spelled correctly."};
}

JetError undefinedFunction(const std::string& name) { return {3085, "Undefined function '" + name + "' in expression."}; }

JetError invalidName(const std::string& name) {
    return {3125,
            "'" + name +
                "' is not a valid name. Make sure that it does not include invalid characters or punctuation and that it is not too long."};
}

JetError unknownInsertField(const std::string& name) {
    return {3127, "The INSERT INTO statement contains the following unknown field name: '" + name +
                      "'.  Make sure you have typed the name correctly, and try the operation again."};
}

JetError syntaxInFrom() { return {3131, "Syntax error in FROM clause."}; }
JetError syntaxInInsert() { return {3134, "Syntax error in INSERT INTO statement."}; }
JetError syntaxInUpdate() { return {3144, "Syntax error in UPDATE statement."}; }
JetError sizeLimit() { return {3183, "The query cannot be completed. The database has reached its size limit."}; }
JetError tooManyFields() { return {3190, "Too many fields defined."}; }
JetError fieldTwice() { return {3191, "Cannot define field more than once."}; }
JetError databaseExists() { return {3204, "Database already exists."}; }
JetError invalidOperation() { return {3219, "Invalid operation."}; }
JetError notSupported(const std::string& why) { return {3251, with("Operation is not supported for this type of object.", why)}; }
JetError indexSyntax() { return {3257, "Syntax error in field definition."}; }
JetError invalidFieldType() { return {3259, "Invalid field data type."}; }
JetError noFieldDefined() { return {3264, "No field defined--cannot append TableDef or Index."}; }
JetError itemNotFound(const std::string& name) { return {3265, with("Item not found in this collection.", name)}; }
JetError propertyNotFound() { return {3270, "Property not found."}; }
JetError cannotIndexType() { return {3280, "Can't create a field or index on a column of this type."}; }
JetError primaryKeyExists() { return {3283, "Primary key already exists."}; }
JetError indexExists() { return {3284, "Index already exists."}; }
JetError syntaxInCreateTable() { return {3290, "Syntax error in CREATE TABLE statement."}; }
JetError syntaxInFieldDefinition() { return {3292, "Syntax error in field definition."}; }
JetError syntaxInAlterTable() { return {3293, "Syntax error in ALTER TABLE statement."}; }
JetError propertyTooLarge() { return {3309, "Property value is too large."}; }

JetError unrecognizedFormat(const std::string& path) { return {3343, "Unrecognized database format '" + path + "'."}; }

JetError valueCountMismatch() { return {3346, "Number of query values and destination fields are not the same."}; }
JetError tooComplex(const std::string& why) { return {3360, with("Query is too complex.", why)}; }

JetError indexNameTaken(const std::string& table, const std::string& index) {
    return {3375, "Table '" + table + "' already has an index named '" + index + "'."};
}

JetError objectClosed() { return {3420, "Object invalid or no longer set."}; }
JetError criteriaMismatch() { return {3464, "Data type mismatch in criteria expression."}; }
JetError tooManyIndexes() { return {3626, "The operation failed. There are too many indexes on the table."}; }

InternalError internal(const std::string& what) { return InternalError(what); }

}  // namespace vantrel::err
