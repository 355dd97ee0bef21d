// Paths for the wide Windows calls: '/' as a backslash, and past MAX_PATH
// the \\?\ form, so that long paths work without the system's opt-in.
#pragma once

#include <string>

namespace vantrel::platform {

std::wstring systemPath(const std::string& utf8);

}  // namespace vantrel::platform
