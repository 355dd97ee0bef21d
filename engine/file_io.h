// Whole-buffer positioned reads and writes, and the I/O error the engine raises.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "error.h"

namespace vantrel::jet {

// False when the file ends or fails before `n` bytes.
bool readAt(int fd, uint8_t* p, size_t n, off_t at);
bool writeAt(int fd, const uint8_t* p, size_t n, off_t at);

// Jet's 3043, with what was being done and the system's reason (errno).
JetError ioError(const std::string& what);

}  // namespace vantrel::jet
