// The script file beside the database: its name and its encoding (the
// system's ANSI code page). Lines get into it through ScriptLines
// (script_lines.h).
#pragma once

#include <memory>
#include <string>

namespace vantrel::platform {
class CharsetEncoder;
}

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
    // True when encode() gives its text back unchanged (UTF-8).
    bool passesThrough() const { return utf8_; }
    // `missing`, when given, counts the characters that became the default one.
    std::string encode(const std::string& utf8, size_t* missing = nullptr) const;

private:
    std::string charset_;
    bool utf8_ = true;
    // The system's converter, opened once (shared by copies); null for UTF-8.
    std::shared_ptr<platform::CharsetEncoder> encoder_;
    std::string fallback_;
};

}  // namespace vantrel
