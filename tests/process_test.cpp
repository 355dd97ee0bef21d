// The command runner: waits for the program, returns at once for a missing
// one, and the child sees the caller's directory and environment.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

#include "corpus.h"
#include "exec_cmd.h"

using namespace vantrel;

TEST(ExecCmd, WaitsForTheProgramToEnd) {
    auto start = std::chrono::steady_clock::now();
    ExecCmd("sleep 0.4");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(390));
    ExecCmd("sh -c \"exit 3\"");  // the exit code is not looked at
}

TEST(ExecCmd, MissingProgramReturnsAtOnce) {
    auto start = std::chrono::steady_clock::now();
    ExecCmd("/no/such/program --flag");
    ExecCmd("");
    ExecCmd("\"unbalanced quote");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(ExecCmd, ChildSeesCurrentDirectoryAndEnvironment) {
    vantrel::test::TempDir dir;
    char before[4096];
    ASSERT_TRUE(getcwd(before, sizeof before));
    ASSERT_EQ(0, chdir(dir.path().c_str()));
    setenv("VANTREL_EXEC_TEST", "hello there", 1);
    ExecCmd("sh -c \"pwd > out.txt; echo \\\"$VANTREL_EXEC_TEST\\\" >> out.txt\"");
    ASSERT_EQ(0, chdir(before));
    std::ifstream in(dir / "out.txt");
    std::string cwd, value;
    std::getline(in, cwd);
    std::getline(in, value);
    EXPECT_EQ(std::filesystem::canonical(dir.path()).string(), cwd);
    EXPECT_EQ("hello there", value);
}
