// Where a written file goes: the script file beside a database, `script -o
// FILE`, the emulator copy. Only a regular file (or nothing) is replaced, and
// only whole: the text is written under a temporary name beside it, which
// is renamed over it when the writer is done. A device or FIFO is written in
// place (`-o /dev/null`), never deleted or replaced; so is anything named
// through the system's device and process folders (`/dev/stdout` leads to
// whatever standard output is: a file there is appended to, never replaced),
// and a new name there is refused. A folder, a socket or anything else is
// refused before anything is written. An output is never the database it
// is made from (RefuseOutputOverDatabase).
//
// Errors are the script writer's: 75 Path/File access error (with what the
// path names), 76 path not found, 61 disk full, 57 other.
#pragma once

#include <memory>
#include <string>

#include "error.h"
#include "env.h"

namespace vantrel {

// The platform's failure as the script writer reports it.
JetError OutputError(const platform::IoError& e, const std::string& path);

// Refuses (75) an output that is the database itself, through any name
// (another letter case where names ignore it, a link): a script file that
// replaced its database would destroy it. Nothing is touched.
void RefuseOutputOverDatabase(const std::string& output, const std::string& database,
                              platform::Env& env = platform::Env::system());

// Deletes an old output file if it is a regular file; anything else (a
// device, a FIFO, a folder) is left alone, and so is any failure.
void RemoveOldOutput(const std::string& path, platform::Env& env = platform::Env::system());

class OutputFile {
public:
    // What happens to a regular target when the writer fails (the object is
    // destroyed without commit()): `discard` drops what was written and
    // keeps the old file; `keepPartial` puts the partial text in its place
    // (the converter's script: no end marker tells the device it is cut),
    // or, when nothing was written, just deletes the old file.
    enum class OnFailure { discard, keepPartial };

    using ErrorMap = JetError (*)(const platform::IoError&, const std::string& path);
    // `errors` turns a system failure into the caller's error (OutputError by default).
    explicit OutputFile(const std::string& path, OnFailure onFailure = OnFailure::discard,
                        platform::Env& env = platform::Env::system(), ErrorMap errors = nullptr);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // The name to write to now: the temporary name, or the path itself when
    // it is written in place.
    const std::string& writePath() const { return writePath_; }
    const std::string& path() const { return path_; }
    bool inPlace() const { return writePath_ == path_; }
    // Makes the written text durable and gives it its name. Returns path().
    const std::string& commit();

private:
    void finish();

    platform::Env& env_;
    std::string path_, writePath_;
    OnFailure onFailure_;
    ErrorMap errors_;
    bool done_ = false;
    std::unique_ptr<platform::File> held_;  // a FIFO kept open so that its reader sees one stream
};

}  // namespace vantrel
