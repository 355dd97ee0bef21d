// The console the program was started from.
#pragma once

namespace vantrel::platform {

// True when standard error is a terminal (a console window on Windows), so
// that a progress bar redrawn in place makes sense there.
bool StderrIsTerminal();

// Makes standard output and error reach the console of the program that
// started this one when they lead nowhere (a Windows program built for the
// window subsystem has no console of its own); console text is then UTF-8.
// Streams redirected to a file or a pipe are left as they are. Both streams
// carry the program's bytes unchanged (no CR put before each LF), as on
// Linux. Nothing to do where every program inherits its streams.
void UseParentConsole();

}  // namespace vantrel::platform
