#include "lock_file.h"

#include <algorithm>
#include <cctype>

namespace vantrel::jet {

std::string lockFilePath(const std::string& path) {
    const size_t name = path.find_last_of("/\\") == std::string::npos ? 0 : path.find_last_of("/\\") + 1;
    const size_t dot = path.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot >= name;
    std::string ext = hasExtension ? path.substr(dot + 1) : "";
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    const bool ace = ext == "accdb" || ext == "accde" || ext == "accdr";
    return path.substr(0, hasExtension ? dot : path.size()) + (ace ? ".laccdb" : ".ldb");
}

bool lockFileInUse(platform::Env& env, const std::string& path, const std::string& resolved) {
    if (env.inUse(lockFilePath(resolved))) return true;
    return path != resolved && env.inUse(lockFilePath(path));
}

}  // namespace vantrel::jet
