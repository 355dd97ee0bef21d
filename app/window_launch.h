// The window, opened by the vantrel executable when it has no arguments.
#pragma once

namespace vantrel {

// Shows the main window until the user closes it; returns the exit status.
int RunWindow(int argc, char** argv);

}  // namespace vantrel
