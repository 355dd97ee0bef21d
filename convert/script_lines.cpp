#include "script_lines.h"

#include "error.h"
#include "output_file.h"

namespace vantrel {

namespace {
// Big enough that the system calls cost nothing next to the rows, small
// enough to stay out of the peak memory.
constexpr size_t kBlockBytes = 256 * 1024;

const uint8_t* bytes(const std::string& s, size_t from = 0) { return reinterpret_cast<const uint8_t*>(s.data() + from); }

// The writer's error for a failure of the script file, naming the file.
JetError scriptFileError(const platform::IoError& e, const std::string& path) {
    JetError err = OutputError(e, path);
    if (err.Description.find(path) == std::string::npos) err.Description += " ('" + path + "')";
    return err;
}
}  // namespace

ScriptLines::ScriptLines(std::string path, long& linesWritten, platform::Env& env)
    : path_(std::move(path)), linesWritten_(linesWritten), env_(env) {}

void ScriptLines::add(std::string_view encodedLine) {
    if (failed_) return;
    block_ += encodedLine;
    block_ += "\r\n";
    lineEnds_.push_back(block_.size());
    if (block_.size() >= kBlockBytes) flush();
}

void ScriptLines::add(std::initializer_list<std::string_view> parts) {
    if (failed_) return;
    for (std::string_view part : parts) block_ += part;
    block_ += "\r\n";
    lineEnds_.push_back(block_.size());
    if (block_.size() >= kBlockBytes) flush();
}

void ScriptLines::flush() {
    if (lineEnds_.empty() || failed_) return;
    failed_ = true;  // until this flush is through
    if (path_.empty()) throw err::badFileName();
    uint64_t before = 0;
    try {
        if (!file_) file_ = env_.open(path_, platform::Open::append);
        before = file_->size();
    } catch (const platform::IoError& e) {
        throw scriptFileError(e, path_);
    }
    try {
        file_->append(bytes(block_), block_.size());
    } catch (const platform::IoError&) {
        // Cut off whatever part of the block went in, then line by line.
        try {
            if (file_->size() > before) file_->truncate(before);
        } catch (const platform::IoError&) {
        }
        appendOneByOne();
        failed_ = false;
        return;
    }
    linesWritten_ += long(lineEnds_.size());
    block_.clear();
    lineEnds_.clear();
    failed_ = false;
}

void ScriptLines::appendOneByOne() {
    size_t from = 0;
    try {
        for (size_t end : lineEnds_) {
            file_->append(bytes(block_, from), end - from);
            from = end;
            ++linesWritten_;
        }
    } catch (const platform::IoError& e) {
        throw scriptFileError(e, path_);
    }
    block_.clear();
    lineEnds_.clear();
}

void AppendLine(const std::string& path, const std::string& encodedLine, platform::Env& env) {
    long written = 0;
    ScriptLines lines(path, written, env);
    lines.add(encodedLine);
    lines.flush();
}

}  // namespace vantrel
