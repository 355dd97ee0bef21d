// Where the real databases live, and a way for tests to skip without them.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace vantrel::test {

inline std::filesystem::path sharedDir() {
    if (const char* env = std::getenv("VANTREL_SHARED")) return env;
    return VANTREL_SHARED_DIR;
}

inline std::filesystem::path corpusFile(const std::string& name) { return sharedDir() / "corpus" / name; }

// A scratch folder of the test's own, removed when the test ends.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Copies a corpus file into `dir` and returns the copy's path.
std::filesystem::path copyCorpus(const std::string& name, const TempDir& dir);

}  // namespace vantrel::test

#define REQUIRE_CORPUS(name)                                                                             \
    do {                                                                                                 \
        if (!std::filesystem::exists(::vantrel::test::corpusFile(name)))                                 \
            GTEST_SKIP() << "skipped: " << ::vantrel::test::corpusFile(name)                             \
                         << " is absent (the shared corpus is not beside the project)";                  \
    } while (0)
