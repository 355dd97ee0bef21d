// The command line's conventions: usage errors go to standard error with a
// pointer to --help and exit status 2; a mistyped command or option gets the
// closest one suggested. Exit statuses: 0 done, 1 the job failed, 2 usage.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace vantrel {

constexpr int kExitDone = 0, kExitFailed = 1, kExitUsage = 2;

// "vantrel 1.2.3", from the version CMake keeps.
std::string versionText();

// The program's name as it was started: argv[0] without its folder, as
// typed ("vantrel-cli.exe", "vantrel-cli", "vantrel"); "vantrel" when empty.
std::string programName(const std::string& argv0);

// The candidate nearest to `word` in edit distance when it is near enough
// to be a likely typo; "" otherwise.
std::string closestWord(const std::string& word, const std::vector<std::string>& candidates);

// Prints "vantrel: MESSAGE" and the pointer to the help of `command` ("" for
// the program's own), naming the program as `program`, on standard error;
// returns kExitUsage.
int usageError(const std::string& program, const std::string& message, const std::string& command);

// Looks at the words before the parser does: an unknown command or an option
// the command does not have is a usage error naming the closest one. The
// app's name is the program's, as programName() gives it.
// Returns -1 when the words are fine, else the exit status (after printing).
int checkWords(const CLI::App& app, int argc, char** argv);

// Parses; help and --version print to standard output and give 0, any other
// parse error is a usage error. Returns -1 when the command should run.
int parseCommandLine(CLI::App& app, int argc, char** argv);

}  // namespace vantrel
