// RC4 keystream, as Jet uses it to mask the header and encoded pages.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantrel::jet {

class Rc4 {
public:
    Rc4(const uint8_t* key, size_t keyLen);
    void apply(uint8_t* data, size_t len);

private:
    uint8_t s_[256];
    uint8_t i_ = 0, j_ = 0;
};

}  // namespace vantrel::jet
