// libFuzzer target over the write path: the null-fill on arbitrary bytes,
// then a dump of the result. A clean JetError is fine; a crash, a sanitizer
// report, a hang or runaway memory is a finding.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "commands.h"
#include "converter.h"
#include "error.h"

namespace {
class Quiet : public vantrel::MessageSink {
public:
    void Show(const std::string&) override {}
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/vantrel-fuzz-convert-" + std::to_string(getpid()) + ".mdb";
    static std::FILE* sink = std::fopen("/dev/null", "w");
    std::remove((path + "-journal").c_str());
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    try {
        Quiet quiet;
        vantrel::Converter conv(quiet);
        conv.ScriptPath = path + ".tdb";
        conv.dbSrc = vantrel::DBEngine::Default().OpenDatabase(path, false, false, ";pwd=bluefinchtea");
        conv.MainSub(conv.dbSrc);
        conv.dbSrc.Close();
        vantrel::runDump(path, "bluefinchtea", sink);
    } catch (const vantrel::JetError&) {
    }
    return 0;
}
