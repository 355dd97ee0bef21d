#include "commands.h"
#include "error.h"

namespace vantrel {

int runCopyToEmulator(const std::string&) {
    throw JetError(3251, "Operation is not supported for this type of object. (the copy step comes with the window)");
}

}  // namespace vantrel
