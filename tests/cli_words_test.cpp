// The command line's word handling: typo suggestions, the check that runs
// before the parser, and delimiter escapes.
#include <gtest/gtest.h>

#include "cli_usage.h"
#include "commands.h"
#include "files.h"

using namespace vantrel;

namespace {
struct Args {
    explicit Args(std::vector<std::string> w) : words(std::move(w)) {
        for (auto& s : words) ptrs.push_back(s.data());
    }
    int argc() const { return int(ptrs.size()); }
    char** argv() { return ptrs.data(); }
    std::vector<std::string> words;
    std::vector<char*> ptrs;
};

void addCommands(CLI::App& app, std::string& db, std::string& out) {
    auto* script = app.add_subcommand("script", "");
    script->add_option("DB", db);
    script->add_option("-o,--output", out);
    script->add_option("--password", out);
    app.add_subcommand("convert", "");
}
}  // namespace

TEST(CommandWords, ClosestWordOnlyForLikelyTypos) {
    const std::vector<std::string> commands{"tables", "dump", "export", "script", "convert", "check", "create", "sql", "demo"};
    EXPECT_EQ("convert", closestWord("convrt", commands));
    EXPECT_EQ("convert", closestWord("cnovert", commands));  // a swap is two edits
    EXPECT_EQ("tables", closestWord("table", commands));
    EXPECT_EQ("", closestWord("frobnicate", commands));
    EXPECT_EQ("", closestWord("ab", commands));  // short words: too many are near
    EXPECT_EQ("--password", closestWord("--pasword", {"--password", "--table", "-o"}));
    EXPECT_EQ("", closestWord("--x", {"--password", "-o"}));
}

TEST(CommandWords, UnknownCommandsAndOptionsAreUsageErrors) {
    std::string db, out;
    CLI::App app{"test", "vantrel"};
    addCommands(app, db, out);
    testing::internal::CaptureStderr();
    Args typo({"vantrel", "scirpt", "a.mdb"});
    EXPECT_EQ(kExitUsage, checkWords(app, typo.argc(), typo.argv()));
    Args badOption({"vantrel", "script", "--pasword", "x", "a.mdb"});
    EXPECT_EQ(kExitUsage, checkWords(app, badOption.argc(), badOption.argv()));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, err.find("'scirpt' is not a vantrel command; did you mean 'script'?"));
    EXPECT_NE(std::string::npos, err.find("'script' has no option '--pasword'; did you mean '--password'?"));
    EXPECT_NE(std::string::npos, err.find("Try 'vantrel script --help'"));

    // Values are not options: "-" for standard output, a dash-led password, "-ofile", "--output=x".
    for (auto words : {std::vector<std::string>{"vantrel", "script", "a.mdb", "-o", "-"},
                       std::vector<std::string>{"vantrel", "script", "--password", "-x", "a.mdb"},
                       std::vector<std::string>{"vantrel", "script", "-oout.tdb", "a.mdb"},
                       std::vector<std::string>{"vantrel", "script", "--output=x", "a.mdb", "--", "-odd"}}) {
        Args a(words);
        EXPECT_EQ(-1, checkWords(app, a.argc(), a.argv())) << words[2];
    }
}

// Usage hints name the program as it was started, without its folder.
TEST(CommandWords, ProgramNameIsArgvZerosLastPart) {
    const bool windows = platform::FolderSeparator() == '\\';
    struct Case {
        const char* argv0;
        const char* name;
    } cases[] = {
        {"vantrel", "vantrel"},
        {"/usr/bin/vantrel", "vantrel"},
        {"./build/vantrel-cli.exe", "vantrel-cli.exe"},
        {"", "vantrel"},
        {"C:\\Vantrel\\vantrel-cli.exe", windows ? "vantrel-cli.exe" : "C:\\Vantrel\\vantrel-cli.exe"},
        {"..\\bin\\vantrel-cli", windows ? "vantrel-cli" : "..\\bin\\vantrel-cli"},
        {"C:/Tools/VANTREL-CLI.EXE", "VANTREL-CLI.EXE"},  // as typed
    };
    for (const Case& c : cases) EXPECT_EQ(c.name, programName(c.argv0)) << c.argv0;

    std::string db, out;
    CLI::App app{"test", programName("C:/tools/vantrel-cli.exe")};
    addCommands(app, db, out);
    testing::internal::CaptureStderr();
    Args typo({"C:/tools/vantrel-cli.exe", "script", "--pasword", "x", "a.mdb"});
    EXPECT_EQ(kExitUsage, checkWords(app, typo.argc(), typo.argv()));
    EXPECT_NE(std::string::npos, testing::internal::GetCapturedStderr().find("Try 'vantrel-cli.exe script --help'"));
}

TEST(CommandWords, DelimiterEscapes) {
    EXPECT_EQ("\t", unescape("\\t"));
    EXPECT_EQ("\r\n", unescape("\\r\\n"));
    EXPECT_EQ("a\\b", unescape("a\\\\b"));
    EXPECT_EQ("\\x", unescape("\\x"));  // unknown escapes stay as typed
    EXPECT_EQ("x\\", unescape("x\\"));
    EXPECT_EQ(";", unescape(";"));
}
