#include "rc4.h"

#include <utility>

namespace vantrel::jet {

Rc4::Rc4(const uint8_t* key, size_t keyLen) {
    for (int k = 0; k < 256; ++k) s_[k] = uint8_t(k);
    uint8_t j = 0;
    for (int k = 0; k < 256; ++k) {
        j = uint8_t(j + s_[k] + key[k % keyLen]);
        std::swap(s_[k], s_[j]);
    }
}

void Rc4::apply(uint8_t* data, size_t len) {
    for (size_t n = 0; n < len; ++n) {
        i_ = uint8_t(i_ + 1);
        j_ = uint8_t(j_ + s_[i_]);
        std::swap(s_[i_], s_[j_]);
        data[n] ^= s_[uint8_t(s_[i_] + s_[j_])];
    }
}

}  // namespace vantrel::jet
