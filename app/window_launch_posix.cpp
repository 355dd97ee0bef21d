#include <dlfcn.h>

#include <cstdio>
#include <string>

#include "program.h"
#include "window_launch.h"

namespace vantrel {

// The window lives in a module beside the executable, so that the
// sub-commands start without Qt.
int RunWindow(int argc, char** argv) {
    std::string dir = platform::SelfFolder();
    if (dir.empty()) {
        dir = argv[0];
        dir = dir.substr(0, dir.find_last_of('/') + 1);
    }
    // Beside the executable in the build tree; installed, in ../lib/vantrel.
    void* module = dlopen((dir + "libvantrel_window.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) module = dlopen((dir + "../lib/vantrel/libvantrel_window.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        std::fprintf(stderr, "Error Number [3251]\nError Description [the window cannot be loaded: %s]\n", dlerror());
        return 1;
    }
    using Entry = int (*)(int, char**);
    auto entry = reinterpret_cast<Entry>(dlsym(module, "vantrel_run_window"));
    if (!entry) {
        std::fprintf(stderr, "Error Number [3251]\nError Description [the window module has no entry point]\n");
        return 1;
    }
    return entry(argc, argv);
}

}  // namespace vantrel
