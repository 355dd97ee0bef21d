// The local time zone's calendar fields of a moment.
#pragma once

#include <ctime>

namespace vantrel::platform {

std::tm LocalTime(std::time_t t);

}  // namespace vantrel::platform
