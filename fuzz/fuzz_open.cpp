// libFuzzer target: open arbitrary bytes as a database and dump every table.
// Any outcome but a clean JetError (a crash, a sanitizer report, a hang,
// runaway memory) is a finding.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "commands.h"
#include "error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/vantrel-fuzz-" + std::to_string(getpid()) + ".mdb";
    static std::FILE* sink = std::fopen("/dev/null", "w");
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    try {
        vantrel::runDump(path, "bluefinchtea", sink);
    } catch (const vantrel::JetError&) {
    }
    return 0;
}
