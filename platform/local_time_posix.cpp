#include "local_time.h"

namespace vantrel::platform {

std::tm LocalTime(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

}  // namespace vantrel::platform
