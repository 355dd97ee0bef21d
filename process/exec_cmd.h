// Running a command line to its end: starts it, waits for it, reports nothing.
#pragma once

#include <string>

namespace vantrel {

// The command line is split by the shell's word rules (quotes, escapes; no
// command substitution) and started with the caller's open descriptors,
// environment and current directory. A program that cannot be started
// returns at once.
void ExecCmd(const std::string& cmdline);

}  // namespace vantrel
