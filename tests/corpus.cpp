#include "corpus.h"

#include <atomic>
#include <random>

namespace vantrel::test {

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    // A random part as well as a counter: process ids repeat (quickly under Wine).
    static const unsigned run = std::random_device{}();
    for (;;) {
        path_ = std::filesystem::temp_directory_path() /
                ("vantrel-test-" + std::to_string(run) + "-" + std::to_string(counter++));
        if (std::filesystem::create_directories(path_)) break;
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::filesystem::path copyCorpus(const std::string& name, const TempDir& dir) {
    auto to = dir / name;
    std::filesystem::copy_file(corpusFile(name), to, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(to, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    return to;
}

}  // namespace vantrel::test
