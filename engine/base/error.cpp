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

}  // namespace vantrel

namespace vantrel::err {

JetError fileNotFound(const std::string& path) {
    return {3024, "Could not find file '" + path + "'."};
}

JetError badPassword() { return {3031, "Not a valid password."}; }

JetError unrecognizedFormat(const std::string& path) {
    return {3343, "Unrecognized database format '" + path + "'."};
}

JetError damaged(const std::string& path, const std::string& detail) {
    std::string text = "Cannot open database '" + path +
                       "'.  It may not be a database that your application recognizes, or the file may be corrupt.";
    if (!detail.empty()) text += " (" + detail + ")";
    return {3049, text};
}

JetError cannotOpen(const std::string& path) {
    return {3051, "The Microsoft Jet database engine cannot open the file '" + path +
                      "'.  It is already opened exclusively by another user, or you need permission to view its data."};
}

JetError fileInUse(const std::string& path) {
    return {3045, "Could not use '" + path + "'; file already in use."};
}

JetError typeMismatch() { return {13, "Type mismatch"}; }
JetError overflow() { return {6, "Overflow"}; }

JetError dateOutOfRange(const std::string& table, const std::string& column, double stored) {
    char number[32];
    std::snprintf(number, sizeof number, "%.17g", stored);
    return {6, "Overflow (table '" + table + "', column '" + column + "' holds a date outside the years 100-9999: " + number + ")"};
}

JetError itemNotFound(const std::string& name) {
    return {3265, "Item not found in this collection. (" + name + ")"};
}

JetError objectClosed() { return {3420, "Object invalid or no longer set."}; }
JetError noCurrentRecord() { return {3021, "No current record."}; }

}  // namespace vantrel::err
