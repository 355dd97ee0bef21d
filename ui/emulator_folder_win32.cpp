#include "emulator_copy.h"

namespace vantrel {

// The device tools' own folder, as they name it.
std::string EmulatorFolder() { return kEmulatorFolder; }

}  // namespace vantrel
