// How a failure of the platform layer reaches the user: Jet's 3043, with
// what was being done, the system's reason, and "disk full" said plainly.
#pragma once

#include <string>

#include "error.h"
#include "env.h"

namespace vantrel::jet {

inline JetError ioFailure(const platform::IoError& e, const std::string& context = "") {
    std::string d;
    if (e.reason == platform::Reason::noSpace) d += "disk full: ";
    if (!context.empty()) d += context + ": ";
    return err::diskOrNetwork(d + e.what());
}

}  // namespace vantrel::jet
