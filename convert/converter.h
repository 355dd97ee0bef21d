// The converter: the state the window owns (workspace, database, recordset,
// script path) and the procedures that work on it: the null-fill pass, the
// statement writers and the script file.
#pragma once

#include <functional>
#include <string>

#include "dao.h"
#include "env.h"
#include "script_file.h"
#include "script_lines.h"

namespace vantrel {

// Where the null-fill pass reports a column it had to skip. The window shows
// a message box; the command line prints a line.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void Show(const std::string& text) = 0;
};

// What the null-fill did to one column.
struct FillOutcome {
    std::string table, column;
    bool failed = false;     // the statement failed; a message was shown
    std::string error;       // then Jet's error, "Error Number [N] Error Description [D]"
    UpdateSummary update;    // rows filled and rows left Null, by reason
};

class Converter {
public:
    explicit Converter(MessageSink& messages) : messages_(messages) {}

    // State held for the window's whole life.
    Workspace wsSrc;
    Database dbSrc;
    Recordset rsSrc;
    std::string ScriptPath;

    // Null-fill: every user table of db, one UPDATE per column.
    void MainSub(Database& db);
    void CreateTblStr(TableDef& tbl);

    // Statement writers: INSERT lines for the records of one table, and the
    // CREATE INDEX line of its single-column primary index.
    void WriteRecords(Database& db, TableDef& tbl);
    void CreateIdxStr(TableDef& tbl);

    // Appends one line to the script file at ScriptPath.
    void WriteString(const std::string& Str);
    // Where the script file is written: the system's files unless a test
    // puts another Env in.
    void scriptEnv(platform::Env& env) { scriptEnv_ = &env; }
    // The character set the script file is written in: the system's (see
    // ScriptEncoder) unless a test names another.
    void scriptCharset(const std::string& charset) { encoder_ = ScriptEncoder(charset); }

    MessageSink& messages() { return messages_; }

    // Told before each column's statement runs (for a progress display).
    void onProgress(std::function<void(const std::string& table, const std::string& column)> f) { progress_ = std::move(f); }
    const std::vector<FillOutcome>& outcomes() const { return outcomes_; }
    // Told after each record WriteRecords has gone through.
    void onRecord(std::function<void()> f) { record_ = std::move(f); }
    // The lines the writers have put in the script file since this
    // converter was made (a line counts once it is in the file).
    long linesWritten() const { return linesWritten_; }

private:
    MessageSink& messages_;
    std::function<void(const std::string&, const std::string&)> progress_;
    std::vector<FillOutcome> outcomes_;
    std::function<void()> record_;
    long linesWritten_ = 0;
    ScriptEncoder encoder_;
    platform::Env* scriptEnv_ = &platform::Env::system();
};

// The column list "[a], [b]" of the names standing in the array (Null slots
// are skipped); "" when every slot is Null.
std::string FieldList(const std::vector<Variant>& Fldlist);

// A value as a double-quoted literal: Null as "", CR, LF and '"' each become a blank.
std::string StripChar(Variant FieldVal);

}  // namespace vantrel
