// The running program: its arguments and the folder it lives in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel::platform {

// The program's arguments as UTF-8, the program name first. On Windows they
// come from the wide command line (main's argv is in the ANSI code page and
// loses what that lacks); elsewhere they are main's own.
std::vector<std::string> ProgramArgs(int argc, char** argv);

// True only when the system says no process with this id is running (a
// process of another user, or one the system will not say about, counts as
// running).
bool ProcessGone(uint64_t id);

// The folder of the running executable, ending in the folder separator; ""
// when the system does not say.
std::string SelfFolder();

}  // namespace vantrel::platform
