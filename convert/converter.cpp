#include "converter.h"

namespace vantrel {

// One complete open, append, close per call: nothing stays open between calls.
void Converter::WriteString(const std::string& Str) {
    AppendLine(ScriptPath, encoder_.encode(Str), *scriptEnv_);
    ++linesWritten_;
}

}  // namespace vantrel
