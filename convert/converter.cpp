#include "converter.h"

namespace vantrel {

// One complete open, append, close per line: nothing stays open between calls.
void Converter::WriteString(const std::string& Str) {
    AppendLine(ScriptPath, encoder_.encode(Str));
    ++linesWritten_;
}

}  // namespace vantrel
