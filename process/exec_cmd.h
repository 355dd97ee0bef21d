// Running a command line to its end: starts it, waits for it, reports nothing.
#pragma once

#include <string>

namespace vantrel {

// Starts the command line with the caller's open handles, environment and
// current directory, and waits for it to end; its exit code is not looked
// at. On Windows the line goes to CreateProcessW as it is (UTF-8 turned into
// UTF-16, so any path works); elsewhere it is split by the same rules the
// Windows program would apply (command_line.h) and started without a shell.
// A program that cannot be started returns at once.
void ExecCmd(const std::string& cmdline);

}  // namespace vantrel
