// The script file beside the database: its name, its encoding (the system's
// ANSI code page) and the one way lines get into it.
#pragma once

#include <string>

namespace vantrel {

// The database path less its last three characters, plus "tdb":
// D:\x\old.MDB gives D:\x\old.tdb. Error 5 for a path under three characters.
std::string MakeScriptPath(const std::string& dbPath);

// Turns UTF-8 text into the system's ANSI code page: the active code page on
// Windows, elsewhere the locale's character set (UTF-8 for the plain C
// locale). A character the code page cannot hold becomes the code page's
// default character ("?" in the usual ones).
class ScriptEncoder {
public:
    ScriptEncoder();  // the character set of the current LC_CTYPE locale
    explicit ScriptEncoder(std::string charset);
    const std::string& charset() const { return charset_; }
    std::string encode(const std::string& utf8) const;

private:
    std::string charset_;
    bool utf8_ = true;
};

// Opens `path` for appending (creating it), writes the line and CR LF, closes
// it. A failure raises the platform's error as a JetError (75, 76, 61, ...).
void AppendLine(const std::string& path, const std::string& encodedLine);

}  // namespace vantrel
