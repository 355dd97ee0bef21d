// The one error type of the engine and its object model. Callers read
// Number and Description, as they would from DAO's Err object.
#pragma once

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
// object model turns it into error 3049, naming the file.
class FormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace err {
// Jet's own numbers and texts.
JetError fileNotFound(const std::string& path);            // 3024
JetError badPassword();                                     // 3031
JetError unrecognizedFormat(const std::string& path);      // 3343
JetError damaged(const std::string& path, const std::string& detail);  // 3049
JetError cannotOpen(const std::string& path);               // 3051
JetError fileInUse(const std::string& path);                // 3045
JetError typeMismatch();                                    // 13
JetError overflow();                                        // 6
// 6 for a stored date outside the years 100-9999, naming where it is.
JetError dateOutOfRange(const std::string& table, const std::string& column, double stored);
JetError itemNotFound(const std::string& name);             // 3265
JetError objectClosed();                                    // 3420
JetError noCurrentRecord();                                 // 3021
}  // namespace err

}  // namespace vantrel
