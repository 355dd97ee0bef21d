// The command runner starts a program with the arguments a Windows program
// would see in the same line, on every system: the same lines, the same
// expected arguments, here and under Wine.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "corpus.h"
#include "exec_cmd.h"
#include "program.h"

using namespace vantrel;

namespace {
std::string utf8(const std::filesystem::path& p) {
    const auto s = p.u8string();
    return std::string(s.begin(), s.end());
}

// Runs the argument printer with `args` (a piece of command line) and returns
// the arguments it saw.
std::vector<std::string> seenBy(const std::string& args, const std::filesystem::path& out) {
    const std::string printer = platform::SelfFolder() + "vantrel_print_args";
    ExecCmd("\"" + printer + "\" \"" + utf8(out) + "\" " + args);
    std::ifstream in(out, std::ios::binary);
    std::vector<std::string> seen;
    for (std::string line; std::getline(in, line);) seen.push_back(line);
    return seen;
}
}  // namespace

TEST(ExecCmdArgs, QuotedArgumentsArriveWhole) {
    test::TempDir dir;
    EXPECT_EQ((std::vector<std::string>{"plain", "with blank", "", "say \"hi\"", "C:\\dir\\", "a\\b", "tail\\"}),
              seenBy("plain \"with blank\" \"\" \"say \\\"hi\\\"\" \"C:\\dir\\\\\" a\\b tail\\", dir / "args.txt"));
}

TEST(ExecCmdArgs, NoShellExpansion) {
    test::TempDir dir;
    EXPECT_EQ((std::vector<std::string>{"$HOME", "%PATH%", "*", "a;b", "'x", "y'"}),
              seenBy("$HOME %PATH% * a;b 'x y'", dir / "args.txt"));
}

TEST(ExecCmdArgs, NonAsciiArgumentsAndFolders) {
    test::TempDir dir;
    std::filesystem::create_directories(dir.path() / std::filesystem::u8path("Données 中文"));
    const auto out = dir.path() / std::filesystem::u8path("Données 中文") / "args.txt";
    EXPECT_EQ((std::vector<std::string>{"Grüße", "中文 名字"}), seenBy("Grüße \"中文 名字\"", out));
}

TEST(ExecCmdArgs, WaitsAndReturnsForAMissingProgram) {
    test::TempDir dir;
    ExecCmd("\"" + utf8(dir / "no-such-program") + "\" a b");
    ExecCmd("");
    // The printer has finished writing when ExecCmd returns.
    EXPECT_EQ(std::vector<std::string>{"done"}, seenBy("done", dir / "args.txt"));
}
