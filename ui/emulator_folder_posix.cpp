#include <cstdlib>

#include "emulator_copy.h"

namespace vantrel {

// No drive C: here: the emulator's folder under the Wine prefix's drive_c.
std::string EmulatorFolder() {
    std::string prefix;
    if (const char* wine = std::getenv("WINEPREFIX"); wine && *wine) prefix = wine;
    else prefix = std::string(std::getenv("HOME") ? std::getenv("HOME") : "") + "/.wine";
    std::string rest = std::string(kEmulatorFolder).substr(3);  // after "C:\"
    for (char& c : rest)
        if (c == '\\') c = '/';
    return prefix + "/drive_c/" + rest;
}

}  // namespace vantrel
