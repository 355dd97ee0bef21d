// A command line split into its program and arguments by the rules Windows
// programs use for their own command line, so that one line means the same
// program and arguments on every system.
//
// The rules: blanks (space, tab) separate arguments outside double quotes; a
// double quote starts or ends a quoted part; 2n backslashes before a double
// quote give n backslashes and the quote acts, 2n+1 give n backslashes and a
// literal quote; backslashes elsewhere are literal; "" inside a quoted part is
// a literal quote. The program name (the first word) is taken as it stands:
// up to the next blank, or between its quotes when it starts with one.
// Nothing else is special: no variables, no wildcards, no redirection.
#pragma once

#include <string>
#include <vector>

namespace vantrel {

std::vector<std::string> SplitCommandLine(const std::string& line);

}  // namespace vantrel
