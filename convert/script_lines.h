// The lines one call of a statement writer adds to the script file, on their
// way there: held in memory and appended in blocks through one open file,
// instead of opening, appending and closing the file for every line.
//
// Invariants:
// - The file is opened (and created) only when the first block goes out: a
//   call that completes no line leaves no file, as before.
// - The file holds whole lines only, in order. A block that fails to go in is
//   taken back (a partial block cut off) and its lines are appended one by
//   one, so a failure lands where it would when every line was appended on
//   its own: the lines that fit are in the file, the failing one raises.
// - The counter the writer passes in counts the lines in the file: it grows
//   when a block (or a line of a retried block) is appended, never before.
// - Nothing goes out by itself on destruction: the writer calls flush(),
//   also when it fails, for the lines of the records before the failure.
// - The first failure to write is the last write: like a writer that stops
//   at its failing line, later calls add and flush nothing, and the error
//   reaches the writer's caller once.
// Failures are the script writer's errors (52 for an empty path, then 75,
// 76, 61, 57 from OutputError), each naming the file.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "env.h"

namespace vantrel {

class ScriptLines {
public:
    ScriptLines(std::string path, long& linesWritten, platform::Env& env = platform::Env::system());
    ScriptLines(const ScriptLines&) = delete;
    ScriptLines& operator=(const ScriptLines&) = delete;

    // One more line, already in the file's character set, without its line end.
    void add(std::string_view encodedLine);
    // One more line made of these parts, in order.
    void add(std::initializer_list<std::string_view> parts);
    // Appends every line added so far to the file (nothing once a write failed).
    void flush();

private:
    void appendOneByOne();

    std::string path_;
    long& linesWritten_;
    platform::Env& env_;
    std::unique_ptr<platform::File> file_;
    std::string block_;             // whole lines, each with its CR LF
    std::vector<size_t> lineEnds_;  // where each line of block_ ends
    bool failed_ = false;
};

// Opens `path` for appending (creating it), writes the line and CR LF, closes
// it. A failure raises the platform's error as a JetError (75, 76, 61, ...).
void AppendLine(const std::string& path, const std::string& encodedLine, platform::Env& env = platform::Env::system());

}  // namespace vantrel
