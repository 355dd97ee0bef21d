#include "stale_writes.h"

#include "files.h"
#include "program.h"

namespace vantrel {

void RemoveStaleWrites(const std::string& path, platform::Env& env, const std::string& tag) {
    const size_t cut = path.find_last_of(platform::FolderSeparator() == '/' ? "/" : "/\\");
    const std::string folder = cut == std::string::npos ? "" : path.substr(0, cut + 1);
    const std::string prefix = path.substr(folder.size()) + tag;
    for (const std::string& name : platform::FolderNames(folder.empty() ? "." : folder)) {
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string digits = name.substr(prefix.size());
        if (digits.size() > 19 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
        const uint64_t id = std::stoull(digits);
        if (id == env.processId() || !platform::ProcessGone(id)) continue;
        try {
            if (env.info(folder + name).kind == platform::Kind::regular) env.remove(folder + name);
        } catch (const platform::IoError&) {
        }
    }
}

}  // namespace vantrel
