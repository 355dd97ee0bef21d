#include "run_key.h"

namespace vantrel::jet {

namespace {
constexpr size_t kRun = 8;
constexpr uint8_t kMoreRuns = 9;
}  // namespace

void appendRunKey(bool ascending, std::string_view value, std::vector<uint8_t>& out) {
    const uint8_t turn = ascending ? 0x00 : 0xFF;
    for (size_t at = 0; at < value.size(); at += kRun) {
        const size_t n = std::min(kRun, value.size() - at);
        for (size_t i = 0; i < kRun; ++i) out.push_back(uint8_t((i < n ? uint8_t(value[at + i]) : 0) ^ turn));
        out.push_back(at + kRun < value.size() ? kMoreRuns : uint8_t(n ^ turn));
    }
}

size_t runKeyLength(Bytes entry, size_t at) {
    size_t p = at;
    for (;;) {
        const uint8_t count = entry.u8(p + kRun);
        p += kRun + 1;
        if (count != kMoreRuns) return p - at;
    }
}

}  // namespace vantrel::jet
