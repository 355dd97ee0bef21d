#include <cstring>
#include <vector>

#include "env.h"

namespace vantrel::platform {

size_t File::readBlocks(uint64_t at, uint8_t* const* blocks, size_t count, size_t size) {
    std::vector<uint8_t> all(count * size);
    const size_t got = readAt(at, all.data(), all.size());
    for (size_t k = 0; k * size < got; ++k) std::memcpy(blocks[k], all.data() + k * size, std::min(size, got - k * size));
    return got;
}

void File::writeBlocks(uint64_t at, const uint8_t* const* blocks, size_t count, size_t size) {
    std::vector<uint8_t> all(count * size);
    for (size_t k = 0; k < count; ++k) std::memcpy(all.data() + k * size, blocks[k], size);
    writeAt(at, all.data(), all.size());
}

}  // namespace vantrel::platform
